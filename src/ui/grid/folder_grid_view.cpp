#include "grid/folder_grid_view.h"

#include "design/animation_clock.h"
#include "design/generating_overlay.h"
#include "design/placeholder_renderer.h"
#include "design/soft_shapes.h"
#include "design/spring.h"
#include "design/symbols.h"
#include "design/tokens.h"
#include "state/app_state.h"

#include <QAction>
#include <QDesktopServices>
#include <QDir>
#include <QDragEnterEvent>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QHelpEvent>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>
#include <QTextLayout>
#include <QToolTip>

#include <algorithm>
#include <cmath>

namespace {

/// The icon's smallest rendition that covers a thumbnail of this kind: the cache scales a picture
/// of a few hundred pixels at most, never the full icon, which the record does not hold.
QImage renditionFor(const IconImage &icon, ThumbnailCache::Kind kind, qreal dpr)
{
    return icon.rendition(int(std::ceil(ThumbnailCache::shape(kind).side * dpr)));
}

// The badge's own spring: livelier than the window's tokens.
const Spring BadgeSpring{0.3, 0.6};
// Cards fade in one after another, this far apart in list order.
constexpr double AppearStagger = 0.04;
constexpr qreal AppearOffset = 8;
constexpr qreal HoverScale = 0.02;
constexpr qreal CardRadius = 14;
constexpr qreal RowRadius = 8;
constexpr qreal EmptyOuterMargin = 40;

using Tokens::white;

QColor withAlpha(const QColor &colour, qreal alpha) { return Tokens::withOpacity(colour, alpha); }

// The badge disc, a shade above the window so the symbol reads on any icon.
const QColor BadgeFill(0x16, 0x16, 0x16);

QFont nameFont() { return Tokens::uiFont(13, QFont::Medium); }
QFont titleFont() { return Tokens::uiFont(15, QFont::Medium); }

/// Snaps a logical coordinate to the device pixel grid, so blitted pixmaps stay crisp.
qreal snap(qreal value, qreal dpr) { return std::round(value * dpr) / dpr; }

/// An ease-in-out swing 0 → 1 → 0 of `period` seconds each way, starting `delay` after `start`.
double pulse(double now, double start, double period, double delay)
{
    const double t = (now - start - delay) / period;
    if (t <= 0)
        return 0;
    const double whole = std::floor(t);
    const double fraction = t - whole;
    return easeInOut(std::fmod(whole, 2.0) != 0.0 ? 1.0 - fraction : fraction);
}

} // namespace

FolderGridView::FolderGridView(AppState *state, QWidget *parent) : QAbstractScrollArea(parent), m_state(state)
{
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setFocusPolicy(Qt::StrongFocus);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    viewport()->setMouseTracking(true);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setAutoFillBackground(false);
    setAccessibleName(tr("Folders"));
    verticalScrollBar()->setSingleStep(48);

    m_appearTimer.setSingleShot(true);
    m_appearTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_appearTimer, &QTimer::timeout, this, &FolderGridView::scheduleAppearances);
    connect(&m_thumbnails, &ThumbnailCache::thumbnailReady, this, &FolderGridView::updateItem);

    for (SemanticCategory category : allSemanticCategories()) {
        QStaticText &text = m_categoryTexts[int(category)];
        text.setText(displayName(category));
        text.setTextFormat(Qt::PlainText);
        text.prepare(QTransform(), Tokens::monoSmallFont());
    }

    if (m_state) {
        m_selection = m_state->selectedFolderIDs();
        connect(m_state, &AppState::foldersChanged, this, &FolderGridView::syncFolders);
        connect(m_state, &AppState::selectedFolderIDsChanged, this, [this] {
            m_selection = m_state->selectedFolderIDs();
            viewport()->update();
        });
        connect(m_state, &AppState::viewModeChanged, this, [this] {
            // Cards are built afresh when the grid comes back, so they fade in again.
            m_appearAt.clear();
            m_hover.clear();
            m_texts.clear();
            relayout();
        });
        connect(m_state, &AppState::selectedThemeChanged, viewport(), qOverload<>(&QWidget::update));
    }
    syncFolders();
}

FolderGridView::~FolderGridView() { AnimationClock::instance().stop(viewport()); }

// ---- State in, layout out -------------------------------------------------------------------

void FolderGridView::syncFolders()
{
    m_folders = m_state ? m_state->folders() : QList<FolderItemPtr>();
    m_indexOf.clear();
    m_indexOf.reserve(m_folders.size());
    QSet<QUuid> ids;
    ids.reserve(m_folders.size());
    for (int i = 0; i < m_folders.size(); ++i) {
        const QUuid id = m_folders.at(i)->id();
        m_indexOf.insert(id, i);
        ids.insert(id);
        if (!m_connected.contains(id))
            connectFolder(m_folders.at(i));
    }
    for (auto it = m_connected.begin(); it != m_connected.end();) {
        if (ids.contains(it.key())) {
            ++it;
            continue;
        }
        // A removed folder may live on in a running generation: stop listening to it.
        if (it.value())
            disconnect(it.value(), nullptr, this, nullptr);
        m_appearAt.remove(it.key());
        m_hover.remove(it.key());
        m_badges.remove(it.key());
        m_generatingSince.remove(it.key());
        m_texts.remove(it.key());
        it = m_connected.erase(it);
    }
    m_thumbnails.retainOnly(ids);
    if (m_currentId.isNull() || !m_indexOf.contains(m_currentId))
        m_currentId = QUuid();
    if (!m_indexOf.contains(m_anchorId))
        m_anchorId = QUuid();
    if (!m_indexOf.contains(m_hoveredId))
        m_hoveredId = QUuid();
    relayout();
}

void FolderGridView::connectFolder(const FolderItemPtr &folder)
{
    const QUuid id = folder->id();
    FolderItem *item = folder.get();
    m_connected.insert(id, item);
    if (item->iconState().is(IconState::Kind::generating))
        m_generatingSince.insert(id, AnimationClock::instance().now());
    connect(item, &FolderItem::iconStateChanged, this, [this, id] { onIconStateChanged(id); });
    connect(item, &FolderItem::generatedImageChanged, this, [this, id] { updateItem(id); });
    connect(item, &FolderItem::fileCountChanged, this, [this, id] {
        m_texts.remove(id);
        updateItem(id);
    });
    connect(item, &FolderItem::detectedCategoryChanged, this, [this, id] { updateItem(id); });
}

