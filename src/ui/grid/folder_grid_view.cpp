#include "grid/folder_grid_view.h"

#include "design/animation_clock.h"
#include "design/spring.h"
#include "design/tokens.h"
#include "grid/folder_grid_accessible.h"
#include "grid/folder_grid_controller.h"
#include "grid/folder_item_model.h"
#include "state/app_state.h"

#include <QContextMenuEvent>
#include <QHelpEvent>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>
#include <QToolTip>

#include <algorithm>
#include <cmath>

namespace {

// Cards fade in one after another, this far apart in list order.
constexpr double AppearStagger = 0.04;

} // namespace

FolderGridView::FolderGridView(AppState *state, QWidget *parent)
    : QAbstractScrollArea(parent),
      m_state(state),
      m_model(new FolderItemModel(state, this)),
      m_painter(state, m_thumbnails),
      m_controller(new FolderGridController(this, m_model))
{
    // Before anything (a name, say) makes Qt build this widget's interface.
    FolderGridAccessible::installFactory();
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

    connect(m_model, &FolderItemModel::foldersChanged, this, &FolderGridView::foldersChanged);
    connect(m_model, &FolderItemModel::selectionChanged, this, &FolderGridView::selectionChanged);
    connect(m_model, &FolderItemModel::iconStateChanged, this, &FolderGridView::onIconStateChanged);
    connect(m_model, &FolderItemModel::imageChanged, this, &FolderGridView::updateItem);
    connect(m_model, &FolderItemModel::categoryChanged, this, [this](const QUuid &id) {
        updateItem(id);
        FolderGridAccessible::notifyItemChanged(this, id);
    });
    connect(m_controller, &FolderGridController::currentChanged, this,
            [this](int index) { FolderGridAccessible::notifyCurrentChanged(this, index); });
    connect(m_model, &FolderItemModel::fileCountChanged, this, [this](const QUuid &id) {
        m_painter.forgetText(id);
        updateItem(id);
    });
    connect(m_model, &FolderItemModel::nameChanged, this, [this](const QUuid &id) {
        m_painter.forgetText(id);
        updateItem(id);
        FolderGridAccessible::notifyItemChanged(this, id);
    });
    if (m_state) {
        connect(m_state, &AppState::viewModeChanged, this, [this] {
            // Cards are built afresh when the grid comes back, so they fade in again.
            m_appearAt.clear();
            m_controller->forgetHover();
            m_painter.forgetTexts();
            relayout();
            FolderGridAccessible::notifyLayoutChanged(this);
        });
        connect(m_state, &AppState::selectedThemeChanged, viewport(), qOverload<>(&QWidget::update));
    }
    for (int i = 0; i < m_model->count(); ++i) {
        if (m_model->folder(i).iconState().is(IconState::Kind::generating))
            m_generatingSince.insert(m_model->idAt(i), AnimationClock::instance().now());
    }
    relayout();
}

FolderGridView::~FolderGridView() { AnimationClock::instance().stop(viewport()); }

// ---- State in, layout out -------------------------------------------------------------------

void FolderGridView::foldersChanged(const QList<int> &removed, const QList<int> &inserted)
{
    QSet<QUuid> ids;
    ids.reserve(m_model->count());
    for (int i = 0; i < m_model->count(); ++i)
        ids.insert(m_model->idAt(i));
    const double now = AnimationClock::instance().now();
    for (int row : inserted) {
        if (m_model->folder(row).iconState().is(IconState::Kind::generating))
            m_generatingSince.insert(m_model->idAt(row), now);
    }
    auto retain = [&ids](auto &hash) {
        for (auto it = hash.begin(); it != hash.end();)
            it = ids.contains(it.key()) ? std::next(it) : hash.erase(it);
    };
    retain(m_appearAt);
    retain(m_selectionFades);
    retain(m_badges);
    retain(m_generatingSince);
    m_thumbnails.retainOnly(ids);
    relayout();
    FolderGridAccessible::notifyFoldersChanged(this, removed, inserted);
}

void FolderGridView::selectionChanged(const QSet<QUuid> &before)
{
    // The selection eases in and out with the quick token, as hover does.
    const double now = AnimationClock::instance().now();
    const QSet<QUuid> &after = m_model->selection();
    auto retarget = [&](const QUuid &id, bool on) {
        // From where a running fade is, else from the other end (the model has already changed).
        const double current = m_selectionFades.contains(id) ? selectedValue(id, now) : (on ? 0.0 : 1.0);
        m_selectionFades.insert(id, Fade{on, now, current});
        updateItem(id);
    };
    for (const QUuid &id : before) {
        if (!after.contains(id))
            retarget(id, false);
    }
    for (const QUuid &id : after) {
        if (!before.contains(id))
            retarget(id, true);
    }
    animateFor(Tokens::quick().settleTime());
    FolderGridAccessible::notifySelectionChanged(this, before);
}

