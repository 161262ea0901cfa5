#include "grid/folder_grid_controller.h"

#include "design/animation_clock.h"
#include "design/spring.h"
#include "design/tokens.h"
#include "grid/folder_grid_view.h"
#include "grid/folder_item_model.h"
#include "state/app_state.h"

#include <QAction>
#include <QDesktopServices>
#include <QDir>
#include <QDragEnterEvent>
#include <QFileInfo>
#include <QMenu>
#include <QMimeData>

#include <algorithm>

FolderGridController::FolderGridController(FolderGridView *view, FolderItemModel *model)
    : QObject(view), m_view(view), m_model(model)
{
    connect(m_model, &FolderItemModel::foldersChanged, this, &FolderGridController::foldersChanged);
}

void FolderGridController::foldersChanged()
{
    for (auto it = m_hover.begin(); it != m_hover.end();) {
        if (m_model->indexOf(it.key()) < 0)
            it = m_hover.erase(it);
        else
            ++it;
    }
    if (m_model->indexOf(m_currentId) < 0 && !m_currentId.isNull()) {
        m_currentId = QUuid();
        Q_EMIT currentChanged(-1);
    }
    if (m_model->indexOf(m_anchorId) < 0)
        m_anchorId = QUuid();
    if (m_model->indexOf(m_hoveredId) < 0)
        m_hoveredId = QUuid();
}

void FolderGridController::setCurrentIndex(int index)
{
    if (index < 0 || index >= m_model->count())
        return;
    setCurrentId(m_model->idAt(index));
    m_view->ensureIndexVisible(index);
}

void FolderGridController::setCurrentId(const QUuid &id)
{
    if (id == m_currentId)
        return;
    const QUuid previous = std::exchange(m_currentId, id);
    if (!previous.isNull())
        m_view->updateItem(previous);
    m_view->updateItem(id);
    Q_EMIT currentChanged(m_model->indexOf(id));
}

void FolderGridController::setHovered(int index)
{
    const QUuid id = index >= 0 ? m_model->idAt(index) : QUuid();
    if (id == m_hoveredId)
        return;
    const double now = AnimationClock::instance().now();
    auto retarget = [&](const QUuid &target, bool on) {
        if (target.isNull())
            return;
        const double current = hoverValue(target, now);
        m_hover.insert(target, HoverTrack{on, now, current});
        m_view->updateItem(target);
    };
    retarget(m_hoveredId, false);
    retarget(id, true);
    m_hoveredId = id;
    m_view->animateFor(Tokens::quick().settleTime());
}

void FolderGridController::setHoveredButton(bool rowButton)
{
    if (rowButton == m_hoveredRowButton)
        return;
    m_hoveredRowButton = rowButton;
    if (!m_hoveredId.isNull())
        m_view->updateItem(m_hoveredId);
}

double FolderGridController::hoverValue(const QUuid &id, double now) const
{
    const auto it = m_hover.constFind(id);
    if (it == m_hover.constEnd())
        return 0;
    const double target = it->on ? 1 : 0;
    return mix(it->from, target, Tokens::quick().progress(now - it->since));
}

bool FolderGridController::mousePress(QMouseEvent *event)
{
    m_view->setFocus(Qt::MouseFocusReason);
    if (m_focusVisible) {
        m_focusVisible = false;
        m_view->viewport()->update();
    }
    m_pressTarget = PressTarget::none;
    m_pressIndex = -1;
    if (event->button() != Qt::LeftButton)
        return false;
    const QPointF pos = event->position();
    if (m_model->isEmpty()) {
        if (m_view->emptyStateLayout().button.contains(pos))
            m_pressTarget = PressTarget::addButton;
        return true;
    }
    m_pressIndex = m_view->indexAtViewport(pos);
    if (m_pressIndex >= 0) {
        m_pressTarget = PressTarget::item;
        if (m_view->folderLayout().mode() == FolderLayout::Mode::list &&
            m_view->folderLayout().rowParts(m_view->itemRectInViewport(m_pressIndex), 0).button.contains(pos))
            m_pressTarget = PressTarget::rowButton;
    }
    if (m_view->folderLayout().mode() == FolderLayout::Mode::grid)
        m_marquee.press(pos);
    return true;
}