FolderLayout::TextMetrics FolderGridView::textMetrics() const
{
    FolderLayout::TextMetrics metrics;
    metrics.nameLine = std::ceil(QFontMetricsF(nameFont()).lineSpacing());
    metrics.categoryLine = std::ceil(QFontMetricsF(Tokens::monoSmallFont()).lineSpacing());
    return metrics;
}

void FolderGridView::relayout()
{
    const auto mode = m_state && m_state->viewMode() == ViewMode::list ? FolderLayout::Mode::list
                                                                        : FolderLayout::Mode::grid;
    const qreal width = viewport()->width();
    if (m_layout.mode() != mode || !qFuzzyCompare(m_layout.columnWidth() + 1, width + 1))
        m_texts.clear();
    m_layout = FolderLayout(mode, width, int(m_folders.size()), textMetrics());
    updateScrollRange();
    noteLaidOut();
    viewport()->update();
}

void FolderGridView::updateScrollRange()
{
    const int height = viewport()->height();
    const int range = m_folders.isEmpty() ? 0 : std::max(0, int(std::ceil(m_layout.contentHeight())) - height);
    QScrollBar *bar = verticalScrollBar();
    bar->setPageStep(height);
    bar->setRange(0, range);
}

void FolderGridView::noteLaidOut()
{
    const double now = AnimationClock::instance().now();
    if (m_folders.isEmpty() && m_emptyShownAt < 0)
        m_emptyShownAt = now;
    if (m_layout.mode() == FolderLayout::Mode::grid && !m_folders.isEmpty()) {
        const qreal top = verticalScrollBar()->value();
        const auto [first, last] = m_layout.indicesIn(top, top + viewport()->height());
        bool added = false;
        for (int i = first; i < last; ++i) {
            const QUuid id = m_folders.at(i)->id();
            if (!m_appearAt.contains(id)) {
                // The delay follows the position in the list, not the moment the card shows up.
                m_appearAt.insert(id, now + i * AppearStagger);
                added = true;
            }
        }
        if (added)
            scheduleAppearances();
    }
    updateContinuousAnimation();
}

void FolderGridView::scheduleAppearances()
{
    // Frames only run while a card is actually fading in; a card waiting its turn sets a timer.
    const double now = AnimationClock::instance().now();
    const double settle = Tokens::standard().settleTime();
    const qreal top = verticalScrollBar()->value();
    const auto [first, last] = m_layout.mode() == FolderLayout::Mode::grid
                                   ? m_layout.indicesIn(top, top + viewport()->height())
                                   : std::pair<int, int>{0, 0};
    double runUntil = 0;
    double nextStart = std::numeric_limits<double>::infinity();
    for (int i = first; i < last; ++i) {
        const auto it = m_appearAt.constFind(m_folders.at(i)->id());
        if (it == m_appearAt.constEnd())
            continue;
        const double start = *it;
        if (start <= now + 0.001)
            runUntil = std::max(runUntil, start + settle);
        else
            nextStart = std::min(nextStart, start);
    }
    if (runUntil > now)
        animateFor(runUntil - now);
    if (std::isfinite(nextStart))
        m_appearTimer.start(std::max(1, int(std::ceil((nextStart - now) * 1000))));
    else
        m_appearTimer.stop();
}

void FolderGridView::animateFor(double seconds)
{
    AnimationClock &clock = AnimationClock::instance();
    const double until = clock.now() + seconds;
    m_animateUntil = std::max(m_animateUntil, until);
    clock.animate(viewport(), until);
}

void FolderGridView::updateContinuousAnimation()
{
    bool needed = false;
    if (isVisible()) {
        if (m_folders.isEmpty()) {
            needed = true; // the empty state's rings pulse for as long as it shows
        } else {
            const qreal top = verticalScrollBar()->value();
            const auto [first, last] = m_layout.indicesIn(top, top + viewport()->height());
            const bool list = m_layout.mode() == FolderLayout::Mode::list;
            for (int i = first; i < last && !needed; ++i) {
                const FolderItem &folder = *m_folders.at(i);
                // A generating card shows the overlay; a generating row spins unless it keeps its old image.
                needed = folder.iconState().is(IconState::Kind::generating) &&
                         (!list || folder.generatedImage().isNull());
            }
        }
    }
    if (needed == m_animatingForever)
        return;
    m_animatingForever = needed;
    AnimationClock &clock = AnimationClock::instance();
    if (needed) {
        clock.animateForever(viewport());
    } else {
        clock.stop(viewport());
        if (m_animateUntil > clock.now())
            clock.animate(viewport(), m_animateUntil);
    }
}

void FolderGridView::onIconStateChanged(const QUuid &id)
{
    const int index = m_indexOf.value(id, -1);
    if (index < 0)
        return;
    const IconState state = m_folders.at(index)->iconState();
    const double now = AnimationClock::instance().now();
    if (state.is(IconState::Kind::generating)) {
        if (!m_generatingSince.contains(id))
            m_generatingSince.insert(id, now);
    } else {
        m_generatingSince.remove(id);
    }
    BadgeTrack &track = m_badges[id];
    const Badge badge = badgeFor(state);
    if (badge != track.shown) {
        track.leaving = track.shown;
        track.shown = badge;
        track.since = now;
        animateFor(BadgeSpring.settleTime());
    }
    updateContinuousAnimation();
    updateItem(id);
}

void FolderGridView::updateItem(const QUuid &id)
{
    const int index = m_indexOf.value(id, -1);
    if (index < 0)
        return;
    // Hover scale and focus ring reach a little past the item.
    viewport()->update(itemRectInViewport(index).adjusted(-12, -12, 12, 16).toAlignedRect());
}

QRectF FolderGridView::itemRectInViewport(int index) const
{
    return m_layout.itemRect(index).translated(0, -verticalScrollBar()->value());
}

