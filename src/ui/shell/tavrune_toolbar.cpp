#include "shell/tavrune_toolbar.h"

#include "design/pill_picker.h"
#include "design/symbols.h"
#include "design/tokens.h"
#include "shell/generation_progress_view.h"
#include "state/app_state.h"

#include <QFocusEvent>
#include <QHBoxLayout>
#include <QPainter>

namespace {
constexpr QSize ButtonSize{32, 28};
constexpr qreal SymbolSize = 18;
constexpr qreal ButtonRadius = 6;
constexpr int ItemSpacing = 6;
} // namespace

ToolbarButton::ToolbarButton(AppState *state, const QString &label, const QString &symbolName, QWidget *parent)
    : QAbstractButton(parent)
    , m_state(state)
    , m_symbolName(symbolName)
{
    setText(label);
    setAccessibleName(label);
    setFocusPolicy(Qt::TabFocus);
    setAttribute(Qt::WA_Hover);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    if (state)
        connect(state, &AppState::selectedThemeChanged, this, qOverload<>(&QWidget::update));
}

QSize ToolbarButton::sizeHint() const
{
    return ButtonSize;
}

void ToolbarButton::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    const QColor accent = m_state ? Tokens::accent(*m_state) : ThemePreset::defaultTheme().palette.accent;

    qreal wash = 0.0;
    if (isEnabled()) {
        if (isDown())
            wash = 0.12;
        else if (isChecked())
            wash = 0.08;
        else if (underMouse())
            wash = 0.06;
    }
    if (wash > 0.0) {
        p.setPen(Qt::NoPen);
        p.setBrush(Tokens::white(wash));
        p.drawRoundedRect(r, ButtonRadius, ButtonRadius);
    }
    if (hasFocus() && m_keyboardFocus) {
        p.setPen(QPen(Tokens::withOpacity(accent, 0.8), 1.5));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(r.adjusted(1, 1, -1, -1), ButtonRadius - 1, ButtonRadius - 1);
    }
    QColor colour = Tokens::white(0.75);
    if (!isEnabled())
        colour = Tokens::white(0.25);
    else if (isChecked())
        colour = Tokens::white(0.92);
    Symbols::paint(p, r, m_symbolName, SymbolSize, colour);
}

void ToolbarButton::focusInEvent(QFocusEvent *event)
{
    m_keyboardFocus = event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason;
    QAbstractButton::focusInEvent(event);
}

TavruneToolbar::TavruneToolbar(AppState *state, QWidget *parent)
    : QToolBar(tr("Toolbar"), parent)
    , m_state(state)
{
    setObjectName(QStringLiteral("tavruneToolbar"));
    setMovable(false);
    setFloatable(false);
    setContextMenuPolicy(Qt::PreventContextMenu);
    toggleViewAction()->setVisible(false);
    // Qt's overflow button, shown only when the items do not fit: named like the rest.
    if (auto *extension = findChild<QWidget *>(QStringLiteral("qt_toolbar_ext_button")))
        extension->setAccessibleName(tr("More Tools"));

    // The items sit at the trailing end, after a stretch.
    auto *row = new QWidget(this);
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(12, 6, 12, 6);
    layout->setSpacing(ItemSpacing);
    m_progress = new GenerationProgressView(state, row);
    layout->addWidget(m_progress);
    layout->addStretch(1);

    m_add = new ToolbarButton(state, tr("Add Folder"), QStringLiteral("plus"), row);
    m_add->setToolTip(tr("Add folders (Ctrl+O)"));
    layout->addWidget(m_add);

    m_viewMode = new PillPicker(state, row);
    m_viewMode->setOptions({{tr("Grid"), QStringLiteral("square.grid.2x2")},
                            {tr("List"), QStringLiteral("list.bullet")}});
    m_viewMode->setToolTip(tr("Toggle view mode"));
    m_viewMode->setAccessibleName(tr("View Mode"));
    layout->addWidget(m_viewMode);

    m_regenerate = new ToolbarButton(state, tr("Regenerate All"), QStringLiteral("arrow.clockwise"), row);
    m_regenerate->setToolTip(tr("Regenerate all icons (Ctrl+Shift+R)"));
    layout->addWidget(m_regenerate);

    m_inspector = new ToolbarButton(state, tr("Inspector"), QStringLiteral("sidebar.trailing"), row);
    m_inspector->setCheckable(true);
    m_inspector->setToolTip(tr("Toggle inspector (Ctrl+Alt+I)"));
    layout->addWidget(m_inspector);

    row->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    addWidget(row);

    connect(m_add, &QAbstractButton::clicked, state, [state] { state->showOpenPanel(); });
    connect(m_viewMode, &PillPicker::currentIndexChanged, state, [state](int index) {
        if (index >= 0)
            state->setViewMode(index == 0 ? ViewMode::grid : ViewMode::list);
    });
    connect(m_regenerate, &QAbstractButton::clicked, state, [state] { state->regenerateAll(); });
    connect(m_inspector, &QAbstractButton::toggled, state, [state](bool on) { state->setInspectorVisible(on); });

    connect(state, &AppState::foldersChanged, this, &TavruneToolbar::sync);
    connect(state, &AppState::isRegeneratingAllChanged, this, &TavruneToolbar::sync);
    connect(state, &AppState::viewModeChanged, this, &TavruneToolbar::sync);
    connect(state, &AppState::isInspectorVisibleChanged, this, &TavruneToolbar::sync);
    sync();
}

void TavruneToolbar::sync()
{
    if (!m_state)
        return;
    m_regenerate->setEnabled(!m_state->folders().isEmpty() && !m_state->isRegeneratingAll());
    m_viewMode->setCurrentIndex(m_state->viewMode() == ViewMode::grid ? 0 : 1);
    m_inspector->setChecked(m_state->isInspectorVisible());
    m_inspector->setAccessibleDescription(m_state->isInspectorVisible() ? tr("Shown")
                                                                        : tr("Hidden"));
}

void TavruneToolbar::paintEvent(QPaintEvent *)
{
    // One surface with the window: no toolbar gradient or handle.
    QPainter p(this);
    p.fillRect(rect(), Tokens::toolbarBackground());
}