void FolderGridController::mouseMove(QMouseEvent *event)
{
    const QPointF pos = event->position();
    if (m_model->isEmpty()) {
        const bool over = m_view->emptyStateLayout().button.contains(pos);
        if (over != m_hoveredAddButton) {
            m_hoveredAddButton = over;
            m_view->viewport()->update();
        }
        return;
    }
    if (m_marquee.isPressed() && (event->buttons() & Qt::LeftButton)) {
        const std::optional<QRectF> before = m_marquee.selectionRect();
        const std::optional<QSet<QUuid>> selection =
            m_marquee.move(pos, event->modifiers() & Qt::ControlModifier, m_model->selection(), m_view->laidOutCardFrames());
        if (selection) {
            m_pressTarget = PressTarget::none; // a drag is never a click
            setHovered(-1);
            if (m_model->state())
                m_model->state()->setSelectedFolderIDs(*selection);
            QRectF dirty = m_marquee.selectionRect().value_or(QRectF());
            if (before)
                dirty = dirty.united(*before);
            m_view->viewport()->update(dirty.adjusted(-2, -2, 2, 2).toAlignedRect());
            return;
        }
    }
    if (!event->buttons()) {
        const int index = m_view->indexAtViewport(pos);
        setHovered(index);
        setHoveredButton(index >= 0 && m_view->folderLayout().mode() == FolderLayout::Mode::list &&
                         m_view->folderLayout().rowParts(m_view->itemRectInViewport(index), 0).button.contains(pos));
    }
}

void FolderGridController::mouseRelease(QMouseEvent *event)
{
    const QPointF pos = event->position();
    if (m_marquee.isActive()) {
        const QRectF last = m_marquee.selectionRect().value_or(QRectF());
        m_marquee.release();
        m_view->viewport()->update(last.adjusted(-2, -2, 2, 2).toAlignedRect());
    }
    m_marquee.release();
    const PressTarget target = std::exchange(m_pressTarget, PressTarget::none);
    if (event->button() != Qt::LeftButton || !m_model->state())
        return;
    switch (target) {
    case PressTarget::none:
        break;
    case PressTarget::addButton:
        if (m_view->emptyStateLayout().button.contains(pos))
            m_model->state()->showOpenPanel();
        break;
    case PressTarget::rowButton:
        if (m_view->indexAtViewport(pos) == m_pressIndex &&
            m_view->folderLayout().rowParts(m_view->itemRectInViewport(m_pressIndex), 0).button.contains(pos))
            m_model->state()->generateIcon(m_model->idAt(m_pressIndex));
        break;
    case PressTarget::item:
        if (m_view->indexAtViewport(pos) == m_pressIndex) {
            const QUuid id = m_model->idAt(m_pressIndex);
            setCurrentId(id);
            m_anchorId = id;
            m_model->state()->selectFolder(id, event->modifiers() & Qt::ControlModifier);
        }
        break;
    }
}

void FolderGridController::focusIn(QFocusEvent *event)
{
    if (event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason)
        m_focusVisible = true;
    m_view->viewport()->update();
}

void FolderGridController::pointerLeft()
{
    setHovered(-1);
    setHoveredButton(false);
    if (m_hoveredAddButton) {
        m_hoveredAddButton = false;
        m_view->viewport()->update();
    }
}

bool FolderGridController::keyPress(QKeyEvent *event)
{
    const int count = m_model->count();
    const Qt::KeyboardModifiers mods = event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier);
    if (count == 0) {
        if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter || event->key() == Qt::Key_Space) &&
            !mods && m_model->state()) {
            m_model->state()->showOpenPanel();
            return true;
        }
        return false;
    }
    const bool grid = m_view->folderLayout().mode() == FolderLayout::Mode::grid;
    const int columns = m_view->folderLayout().columns();
    const int current = m_model->indexOf(m_currentId);
    const int page = m_view->folderLayout().itemsPerPage(m_view->viewport()->height());
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
        if (current >= 0 && !(mods & Qt::ShiftModifier) && m_model->state()) {
            m_focusVisible = true;
            m_anchorId = m_currentId;
            m_model->state()->selectFolder(m_currentId, mods & Qt::ControlModifier);
            return true;
        }
        break;
    case Qt::Key_Escape:
        if (m_marquee.isPressed()) {
            m_marquee.release();
            m_pressTarget = PressTarget::none;
            m_view->viewport()->update();
            return true;
        }
        if (m_model->state() && m_model->state()->runningGenerationCount() > 0) {
            m_model->state()->stopGenerating();
            return true;
        }
        if (!m_model->selection().isEmpty() && m_model->state()) {
            m_model->state()->deselectAll();
            return true;
        }
        break;
    case Qt::Key_F10:
        if (mods == Qt::ShiftModifier && current >= 0) {
            showContextMenu(current, m_view->viewport()->mapToGlobal(m_view->itemRectInViewport(current).center().toPoint()));
            return true;
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
        return false;
    }
    if (current < 0) {
        // The first key press lands on the selection if there is one, else on the first folder.
        int first = -1;
        for (int i = 0; i < count && first < 0; ++i)
            first = m_model->selection().contains(m_model->idAt(i)) ? i : -1;
        target = first >= 0 ? first : 0;
    }
    moveCurrent(std::clamp(target, 0, count - 1), mods);
    return true;
}