MarqueeSelection::Frames FolderGridView::laidOutCardFrames() const
{
    MarqueeSelection::Frames frames;
    if (m_layout.mode() != FolderLayout::Mode::grid)
        return frames;
    const qreal top = verticalScrollBar()->value();
    const auto [first, last] = m_layout.indicesIn(top, top + viewport()->height());
    frames.reserve(last - first);
    for (int i = first; i < last; ++i)
        frames.append({m_folders.at(i)->id(), itemRectInViewport(i)});
    return frames;
}

int FolderGridView::currentIndex() const { return m_indexOf.value(m_currentId, -1); }

void FolderGridView::ensureIndexVisible(int index)
{
    const QRectF rect = m_layout.itemRect(index);
    if (rect.isNull())
        return;
    QScrollBar *bar = verticalScrollBar();
    const qreal margin = m_layout.mode() == FolderLayout::Mode::grid ? FolderLayout::GridSpacing : 4;
    if (rect.top() - margin < bar->value())
        bar->setValue(int(std::floor(rect.top() - margin - (index < m_layout.columns() ? 100 : 0))));
    else if (rect.bottom() + margin > bar->value() + viewport()->height())
        bar->setValue(int(std::ceil(rect.bottom() + margin - viewport()->height())));
}

// ---- Widget events --------------------------------------------------------------------------

void FolderGridView::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    relayout();
}

void FolderGridView::scrollContentsBy(int, int)
{
    noteLaidOut();
    viewport()->update();
}

void FolderGridView::showEvent(QShowEvent *event)
{
    QAbstractScrollArea::showEvent(event);
    m_animatingForever = false;
    noteLaidOut();
}

void FolderGridView::hideEvent(QHideEvent *event)
{
    AnimationClock::instance().stop(viewport());
    m_animatingForever = false;
    QAbstractScrollArea::hideEvent(event);
}

bool FolderGridView::viewportEvent(QEvent *event)
{
    switch (event->type()) {
    case QEvent::Leave:
        setHovered(-1);
        setHoveredButton(false);
        if (m_hoveredAddButton) {
            m_hoveredAddButton = false;
            viewport()->update();
        }
        break;
    case QEvent::ToolTip: {
        auto *help = static_cast<QHelpEvent *>(event);
        const int index = indexAtViewport(help->pos());
        if (index >= 0 && m_layout.mode() == FolderLayout::Mode::grid) {
            const FolderLayout::CardParts parts = m_layout.cardParts(itemRectInViewport(index));
            const QString tip = badgeToolTip(m_folders.at(index)->iconState());
            if (!tip.isEmpty() && parts.badge.contains(help->pos())) {
                QToolTip::showText(help->globalPos(), tip, viewport(), parts.badge.toAlignedRect());
                return true;
            }
        }
        QToolTip::hideText();
        event->ignore();
        return true;
    }
    default:
        break;
    }
    return QAbstractScrollArea::viewportEvent(event);
}

int FolderGridView::indexAtViewport(const QPointF &point) const
{
    return m_layout.indexAt(point + QPointF(0, verticalScrollBar()->value()));
}

void FolderGridView::setHovered(int index)
{
    const QUuid id = index >= 0 ? m_folders.at(index)->id() : QUuid();
    if (id == m_hoveredId)
        return;
    const double now = AnimationClock::instance().now();
    auto retarget = [&](const QUuid &target, bool on) {
        if (target.isNull())
            return;
        const double current = hoverValue(target, now);
        m_hover.insert(target, HoverTrack{on, now, current});
        updateItem(target);
    };
    retarget(m_hoveredId, false);
    retarget(id, true);
    m_hoveredId = id;
    animateFor(Tokens::quick().settleTime());
}

void FolderGridView::setHoveredButton(bool rowButton)
{
    if (rowButton == m_hoveredRowButton)
        return;
    m_hoveredRowButton = rowButton;
    if (!m_hoveredId.isNull())
        updateItem(m_hoveredId);
}

double FolderGridView::hoverValue(const QUuid &id, double now) const
{
    const auto it = m_hover.constFind(id);
    if (it == m_hover.constEnd())
        return 0;
    const double target = it->on ? 1 : 0;
    return mix(it->from, target, Tokens::quick().progress(now - it->since));
}

void FolderGridView::mousePressEvent(QMouseEvent *event)
{
    setFocus(Qt::MouseFocusReason);
    if (m_focusVisible) {
        m_focusVisible = false;
        viewport()->update();
    }
    m_pressTarget = PressTarget::none;
    m_pressIndex = -1;
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    const QPointF pos = event->position();
    if (m_folders.isEmpty()) {
        if (emptyStateLayout().button.contains(pos))
            m_pressTarget = PressTarget::addButton;
        return;
    }
    m_pressIndex = indexAtViewport(pos);
    if (m_pressIndex >= 0) {
        m_pressTarget = PressTarget::item;
        if (m_layout.mode() == FolderLayout::Mode::list &&
            m_layout.rowParts(itemRectInViewport(m_pressIndex), 0).button.contains(pos))
            m_pressTarget = PressTarget::rowButton;
    }
    if (m_layout.mode() == FolderLayout::Mode::grid)
        m_marquee.press(pos);
}

void FolderGridView::mouseMoveEvent(QMouseEvent *event)
{
    const QPointF pos = event->position();
    if (m_folders.isEmpty()) {
        const bool over = emptyStateLayout().button.contains(pos);
        if (over != m_hoveredAddButton) {
            m_hoveredAddButton = over;
            viewport()->update();
        }
        return;
    }
    if (m_marquee.isPressed() && (event->buttons() & Qt::LeftButton)) {
        const std::optional<QRectF> before = m_marquee.selectionRect();
        const std::optional<QSet<QUuid>> selection =
            m_marquee.move(pos, event->modifiers() & Qt::ControlModifier, m_selection, laidOutCardFrames());
        if (selection) {
            m_pressTarget = PressTarget::none; // a drag is never a click
            setHovered(-1);
            if (m_state)
                m_state->setSelectedFolderIDs(*selection);
            QRectF dirty = m_marquee.selectionRect().value_or(QRectF());
            if (before)
                dirty = dirty.united(*before);
            viewport()->update(dirty.adjusted(-2, -2, 2, 2).toAlignedRect());
            return;
        }
    }
    if (!event->buttons()) {
        const int index = indexAtViewport(pos);
        setHovered(index);
        setHoveredButton(index >= 0 && m_layout.mode() == FolderLayout::Mode::list &&
                         m_layout.rowParts(itemRectInViewport(index), 0).button.contains(pos));
    }
}

