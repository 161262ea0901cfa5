#include "shell/generation_progress_view.h"

#include "design/tokens.h"
#include "shell/tavrune_toolbar.h"
#include "state/app_state.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

namespace {
constexpr int BarHeight = 3;
constexpr int BarWidth = 160;
} // namespace

/// The thin bar under the line: a track and the share of the run that has ended.
class GenerationProgressView::Bar final : public QWidget
{
public:
    Bar(AppState *state, QWidget *parent)
        : QWidget(parent)
        , m_state(state)
    {
        setFixedSize(BarWidth, BarHeight);
    }

    void setFraction(qreal fraction)
    {
        if (qFuzzyCompare(fraction + 1, m_fraction + 1))
            return;
        m_fraction = fraction;
        update();
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        const QRectF track(rect());
        const qreal radius = track.height() / 2;
        p.setBrush(Tokens::white(0.10));
        p.drawRoundedRect(track, radius, radius);
        if (m_fraction <= 0)
            return;
        QRectF fill = track;
        fill.setWidth(std::max(track.height(), track.width() * m_fraction));
        p.setBrush(m_state ? Tokens::accent(*m_state) : ThemePreset::defaultTheme().palette.accent);
        p.drawRoundedRect(fill, radius, radius);
    }

private:
    QPointer<AppState> m_state;
    qreal m_fraction = 0;
};

GenerationProgressView::GenerationProgressView(AppState *state, QWidget *parent)
    : QWidget(parent)
    , m_state(state)
{
    setObjectName(QStringLiteral("generationProgress"));
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(8);

    auto *column = new QVBoxLayout;
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(4);
    m_label = new QLabel(this);
    m_label->setFont(Tokens::uiFont(12, QFont::Medium));
    QPalette pal = m_label->palette();
    pal.setColor(QPalette::WindowText, Tokens::white(0.75));
    m_label->setPalette(pal);
    column->addWidget(m_label);
    m_bar = new Bar(state, this);
    column->addWidget(m_bar);
    row->addLayout(column);

    m_stop = new ToolbarButton(state, tr("Stop"), QStringLiteral("stop.fill"), this);
    m_stop->setToolTip(tr("Stop generating (Ctrl+.)"));
    row->addWidget(m_stop);

    connect(m_stop, &QAbstractButton::clicked, this, [this] {
        if (m_state)
            m_state->stopGenerating();
    });
    if (state) {
        connect(state, &AppState::generationProgressChanged, this, &GenerationProgressView::sync);
        connect(state, &AppState::iconWorkProgressChanged, this, &GenerationProgressView::sync);
        connect(state, &AppState::selectedThemeChanged, m_bar, qOverload<>(&QWidget::update));
    }
    sync();
}

QString GenerationProgressView::text(int ended, int total)
{
    return tr("Generating %1 of %2…").arg(std::min(ended + 1, total)).arg(total);
}

void GenerationProgressView::sync()
{
    // Applying a batch shows here too, when no generation runs; one folder's apply is too quick to show.
    const bool generating = m_state && m_state->runningGenerationCount() > 0;
    const bool applying = !generating && m_state && m_state->runningIconWorkCount() > 0 && m_state->iconWorkTotal() > 1;
    // An apply is not stopped halfway: a folder is never left half applied.
    m_stop->setVisible(!applying);
    const int total = !m_state ? 0 : applying ? m_state->iconWorkTotal() : m_state->generationTotal();
    const int ended = !m_state ? 0 : applying ? m_state->iconWorkEnded() : m_state->generationsEnded();
    setVisible(generating || applying);
    if (total == 0)
        return;
    m_label->setText(applying ? tr("Applying %1 of %2…").arg(std::min(ended + 1, total)).arg(total) : text(ended, total));
    m_bar->setFraction(qreal(ended) / total);
    setAccessibleName(m_label->text());
}
