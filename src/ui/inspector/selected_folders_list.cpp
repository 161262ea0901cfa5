#include "inspector/selected_folders_list.h"

#include "design/animation_clock.h"
#include "design/soft_shapes.h"
#include "design/symbols.h"
#include "design/tokens.h"
#include "inspector/busy_spinner.h"
#include "models/folder_item.h"
#include "state/app_state.h"

#include <QHelpEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QToolTip>

namespace {
constexpr int RowInsetX = 8;
constexpr int RowInsetY = 5;
constexpr int Thumb = 24;
constexpr int StatusFrame = 14;
constexpr int Gap = 8;
constexpr qreal ContainerRadius = 6;
constexpr qreal ThumbRadius = 4;
constexpr qreal StatusSize = 10;
} // namespace

SelectedFoldersList::SelectedFoldersList(AppState *state, QWidget *parent)
    : QWidget(parent)
    , m_state(state)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setFont(Tokens::monoFont(11));
    connect(m_state, &AppState::selectedThemeChanged, this, qOverload<>(&QWidget::update));
}

void SelectedFoldersList::setFolders(const QList<FolderItem *> &folders)
{
    m_folders.clear();
    m_folders.reserve(folders.size());
    for (FolderItem *folder : folders)
        m_folders.append(folder);
    setFixedHeight(sizeHint().height());
    update();
}

FolderItem *SelectedFoldersList::folderAt(int row) const
{
    return row >= 0 && row < m_folders.size() ? m_folders.at(row).data() : nullptr;
}

SelectedFoldersList::Status SelectedFoldersList::statusOf(const FolderItem &folder)
{
    switch (folder.iconState().kind()) {
    case IconState::Kind::generating:
        return Status::generating;
    case IconState::Kind::generated:
        return Status::generated;
    case IconState::Kind::applied:
        return Status::applied;
    case IconState::Kind::failed:
        return Status::failed;
    case IconState::Kind::placeholder:
        break;
    }
    return Status::placeholder;
}

std::pair<int, int> SelectedFoldersList::rowsIn(const QRect &area) const
{
    if (m_folders.isEmpty())
        return {0, -1};
    const int first = qMax(0, (area.top() - 1) / RowHeight);
    const int last = qMin(int(m_folders.size()) - 1, (area.bottom() - 1) / RowHeight);
    return {first, last};
}

void SelectedFoldersList::foldersChanged(bool anyGenerating)
{
    if (anyGenerating)
        AnimationClock::instance().animateForever(this);
    else
        AnimationClock::instance().stop(this);
    update();
}

QSize SelectedFoldersList::sizeHint() const
{
    // One pixel of frame above and below the rows.
    return {200, int(m_folders.size()) * RowHeight + 2};
}

QPixmap SelectedFoldersList::thumbnail(const FolderItem &folder, qreal dpr)
{
    const IconImage icon = folder.generatedImage();
    const qint64 key = icon.cacheKey() ^ (qint64(dpr * 100) << 56);
    if (const QPixmap *cached = m_thumbnails.object(key))
        return *cached;
    const int edge = qRound(Thumb * dpr);
    const QImage image = icon.rendition(edge);
    QImage scaled(edge, edge, QImage::Format_ARGB32_Premultiplied);
    scaled.fill(Qt::transparent);
    {
        QPainter p(&scaled);
        p.setRenderHint(QPainter::Antialiasing);
        p.setClipPath(SoftShapes::continuousRoundedRect(QRectF(0, 0, edge, edge), ThumbRadius * dpr));
        p.drawImage(QRect(0, 0, edge, edge), image.scaled(edge, edge, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    }
    auto *pixmap = new QPixmap(QPixmap::fromImage(scaled));
    pixmap->setDevicePixelRatio(dpr);
    m_thumbnails.insert(key, pixmap);
    return *pixmap;
}

void SelectedFoldersList::paintEvent(QPaintEvent *event)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF frame = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    const QPainterPath container = SoftShapes::continuousRoundedRect(frame, ContainerRadius);
    p.fillPath(container, Tokens::white(0.03));
    p.setPen(QPen(Tokens::white(0.06), 1));
    p.drawPath(container);

    const qreal dpr = devicePixelRatioF();
    const QColor accent = Tokens::accent(*m_state);
    const double now = AnimationClock::instance().now();
    const QFontMetrics fm = fontMetrics();
    const auto [first, last] = rowsIn(event->rect());
    for (int row = first; row <= last; ++row) {
        const FolderItem *folder = m_folders.at(row);
        const int top = 1 + row * RowHeight;
        if (row < m_folders.size() - 1)
            p.fillRect(QRectF(1, top + RowHeight - 1, width() - 2, 1), Tokens::white(0.06));
        if (!folder)
            continue;

        const QRectF thumb(RowInsetX, top + RowInsetY, Thumb, Thumb);
        if (!folder->generatedImage().isNull())
            p.drawPixmap(thumb.topLeft(), thumbnail(*folder, dpr));
        else
            Symbols::paint(p, thumb, sfSymbol(folder->detectedCategory()), 12, Tokens::withOpacity(accent, 0.6));

        const QRectF status(width() - RowInsetX - StatusFrame, top + (RowHeight - StatusFrame) / 2.0, StatusFrame,
                            StatusFrame);
        switch (statusOf(*folder)) {
        case Status::placeholder:
            Symbols::paint(p, status, u"circle.dashed", StatusSize, Tokens::white(0.2));
            break;
        case Status::generating:
            BusySpinner::paint(p, QRectF(status.center() - QPointF(5, 5), QSizeF(10, 10)), now, Tokens::white(0.7));
            break;
        case Status::generated:
            Symbols::paint(p, status, u"sparkles", StatusSize, Tokens::withOpacity(Tokens::yellow(), 0.7));
            break;
        case Status::applied:
            Symbols::paint(p, status, u"checkmark.circle.fill", StatusSize, Tokens::green());
            break;
        case Status::failed:
            Symbols::paint(p, status, u"exclamationmark.triangle.fill", StatusSize, Tokens::red());
            break;
        }

        const QRectF name(thumb.right() + Gap, top, status.left() - Gap - thumb.right() - Gap, RowHeight);
        p.setPen(Tokens::white(0.55));
        p.setFont(font());
        p.drawText(name, Qt::AlignLeft | Qt::AlignVCenter,
                   fm.elidedText(folder->name(), Qt::ElideMiddle, int(name.width())));
    }
}

bool SelectedFoldersList::event(QEvent *event)
{
    if (event->type() == QEvent::ToolTip) {
        // Names are cut in the middle; the whole path is a hover away.
        auto *help = static_cast<QHelpEvent *>(event);
        const FolderItem *folder = folderAt(help->pos().y() / RowHeight);
        if (folder)
            QToolTip::showText(help->globalPos(), folder->url().toLocalFile(), this);
        else
            QToolTip::hideText();
        return true;
    }
    return QWidget::event(event);
}