void FolderGridView::mouseReleaseEvent(QMouseEvent *event)
{
    const QPointF pos = event->position();
    if (m_marquee.isActive()) {
        const QRectF last = m_marquee.selectionRect().value_or(QRectF());
        m_marquee.release();
        viewport()->update(last.adjusted(-2, -2, 2, 2).toAlignedRect());
    }
    m_marquee.release();
    const PressTarget target = std::exchange(m_pressTarget, PressTarget::none);
    if (event->button() != Qt::LeftButton || !m_state)
        return;
    switch (target) {
    case PressTarget::none:
        break;
    case PressTarget::addButton:
        if (emptyStateLayout().button.contains(pos))
            m_state->showOpenPanel();
        break;
    case PressTarget::rowButton:
        if (indexAtViewport(pos) == m_pressIndex &&
            m_layout.rowParts(itemRectInViewport(m_pressIndex), 0).button.contains(pos))
            m_state->generateIcon(m_folders.at(m_pressIndex)->id());
        break;
    case PressTarget::item:
        if (indexAtViewport(pos) == m_pressIndex) {
            const QUuid id = m_folders.at(m_pressIndex)->id();
            m_currentId = id;
            m_anchorId = id;
            m_state->selectFolder(id, event->modifiers() & Qt::ControlModifier);
        }
        break;
    }
}

void FolderGridView::mouseDoubleClickEvent(QMouseEvent *event)
{
    // A double click is two clicks, as the selection rule expects (the second may deselect).
    mousePressEvent(event);
}

void FolderGridView::focusInEvent(QFocusEvent *event)
{
    QAbstractScrollArea::focusInEvent(event);
    if (event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason)
        m_focusVisible = true;
    viewport()->update();
}

void FolderGridView::focusOutEvent(QFocusEvent *event)
{
    QAbstractScrollArea::focusOutEvent(event);
    viewport()->update();
}

void FolderGridView::keyPressEvent(QKeyEvent *event)
{
    const int count = int(m_folders.size());
    const Qt::KeyboardModifiers mods = event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier);
    if (count == 0) {
        if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter || event->key() == Qt::Key_Space) &&
            !mods && m_state) {
            m_state->showOpenPanel();
            return;
        }
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    const bool grid = m_layout.mode() == FolderLayout::Mode::grid;
    const int columns = m_layout.columns();
    const int current = currentIndex();
    const int page = m_layout.itemsPerPage(viewport()->height());
    int target = -1;
    switch (event->key()) {
    case Qt::Key_Left:
        if (!grid)
            break;
        target = current - 1;
        break;
    case Qt::Key_Right:
        if (!grid)
            break;
        target = current + 1;
        break;
    case Qt::Key_Up:
        target = current - columns;
        break;
    case Qt::Key_Down:
        target = current < 0 ? 0 : current + columns;
        break;
    case Qt::Key_Home:
        target = 0;
        break;
    case Qt::Key_End:
        target = count - 1;
        break;
    case Qt::Key_PageUp:
        target = current - page;
        break;
    case Qt::Key_PageDown:
        target = current < 0 ? 0 : current + page;
        break;
    case Qt::Key_Space:
        if (current >= 0 && !(mods & Qt::ShiftModifier) && m_state) {
            m_focusVisible = true;
            m_anchorId = m_currentId;
            m_state->selectFolder(m_currentId, mods & Qt::ControlModifier);
            return;
        }
        break;
    case Qt::Key_Escape:
        if (m_marquee.isPressed()) {
            m_marquee.release();
            m_pressTarget = PressTarget::none;
            viewport()->update();
            return;
        }
        if (m_state && m_state->runningGenerationCount() > 0) {
            m_state->stopGenerating();
            return;
        }
        if (!m_selection.isEmpty() && m_state) {
            m_state->deselectAll();
            return;
        }
        break;
    case Qt::Key_F10:
        if (mods == Qt::ShiftModifier && current >= 0) {
            showContextMenu(current, viewport()->mapToGlobal(itemRectInViewport(current).center().toPoint()));
            return;
        }
        break;
    default:
        break;
    }
    const bool navigation = event->key() == Qt::Key_Left || event->key() == Qt::Key_Right ||
                            event->key() == Qt::Key_Up || event->key() == Qt::Key_Down ||
                            event->key() == Qt::Key_Home || event->key() == Qt::Key_End ||
                            event->key() == Qt::Key_PageUp || event->key() == Qt::Key_PageDown;
    if (!navigation || (!grid && (event->key() == Qt::Key_Left || event->key() == Qt::Key_Right))) {
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    if (current < 0) {
        // The first key press lands on the selection if there is one, else on the first folder.
        int first = -1;
        for (int i = 0; i < count && first < 0; ++i)
            first = m_selection.contains(m_folders.at(i)->id()) ? i : -1;
        target = first >= 0 ? first : 0;
    }
    moveCurrent(std::clamp(target, 0, count - 1), mods);
}

void FolderGridView::moveCurrent(int target, Qt::KeyboardModifiers modifiers)
{
    const QUuid id = m_folders.at(target)->id();
    const int previous = currentIndex();
    m_currentId = id;
    m_focusVisible = true;
    if (previous >= 0)
        updateItem(m_folders.at(previous)->id());
    updateItem(id);
    ensureIndexVisible(target);
    if (!m_state)
        return;
    if (modifiers & Qt::ShiftModifier) {
        int anchor = m_indexOf.value(m_anchorId, -1);
        if (anchor < 0) {
            anchor = previous >= 0 ? previous : target;
            m_anchorId = m_folders.at(anchor)->id();
        }
        QSet<QUuid> range = (modifiers & Qt::ControlModifier) ? m_selection : QSet<QUuid>();
        for (int i = std::min(anchor, target); i <= std::max(anchor, target); ++i)
            range.insert(m_folders.at(i)->id());
        m_state->setSelectedFolderIDs(range);
    } else if (!(modifiers & Qt::ControlModifier)) {
        // Ctrl moves the focus alone, so Ctrl+Space can pick folders here and there.
        m_anchorId = id;
        m_state->setSelectedFolderIDs({id});
    }
}

