#include "inspector/history_strip.h"

#include "design/tokens.h"
#include "models/folder_item.h"
#include "state/app_state.h"

#include <QAbstractButton>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLocale>
#include <QPainter>
#include <QPainterPath>

namespace {

constexpr int ThumbSide = 36;
constexpr int Columns = 6;
constexpr int Spacing = 6;
constexpr qreal Radius = 8;

/// One earlier image: drawn from its renditions, focusable, chosen by click, Return or Space.
class HistoryThumbnail final : public QAbstractButton
{
public:
    HistoryThumbnail(const IconImage &image, QWidget *parent)
        : QAbstractButton(parent)
        , m_image(image)
    {
        setFixedSize(ThumbSide, ThumbSide);
        setFocusPolicy(Qt::StrongFocus);
        setCursor(Qt::PointingHandCursor);
        setAttribute(Qt::WA_Hover);
    }

protected:
    void keyPressEvent(QKeyEvent *event) override
    {
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
            animateClick();
            return;
        }
        QAbstractButton::keyPressEvent(event);
    }

    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        const QRectF frame = QRectF(rect()).adjusted(1.5, 1.5, -1.5, -1.5);
        QPainterPath clip;
        clip.addRoundedRect(frame, Radius, Radius);
        painter.save();
        painter.setClipPath(clip);
        painter.drawImage(frame, m_image.rendition(qCeil(frame.width() * devicePixelRatioF())));
        painter.restore();
        // Hover dims nothing: it brightens the edge; focus takes the accent's ring.
        QColor edge = Tokens::white(underMouse() || isDown() ? 0.35 : 0.10);
        qreal width = 1;
        if (hasFocus()) {
            edge = Tokens::withOpacity(Tokens::white(1.0), 0.9);
            width = 2;
        }
        painter.setPen(QPen(edge, width));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(frame, Radius, Radius);
    }

private:
    IconImage m_image;
};

} // namespace

HistoryStrip::HistoryStrip(AppState *state, QWidget *parent)
    : QWidget(parent)
    , m_state(state)
{
    m_grid = new QGridLayout(this);
    m_grid->setContentsMargins(0, 0, 0, 0);
    m_grid->setHorizontalSpacing(Spacing);
    m_grid->setVerticalSpacing(Spacing);
    m_grid->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    setAccessibleName(tr("Earlier images"));
    hide();
}

void HistoryStrip::setFolder(FolderItem *folder)
{
    if (m_folder == folder)
        return;
    if (m_folder)
        disconnect(m_folder, nullptr, this, nullptr);
    m_folder = folder;
    if (folder)
        connect(folder, &FolderItem::historyChanged, this, &HistoryStrip::rebuild);
    rebuild();
}

void HistoryStrip::rebuild()
{
    // The keyboard stays in the strip when the chosen image's place is taken by another.
    const int focused = int(m_thumbnails.indexOf(focusWidget()));
    // Later: the one chosen is still delivering its click.
    for (QWidget *thumbnail : std::as_const(m_thumbnails)) {
        m_grid->removeWidget(thumbnail);
        thumbnail->hide();
        thumbnail->deleteLater();
    }
    m_thumbnails.clear();
    const QList<IconHistoryEntry> history = m_folder ? m_folder->history() : QList<IconHistoryEntry>();
    const QLocale locale;
    for (qsizetype index = 0; index < history.size(); ++index) {
        const IconHistoryEntry &entry = history.at(index);
        if (entry.image.isNull())
            continue; // not read yet, or its file is gone
        auto *thumbnail = new HistoryThumbnail(entry.image, this);
        const QString when = entry.generatedAt.isValid()
            ? locale.toString(entry.generatedAt, QLocale::ShortFormat)
            : tr("an unknown date");
        const QString model = entry.model.isEmpty() ? tr("an unknown model") : entry.model;
        // Three decimals, as the cost under the preview: a picture costs a few cents.
        thumbnail->setToolTip(entry.cost ? tr("Generated %1 with %2 for $%3")
                                               .arg(when, model, QString::number(*entry.cost, 'f', 3))
                                         : tr("Generated %1 with %2").arg(when, model));
        thumbnail->setAccessibleName(tr("Earlier image from %1").arg(when));
        thumbnail->setAccessibleDescription(tr("Made with %1. Press to use it again.").arg(model));
        const QUuid id = m_folder->id();
        connect(thumbnail, &QAbstractButton::clicked, this, [this, id, index] { m_state->useHistoryImage(id, index); });
        const int position = int(m_thumbnails.size());
        m_grid->addWidget(thumbnail, position / Columns, position % Columns);
        m_thumbnails.append(thumbnail);
    }
    setVisible(!m_thumbnails.isEmpty());
    if (focused >= 0 && !m_thumbnails.isEmpty())
        m_thumbnails.at(std::min(focused, int(m_thumbnails.size()) - 1))->setFocus(Qt::TabFocusReason);
}