double FolderGridView::selectedValue(const QUuid &id, double now) const
{
    const auto it = m_selectionFades.constFind(id);
    if (it == m_selectionFades.constEnd())
        return m_model->isSelected(id) ? 1 : 0;
    return mix(it->from, it->on ? 1.0 : 0.0, Tokens::quick().progress(now - it->since));
}

void FolderGridView::relayout()
{
    const auto mode = m_state && m_state->viewMode() == ViewMode::list ? FolderLayout::Mode::list
                                                                        : FolderLayout::Mode::grid;
    const qreal width = viewport()->width();
    if (m_layout.mode() != mode || !qFuzzyCompare(m_layout.columnWidth() + 1, width + 1))
        m_painter.forgetTexts();
    m_layout = FolderLayout(mode, width, m_model->count(), FolderPainter::textMetrics());
    updateScrollRange();
    noteLaidOut();
    viewport()->update();
}

void FolderGridView::updateScrollRange()
{
    const int height = viewport()->height();
    const int range = m_model->isEmpty() ? 0 : std::max(0, int(std::ceil(m_layout.contentHeight())) - height);
    QScrollBar *bar = verticalScrollBar();
    bar->setPageStep(height);
    bar->setRange(0, range);
}

void FolderGridView::noteLaidOut()
{
    const double now = AnimationClock::instance().now();
    if (m_model->isEmpty() && m_emptyShownAt < 0)
        m_emptyShownAt = now;
    if (m_layout.mode() == FolderLayout::Mode::grid && !m_model->isEmpty()) {
        const qreal top = verticalScrollBar()->value();
        const auto [first, last] = m_layout.indicesIn(top, top + viewport()->height());
        bool added = false;
        for (int i = first; i < last; ++i) {
            const QUuid id = m_model->idAt(i);
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
        const auto it = m_appearAt.constFind(m_model->idAt(i));
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
        if (m_model->isEmpty()) {
            needed = true; // the empty state's rings pulse for as long as it shows
        } else {
            const qreal top = verticalScrollBar()->value();
            const auto [first, last] = m_layout.indicesIn(top, top + viewport()->height());
            const bool list = m_layout.mode() == FolderLayout::Mode::list;
            for (int i = first; i < last && !needed; ++i) {
                const FolderItem &folder = m_model->folder(i);
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
    const int index = m_model->indexOf(id);
    if (index < 0)
        return;
    const IconState state = m_model->folder(index).iconState();
    const double now = AnimationClock::instance().now();
    if (state.is(IconState::Kind::generating)) {
        if (!m_generatingSince.contains(id))
            m_generatingSince.insert(id, now);
    } else {
        m_generatingSince.remove(id);
    }
    FolderPainter::BadgeTrack &track = m_badges[id];
    const FolderPainter::Badge badge = FolderPainter::badgeFor(state);
    if (badge != track.shown) {
        track.leaving = track.shown;
        track.shown = badge;
        track.since = now;
        animateFor(FolderPainter::badgeSettleTime());
    }
    updateContinuousAnimation();
    updateItem(id);
    FolderGridAccessible::notifyItemChanged(this, id);
}

void FolderGridView::updateItem(const QUuid &id)
{
    const int index = m_model->indexOf(id);
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
        frames.append({m_model->idAt(i), itemRectInViewport(i)});
    return frames;
}

int FolderGridView::currentIndex() const { return m_model->indexOf(m_controller->currentId()); }

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
        m_controller->pointerLeft();
        break;
    case QEvent::ToolTip: {
        auto *help = static_cast<QHelpEvent *>(event);
        const int index = indexAtViewport(help->pos());
        if (index >= 0 && m_layout.mode() == FolderLayout::Mode::grid) {
            const FolderLayout::CardParts parts = m_layout.cardParts(itemRectInViewport(index));
            const QString tip = FolderPainter::badgeToolTip(m_model->folder(index).iconState());
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


std::optional<QRectF> FolderGridView::marqueeRect() const { return m_controller->marquee().selectionRect(); }

bool FolderGridView::isDropTargeted() const { return m_controller->isDropTargeted(); }

FolderPainter::EmptyStateLayout FolderGridView::emptyStateLayout() const
{
    return FolderPainter::emptyStateLayout(QRectF(viewport()->rect()));
}

std::unique_ptr<QMenu> FolderGridView::createContextMenu(const QUuid &id)
{
    return m_controller->createContextMenu(id);
}

std::optional<QUrl> FolderGridView::folderUrlForDrop(const QUrl &url)
{
    return FolderGridController::folderUrlForDrop(url);
}

// ---- Input, handed to the controller ----------------------------------------------------------

void FolderGridView::mousePressEvent(QMouseEvent *event)
{
    if (!m_controller->mousePress(event))
        QAbstractScrollArea::mousePressEvent(event);
}

void FolderGridView::mouseMoveEvent(QMouseEvent *event) { m_controller->mouseMove(event); }

void FolderGridView::mouseReleaseEvent(QMouseEvent *event) { m_controller->mouseRelease(event); }

void FolderGridView::mouseDoubleClickEvent(QMouseEvent *event)
{
    // A double click is two clicks, as the selection rule expects (the second may deselect).
    mousePressEvent(event);
}

void FolderGridView::keyPressEvent(QKeyEvent *event)
{
    if (!m_controller->keyPress(event))
        QAbstractScrollArea::keyPressEvent(event);
}

void FolderGridView::focusInEvent(QFocusEvent *event)
{
    QAbstractScrollArea::focusInEvent(event);
    m_controller->focusIn(event);
    FolderGridAccessible::notifyCurrentChanged(this, currentIndex());
}

void FolderGridView::focusOutEvent(QFocusEvent *event)
{
    QAbstractScrollArea::focusOutEvent(event);
    viewport()->update();
}

void FolderGridView::contextMenuEvent(QContextMenuEvent *event)
{
    if (!m_controller->contextMenu(event))
        event->ignore();
}

void FolderGridView::dragEnterEvent(QDragEnterEvent *event) { m_controller->dragEnter(event); }

void FolderGridView::dragMoveEvent(QDragMoveEvent *event) { m_controller->dragMove(event); }

void FolderGridView::dragLeaveEvent(QDragLeaveEvent *event) { m_controller->dragLeave(event); }

void FolderGridView::dropEvent(QDropEvent *event) { m_controller->drop(event); }

// ---- Painting ---------------------------------------------------------------------------------

FolderPainter::ItemLook FolderGridView::lookFor(const QUuid &id, double now) const
{
    FolderPainter::ItemLook look;
    const auto appear = m_appearAt.constFind(id);
    look.appeared = m_layout.mode() == FolderLayout::Mode::list ? 1.0
                    : appear == m_appearAt.constEnd()            ? 0.0
                                                                 : Tokens::standard().progress(now - *appear);
    look.hover = m_controller->hoverValue(id, now);
    look.selected = selectedValue(id, now);
    look.focusRing = id == m_controller->currentId() && hasFocus() && m_controller->isFocusVisible();
    look.rowHovered = id == m_controller->hoveredId();
    look.rowButtonHovered = look.rowHovered && m_controller->isRowButtonHovered();
    const auto badge = m_badges.constFind(id);
    look.badge = badge == m_badges.constEnd() ? nullptr : &*badge;
    look.generatingFor = now - m_generatingSince.value(id, now);
    return look;
}

void FolderGridView::paintEvent(QPaintEvent *event)
{
    QPainter p(viewport());
    p.fillRect(event->rect(), Tokens::windowBackground());
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    const double now = AnimationClock::instance().now();

    if (m_model->isEmpty()) {
        FolderPainter::EmptyLook look;
        look.dropTargeted = m_controller->isDropTargeted();
        look.dropChangedAt = m_controller->dropChangedAt();
        look.shownAt = m_emptyShownAt;
        look.addButtonHovered = m_controller->isAddButtonHovered();
        look.focusRing = hasFocus() && m_controller->isFocusVisible();
        m_painter.paintEmptyState(p, QRectF(viewport()->rect()), look, now);
        return;
    }
    const qreal top = verticalScrollBar()->value();
    const QRect dirty = event->rect();
    const auto [first, last] = m_layout.indicesIn(top + dirty.top() - 16, top + dirty.bottom() + 16);
    const bool grid = m_layout.mode() == FolderLayout::Mode::grid;
    for (int i = first; i < last; ++i) {
        const QRectF rect = itemRectInViewport(i);
        const FolderItem &folder = m_model->folder(i);
        const FolderPainter::ItemLook look = lookFor(folder.id(), now);
        if (grid)
            m_painter.paintCard(p, m_layout, folder, rect, look, now);
        else
            m_painter.paintRow(p, m_layout, folder, rect, look, now);
    }

    // The marquee lies above the cards; it is drawn only, never hit.
    if (const std::optional<QRectF> marquee = marqueeRect()) {
        p.setRenderHint(QPainter::Antialiasing, false);
        p.fillRect(*marquee, Tokens::white(0.06));
        p.setPen(QPen(Tokens::white(0.25), 1));
        p.setBrush(Qt::NoBrush);
        p.drawRect(marquee->adjusted(0, 0, -1, -1));
    }
}