void FolderGridView::contextMenuEvent(QContextMenuEvent *event)
{
    int index = -1;
    QPoint global = event->globalPos();
    if (event->reason() == QContextMenuEvent::Mouse) {
        index = indexAtViewport(viewport()->mapFrom(this, event->pos()));
    } else {
        index = currentIndex();
        if (index >= 0)
            global = viewport()->mapToGlobal(itemRectInViewport(index).center().toPoint());
    }
    if (index < 0) {
        event->ignore();
        return;
    }
    showContextMenu(index, global);
}

void FolderGridView::showContextMenu(int index, const QPoint &globalPos)
{
    std::unique_ptr<QMenu> menu = createContextMenu(m_folders.at(index)->id());
    if (menu)
        menu->exec(globalPos);
}

std::unique_ptr<QMenu> FolderGridView::createContextMenu(const QUuid &id)
{
    const int index = m_indexOf.value(id, -1);
    if (index < 0 || !m_state)
        return nullptr;
    const FolderItemPtr folder = m_folders.at(index);
    const QPointer<AppState> state = m_state;
    auto menu = std::make_unique<QMenu>(this);

    menu->addAction(tr("Regenerate Icon"), this, [state, id] {
        if (state)
            state->generateIcon(id);
    });
    if (m_state->isGenerating(id)) {
        menu->addAction(tr("Stop"), this, [state, id] {
            if (state)
                state->stopGeneration(id);
        });
    }
    const IconState::Kind kind = folder->iconState().kind();
    if (kind == IconState::Kind::generated || kind == IconState::Kind::applied) {
        menu->addAction(tr("Apply Icon to Folder"), this, [state, id] {
            if (state)
                state->applyIcon(id, true);
        });
    }
    menu->addSeparator();
    const QUrl url = folder->url();
    // Opening the folder itself shows its contents, which is what the user asked to see.
    menu->addAction(tr("Show in File Manager"), this, [url] { QDesktopServices::openUrl(url); });
    menu->addSeparator();
    QAction *remove = menu->addAction(QIcon::fromTheme(QStringLiteral("edit-delete")), tr("Remove"), this,
                                      [state, id] {
                                          if (state)
                                              state->removeFolder(id);
                                      });
    remove->setObjectName(QStringLiteral("destructive"));
    return menu;
}

// ---- Drag and drop ----------------------------------------------------------------------------

std::optional<QUrl> FolderGridView::folderUrlForDrop(const QUrl &url)
{
    // File managers drop folders as plain file:// URLs without a trailing slash, so ask the file
    // system what they are; the list takes folders in directory form (ending in a slash).
    if (!url.isLocalFile())
        return std::nullopt;
    const QFileInfo info(url.toLocalFile());
    if (!info.isDir())
        return std::nullopt;
    QString path = QDir::cleanPath(info.absoluteFilePath());
    if (!path.endsWith(u'/'))
        path += u'/';
    return QUrl::fromLocalFile(path);
}

void FolderGridView::setDropTargeted(bool targeted)
{
    if (targeted == m_dropTargeted)
        return;
    m_dropTargeted = targeted;
    const double now = AnimationClock::instance().now();
    // Reversing mid-way starts the spring from where the symbol is, not from its end.
    m_dropChangedAt = now;
    animateFor(Tokens::quick().settleTime());
    viewport()->update();
}

void FolderGridView::dragEnterEvent(QDragEnterEvent *event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    const bool files = std::any_of(urls.begin(), urls.end(), [](const QUrl &u) { return u.isLocalFile(); });
    if (!files) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    setDropTargeted(true);
}

void FolderGridView::dragMoveEvent(QDragMoveEvent *event) { event->acceptProposedAction(); }

void FolderGridView::dragLeaveEvent(QDragLeaveEvent *event)
{
    setDropTargeted(false);
    event->accept();
}

void FolderGridView::dropEvent(QDropEvent *event)
{
    setDropTargeted(false);
    const QList<QUrl> urls = event->mimeData()->urls();
    event->acceptProposedAction();
    // Adding reads each folder; do it after the drop has been answered, so the file manager
    // is not kept waiting. One call per folder: each is added (or skipped) on its own.
    for (const QUrl &url : urls) {
        const std::optional<QUrl> folder = folderUrlForDrop(url);
        if (!folder)
            continue;
        QMetaObject::invokeMethod(
            this,
            [state = m_state, folder = *folder] {
                if (state)
                    state->addFolders({folder});
            },
            Qt::QueuedConnection);
    }
}

// ---- Painting ---------------------------------------------------------------------------------

FolderGridView::Badge FolderGridView::badgeFor(const IconState &state)
{
    switch (state.kind()) {
    case IconState::Kind::generated:
        return Badge::generated;
    case IconState::Kind::applied:
        return Badge::applied;
    case IconState::Kind::failed:
        return Badge::failed;
    case IconState::Kind::placeholder:
    case IconState::Kind::generating:
        break;
    }
    return Badge::none;
}

QString FolderGridView::badgeToolTip(const IconState &state)
{
    switch (state.kind()) {
    case IconState::Kind::generated:
        return tr("Icon generated — not applied to the folder yet");
    case IconState::Kind::applied:
        return tr("Icon applied to folder");
    case IconState::Kind::failed:
        return state.message();
    case IconState::Kind::placeholder:
    case IconState::Kind::generating:
        break;
    }
    return {};
}

void FolderGridView::paintEvent(QPaintEvent *event)
{
    QPainter p(viewport());
    p.fillRect(event->rect(), Tokens::windowBackground());
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    const double now = AnimationClock::instance().now();

    if (m_folders.isEmpty()) {
        paintEmptyState(p, now);
        return;
    }
    const qreal top = verticalScrollBar()->value();
    const QRect dirty = event->rect();
    const auto [first, last] = m_layout.indicesIn(top + dirty.top() - 16, top + dirty.bottom() + 16);
    const bool grid = m_layout.mode() == FolderLayout::Mode::grid;
    for (int i = first; i < last; ++i) {
        const QRectF rect = itemRectInViewport(i);
        if (grid)
            paintCard(p, i, rect, now);
        else
            paintRow(p, i, rect, now);
    }

    // The marquee lies above the cards; it is drawn only, never hit.
    if (const std::optional<QRectF> marquee = m_marquee.selectionRect()) {
        p.setRenderHint(QPainter::Antialiasing, false);
        p.fillRect(*marquee, white(0.06));
        p.setPen(QPen(white(0.25), 1));
        p.setBrush(Qt::NoBrush);
        p.drawRect(marquee->adjusted(0, 0, -1, -1));
    }
}