void FolderGridController::moveCurrent(int target, Qt::KeyboardModifiers modifiers)
{
    const QUuid id = m_model->idAt(target);
    const int previous = m_model->indexOf(m_currentId);
    m_focusVisible = true;
    setCurrentId(id);
    m_view->ensureIndexVisible(target);
    if (!m_model->state())
        return;
    if (modifiers & Qt::ShiftModifier) {
        int anchor = m_model->indexOf(m_anchorId);
        if (anchor < 0) {
            anchor = previous >= 0 ? previous : target;
            m_anchorId = m_model->idAt(anchor);
        }
        QSet<QUuid> range = (modifiers & Qt::ControlModifier) ? m_model->selection() : QSet<QUuid>();
        for (int i = std::min(anchor, target); i <= std::max(anchor, target); ++i)
            range.insert(m_model->idAt(i));
        m_model->state()->setSelectedFolderIDs(range);
    } else if (!(modifiers & Qt::ControlModifier)) {
        // Ctrl moves the focus alone, so Ctrl+Space can pick folders here and there.
        m_anchorId = id;
        m_model->state()->setSelectedFolderIDs({id});
    }
}

bool FolderGridController::contextMenu(QContextMenuEvent *event)
{
    int index = -1;
    QPoint global = event->globalPos();
    if (event->reason() == QContextMenuEvent::Mouse) {
        index = m_view->indexAtViewport(m_view->viewport()->mapFrom(m_view, event->pos()));
    } else {
        index = m_model->indexOf(m_currentId);
        if (index >= 0)
            global = m_view->viewport()->mapToGlobal(m_view->itemRectInViewport(index).center().toPoint());
    }
    if (index < 0)
        return false;
    showContextMenu(index, global);
    return true;
}

void FolderGridController::showContextMenu(int index, const QPoint &globalPos)
{
    std::unique_ptr<QMenu> menu = createContextMenu(m_model->idAt(index));
    if (menu)
        menu->exec(globalPos);
}

std::unique_ptr<QMenu> FolderGridController::createContextMenu(const QUuid &id)
{
    const int index = m_model->indexOf(id);
    if (index < 0 || !m_model->state())
        return nullptr;
    const FolderItemPtr folder = m_model->folderPtr(index);
    const QPointer<AppState> state = m_model->state();
    auto menu = std::make_unique<QMenu>(m_view);

    menu->addAction(tr("Regenerate Icon"), this, [state, id] {
        if (state)
            state->generateIcon(id);
    });
    if (state->isGenerating(id)) {
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

std::optional<QUrl> FolderGridController::folderUrlForDrop(const QUrl &url)
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

void FolderGridController::setDropTargeted(bool targeted)
{
    if (targeted == m_dropTargeted)
        return;
    m_dropTargeted = targeted;
    const double now = AnimationClock::instance().now();
    // Reversing mid-way starts the spring from where the symbol is, not from its end.
    m_dropChangedAt = now;
    m_view->animateFor(Tokens::quick().settleTime());
    m_view->viewport()->update();
}

void FolderGridController::dragEnter(QDragEnterEvent *event)
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

void FolderGridController::dragMove(QDragMoveEvent *event) { event->acceptProposedAction(); }

void FolderGridController::dragLeave(QDragLeaveEvent *event)
{
    setDropTargeted(false);
    event->accept();
}

void FolderGridController::drop(QDropEvent *event)
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
            [state = m_model->state(), folder = *folder] {
                if (state)
                    state->addFolders({folder});
            },
            Qt::QueuedConnection);
    }
}