const FolderGridView::ItemText &FolderGridView::itemText(const FolderItem &folder, qreal width)
{
    ItemText &text = m_texts[folder.id()];
    const FolderLayout::Mode mode = m_layout.mode();
    if (text.width == width && text.mode == mode && text.fileCount == folder.fileCount() &&
        text.category == folder.detectedCategory())
        return text;
    text.width = width;
    text.mode = mode;
    text.fileCount = folder.fileCount();
    text.category = folder.detectedCategory();
    const QFont font = nameFont();
    const QFontMetricsF metrics(font);
    const QString name = folder.name();
    QString lines[2];
    if (mode == FolderLayout::Mode::grid) {
        // At most two centred lines: wrap once, then cut the rest short.
        QTextLayout layout(name, font);
        QTextOption option(Qt::AlignHCenter);
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        layout.setTextOption(option);
        layout.beginLayout();
        QTextLine line = layout.createLine();
        if (line.isValid()) {
            line.setLineWidth(width);
            lines[0] = name.mid(line.textStart(), line.textLength()).trimmed();
            const QString rest = name.mid(line.textStart() + line.textLength());
            if (!rest.isEmpty())
                lines[1] = metrics.elidedText(rest, Qt::ElideRight, width);
        }
        layout.endLayout();
    } else {
        lines[0] = metrics.elidedText(name, Qt::ElideRight, width);
        text.details.setText(tr("%1 files").arg(folder.fileCount()) + QStringLiteral(" · ") +
                             displayName(folder.detectedCategory()));
        text.details.setTextFormat(Qt::PlainText);
        text.details.prepare(QTransform(), Tokens::monoSmallFont());
    }
    for (int i = 0; i < 2; ++i) {
        text.name[i].setText(lines[i]);
        text.name[i].setTextFormat(Qt::PlainText);
        text.name[i].prepare(QTransform(), font);
    }
    return text;
}

void FolderGridView::paintFocusRing(QPainter &p, const QRectF &rect, qreal radius)
{
    if (!hasFocus() || !m_focusVisible || !m_state)
        return;
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(withAlpha(Tokens::accent(*m_state), 0.9), 2));
    p.drawPath(SoftShapes::continuousRoundedRect(rect.adjusted(-3, -3, 3, 3), radius + 3));
}

void FolderGridView::paintBadge(QPainter &p, const QRectF &rect, Badge badge, qreal scale, qreal opacity)
{
    if (badge == Badge::none || opacity <= 0 || !m_state)
        return;
    const QString symbol = badge == Badge::generated ? QStringLiteral("sparkles")
                           : badge == Badge::applied ? QStringLiteral("checkmark.circle.fill")
                                                     : QStringLiteral("exclamationmark.triangle.fill");
    const QColor colour = badge == Badge::generated ? Tokens::accent(*m_state)
                          : badge == Badge::applied ? Tokens::green()
                                                    : Tokens::red();
    // Disc, ring and symbol are drawn once per look; cards blit them (scaled only while springing).
    const qreal dpr = p.device() ? p.device()->devicePixelRatioF() : 1.0;
    const qreal side = rect.width() + 2;
    const QString key = symbol + colour.name(QColor::HexArgb) + QString::number(dpr);
    QPixmap &pixmap = m_badgePixmaps[key];
    if (pixmap.isNull()) {
        QImage image(QSize(side, side) * dpr, QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(dpr);
        image.fill(Qt::transparent);
        QPainter b(&image);
        b.setRenderHint(QPainter::Antialiasing);
        const QRectF circle(1, 1, rect.width(), rect.height());
        b.setBrush(BadgeFill);
        b.setPen(QPen(white(0.12), 1));
        b.drawEllipse(circle);
        Symbols::paint(b, circle, symbol, 13, colour);
        b.end();
        pixmap = QPixmap::fromImage(image);
        pixmap.setDevicePixelRatio(dpr);
    }
    p.save();
    p.setOpacity(p.opacity() * std::clamp(opacity, 0.0, 1.0));
    const QRectF target(rect.center() - QPointF(side / 2, side / 2), QSizeF(side, side));
    if (scale == 1.0) {
        p.drawPixmap(target.topLeft(), pixmap);
    } else {
        p.translate(rect.center());
        p.scale(scale, scale);
        p.translate(-rect.center());
        p.drawPixmap(target, pixmap, QRectF(QPointF(0, 0), QSizeF(pixmap.size())));
    }
    p.restore();
}

void FolderGridView::paintCard(QPainter &p, int index, const QRectF &card, double now)
{
    const FolderItem &folder = *m_folders.at(index);
    const QUuid id = folder.id();
    const auto appear = m_appearAt.constFind(id);
    const double appeared =
        appear == m_appearAt.constEnd() ? 0.0 : Tokens::standard().progress(now - *appear);
    const double opacity = std::clamp(appeared, 0.0, 1.0);
    if (opacity <= 0.0)
        return;
    const bool selected = m_selection.contains(id);
    const double hover = hoverValue(id, now);
    const QColor accent = m_state ? Tokens::accent(*m_state) : QColor(Qt::white);
    const qreal dpr = viewport()->devicePixelRatioF();

    p.save();
    p.setOpacity(opacity);
    const qreal scale = 1.0 + HoverScale * hover;
    p.translate(card.center() + QPointF(0, AppearOffset * (1.0 - appeared)));
    if (scale != 1.0)
        p.scale(scale, scale);
    p.translate(-card.center());

    if (selected) {
        m_chrome.draw(p, card.translated(0, 4),
                      {CardRadius, withAlpha(accent, 0.08), withAlpha(accent, 0.5), 1.5, 12, withAlpha(accent, 0.2)});
        m_chrome.draw(p, card, {CardRadius, withAlpha(accent, 0.08), withAlpha(accent, 0.5), 1.5});
    } else {
        m_chrome.draw(p, card, {CardRadius, white(0.03), white(0.06), 1});
        if (hover > 0) {
            // The hovered outline (12 %) is the resting one with this much more laid over it.
            p.setOpacity(opacity * std::min(1.0, hover));
            m_chrome.draw(p, card, {CardRadius, Qt::transparent, white(1 - 0.88 / 0.94), 1});
            p.setOpacity(opacity);
        }
    }

    const FolderLayout::CardParts parts = m_layout.cardParts(card);
    const IconState state = folder.iconState();
    if (state.is(IconState::Kind::generating)) {
        GeneratingOverlay::paint(p, parts.icon, now - m_generatingSince.value(id, now));
    } else if (const IconImage image = folder.generatedImage(); !image.isNull()) {
        const QPixmap thumb = m_thumbnails.thumbnail(id, ThumbnailCache::Kind::card, renditionFor(image, ThumbnailCache::Kind::card, dpr), dpr);
        if (!thumb.isNull()) {
            const QSizeF size = QSizeF(thumb.size()) / thumb.devicePixelRatio();
            p.drawPixmap(QPointF(snap(parts.icon.center().x() - size.width() / 2, dpr),
                                 snap(parts.icon.center().y() - size.height() / 2, dpr)),
                         thumb);
        }
    } else if (m_state) {
        PlaceholderRenderer::paint(p, parts.icon, folder.detectedCategory(), m_state->selectedTheme());
    }

    // The badge springs in (and out) when the state changes; otherwise it simply shows.
    const auto track = m_badges.constFind(id);
    const Badge badge = badgeFor(state);
    if (track == m_badges.constEnd() || track->shown != badge) {
        paintBadge(p, parts.badge, badge, 1.0, 1.0);
    } else {
        const double t = BadgeSpring.progress(now - track->since);
        paintBadge(p, parts.badge, track->shown, std::max(0.001, t), t);
        if (t < 1.0)
            paintBadge(p, parts.badge, track->leaving, std::max(0.001, 1.0 - t), 1.0 - t);
    }

    const ItemText &text = itemText(folder, parts.name.width());
    p.setPen(Qt::white);
    p.setFont(nameFont());
    for (int line = 0; line < 2; ++line) {
        const QStaticText &s = text.name[line];
        if (s.text().isEmpty())
            continue;
        const QSizeF size = s.size();
        p.drawStaticText(QPointF(parts.name.center().x() - size.width() / 2,
                                 parts.name.top() + line * (parts.name.height() / 2)),
                         s);
    }
    const QStaticText &category = m_categoryTexts[int(folder.detectedCategory())];
    p.setPen(white(0.35));
    p.setFont(Tokens::monoSmallFont());
    // The category follows the name directly, whether the name took one line or two.
    const qreal categoryTop = text.name[1].text().isEmpty() ? parts.category.top() - parts.name.height() / 2
                                                            : parts.category.top();
    p.drawStaticText(QPointF(parts.category.center().x() - category.size().width() / 2, categoryTop), category);

    if (id == m_currentId)
        paintFocusRing(p, card, CardRadius);
    p.restore();
}

void FolderGridView::paintSpinner(QPainter &p, const QRectF &rect, double now)
{
    // A small indeterminate progress ring: a three-quarter arc turning once a second.
    const qreal d = 16;
    const QRectF ring(rect.center().x() - d / 2, rect.center().y() - d / 2, d, d);
    p.save();
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(white(0.12), 2));
    p.drawEllipse(ring);
    p.setPen(QPen(white(0.7), 2, Qt::SolidLine, Qt::RoundCap));
    const int start = -int(std::fmod(now, 1.0) * 360 * 16);
    p.drawArc(ring, start, 90 * 16);
    p.restore();
}

void FolderGridView::paintRow(QPainter &p, int index, const QRectF &row, double now)
{
    const FolderItem &folder = *m_folders.at(index);
    const QUuid id = folder.id();
    const QColor accent = m_state ? Tokens::accent(*m_state) : QColor(Qt::white);
    const double hover = hoverValue(id, now);
    const qreal dpr = viewport()->devicePixelRatioF();

    if (m_selection.contains(id))
        m_chrome.draw(p, row, {RowRadius, withAlpha(accent, 0.10)});
    if (hover > 0) {
        p.save();
        p.setOpacity(std::clamp(hover, 0.0, 1.0));
        m_chrome.draw(p, row, {RowRadius, white(0.03)});
        p.restore();
    }

    // The status label: symbol and word, measured to place everything left of it.
    const IconState state = folder.iconState();
    QString word;
    QString symbol;
    QColor colour;
    switch (state.kind()) {
    case IconState::Kind::placeholder:
        break;
    case IconState::Kind::generating:
        word = tr("Generating"), symbol = QStringLiteral("circle.dotted"), colour = Tokens::orange();
        break;
    case IconState::Kind::generated:
        word = tr("Ready"), symbol = QStringLiteral("circle.fill"), colour = accent;
        break;
    case IconState::Kind::applied:
        word = tr("Applied"), symbol = QStringLiteral("checkmark.circle.fill"), colour = Tokens::green();
        break;
    case IconState::Kind::failed:
        word = tr("Failed"), symbol = QStringLiteral("exclamationmark.circle.fill"), colour = Tokens::red();
        break;
    }
    const QFont mono = Tokens::monoSmallFont();
    const qreal symbolSize = 11;
    const qreal labelGap = 4;
    const qreal statusWidth =
        word.isEmpty() ? 0 : symbolSize + labelGap + QFontMetricsF(mono).horizontalAdvance(word);
    const FolderLayout::RowParts parts = m_layout.rowParts(row, statusWidth);

    const IconImage image = folder.generatedImage();
    if (!image.isNull()) {
        const QPixmap thumb = m_thumbnails.thumbnail(id, ThumbnailCache::Kind::row, renditionFor(image, ThumbnailCache::Kind::row, dpr), dpr);
        if (!thumb.isNull())
            p.drawPixmap(QPointF(snap(parts.icon.left(), dpr), snap(parts.icon.top(), dpr)), thumb);
    } else if (state.is(IconState::Kind::generating)) {
        paintSpinner(p, parts.icon, now);
    } else if (m_state) {
        PlaceholderRenderer::paint(p, parts.icon, folder.detectedCategory(), m_state->selectedTheme());
    }

    const ItemText &text = itemText(folder, parts.name.width());
    p.setPen(Qt::white);
    p.setFont(nameFont());
    p.drawStaticText(parts.name.topLeft(), text.name[0]);
    p.setPen(white(0.35));
    p.setFont(mono);
    p.drawStaticText(parts.details.topLeft(), text.details);

    if (!word.isEmpty()) {
        const QRectF symbolRect(parts.status.left(), parts.status.center().y() - symbolSize / 2, symbolSize,
                                symbolSize);
        Symbols::paint(p, symbolRect, symbol, symbolSize, colour);
        p.setPen(colour);
        p.setFont(mono);
        p.drawText(QRectF(symbolRect.right() + labelGap, parts.status.top(),
                          parts.status.width() - symbolSize - labelGap, parts.status.height()),
                   Qt::AlignVCenter | Qt::AlignLeft, word);
    }
    const bool rowHovered = id == m_hoveredId;
    p.save();
    p.setOpacity(rowHovered ? 1.0 : 0.5);
    Symbols::paint(p, parts.button, QStringLiteral("arrow.clockwise"), 12, accent);
    if (rowHovered && m_hoveredRowButton) {
        p.setOpacity(1.0);
        p.setPen(Qt::NoPen);
        p.setBrush(withAlpha(accent, 0.12));
        p.drawEllipse(parts.button);
    }
    p.restore();

    if (id == m_currentId)
        paintFocusRing(p, row, RowRadius);
}

FolderGridView::EmptyStateLayout FolderGridView::emptyStateLayout() const
{
    EmptyStateLayout layout;
    const QRectF area = QRectF(viewport()->rect()).adjusted(EmptyOuterMargin, EmptyOuterMargin, -EmptyOuterMargin,
                                                            -EmptyOuterMargin);
    layout.border = area.adjusted(1, 1, -1, -1);
    const qreal ringsHeight = 180;
    const qreal titleHeight = QFontMetricsF(titleFont()).height();
    const qreal hintHeight = QFontMetricsF(Tokens::smallFont()).height();
    const QFont button = Tokens::uiFont(13, QFont::Medium);
    const QFontMetricsF buttonMetrics(button);
    const qreal buttonWidth = 20 + 13 + 6 + buttonMetrics.horizontalAdvance(tr("Add Folders")) + 20;
    const qreal buttonHeight = 10 + std::max<qreal>(buttonMetrics.height(), 13) + 10;
    const qreal total = ringsHeight + 20 + titleHeight + 8 + hintHeight + 20 + buttonHeight;
    qreal y = area.center().y() - total / 2;
    const qreal cx = area.center().x();
    layout.ringsCentre = QPointF(cx, y + ringsHeight / 2);
    y += ringsHeight + 20;
    layout.title = QRectF(area.left(), y, area.width(), titleHeight);
    y += titleHeight + 8;
    layout.hint = QRectF(area.left(), y, area.width(), hintHeight);
    y += hintHeight + 20;
    layout.button = QRectF(cx - buttonWidth / 2, y, buttonWidth, buttonHeight);
    return layout;
}

void FolderGridView::paintEmptyState(QPainter &p, double now)
{
    const QColor accent = m_state ? Tokens::accent(*m_state) : QColor(Qt::white);
    const EmptyStateLayout layout = emptyStateLayout();

    QPen dashed(m_dropTargeted ? accent : white(0.06), 2);
    dashed.setDashPattern({10.0 / 2, 6.0 / 2}); // dash lengths count in pen widths
    p.setBrush(Qt::NoBrush);
    p.setPen(dashed);
    p.drawPath(SoftShapes::continuousRoundedRect(layout.border, 24));

    const double shownAt = m_emptyShownAt < 0 ? now : m_emptyShownAt;
    p.setPen(QPen(withAlpha(accent, 0.12), 1));
    for (int i = 0; i < 3; ++i) {
        const qreal scale = 1.0 + 0.05 * pulse(now, shownAt, 2.0, 0.3 * i);
        const qreal radius = (100 + 40 * i) / 2.0 * scale;
        p.drawEllipse(layout.ringsCentre, radius, radius);
    }
    const double targeted = Tokens::quick().progress(now - m_dropChangedAt);
    const double t = m_dropTargeted ? targeted : 1.0 - targeted;
    const qreal symbolScale = 1.0 + 0.15 * t;
    QColor symbolColour = m_dropTargeted ? accent : white(0.25);
    p.save();
    p.translate(layout.ringsCentre);
    p.scale(symbolScale, symbolScale);
    Symbols::paint(p, QRectF(-40, -40, 80, 80), QStringLiteral("folder.badge.plus"), 48, symbolColour);
    p.restore();

    p.setFont(titleFont());
    p.setPen(white(0.60));
    p.drawText(layout.title, Qt::AlignCenter, tr("Drop folders here"));
    p.setFont(Tokens::smallFont());
    p.setPen(white(0.25));
    p.drawText(layout.hint, Qt::AlignCenter, tr("or press Ctrl+O to browse"));

    p.setPen(Qt::NoPen);
    p.setBrush(m_hoveredAddButton ? accent.lighter(110) : accent);
    p.drawPath(SoftShapes::continuousRoundedRect(layout.button, 10));
    const QFont buttonFont = Tokens::uiFont(13, QFont::Medium);
    const QFontMetricsF metrics(buttonFont);
    const qreal textWidth = metrics.horizontalAdvance(tr("Add Folders"));
    const QRectF content = layout.button.adjusted(20, 10, -20, -10);
    Symbols::paint(p, QRectF(content.left(), content.center().y() - 7, 13, 14), QStringLiteral("plus"), 13,
                   Qt::white);
    p.setFont(buttonFont);
    p.setPen(Qt::white);
    p.drawText(QRectF(content.right() - textWidth, content.top(), textWidth, content.height()),
               Qt::AlignVCenter | Qt::AlignLeft, tr("Add Folders"));
    if (hasFocus() && m_focusVisible)
        paintFocusRing(p, layout.button, 10);
}
