#include "grid/folder_painter.h"

#include "design/generating_overlay.h"
#include "design/pixel_blit.h"
#include "design/placeholder_renderer.h"
#include "design/soft_shapes.h"
#include "design/spring.h"
#include "design/symbols.h"
#include "design/tokens.h"
#include "grid/folder_item_model.h"
#include "grid/thumbnail_cache.h"
#include "state/app_state.h"

#include <QCoreApplication>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QTextLayout>

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

FolderPainter::FolderPainter(const AppState *state, ThumbnailCache &thumbnails)
    : m_state(state), m_thumbnails(thumbnails)
{
    for (SemanticCategory category : allSemanticCategories()) {
        QStaticText &text = m_categoryTexts[int(category)];
        text.setText(displayName(category));
        text.setTextFormat(Qt::PlainText);
        text.prepare(QTransform(), Tokens::monoSmallFont());
    }
}

double FolderPainter::badgeSettleTime() { return BadgeSpring.settleTime(); }

QColor FolderPainter::accent() const { return m_state ? Tokens::accent(*m_state) : QColor(Qt::white); }

FolderLayout::TextMetrics FolderPainter::textMetrics()
{
    FolderLayout::TextMetrics metrics;
    metrics.nameLine = std::ceil(QFontMetricsF(nameFont()).lineSpacing());
    metrics.categoryLine = std::ceil(QFontMetricsF(Tokens::monoSmallFont()).lineSpacing());
    return metrics;
}



FolderPainter::Badge FolderPainter::badgeFor(const IconState &state)
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

QString FolderPainter::badgeToolTip(const IconState &state)
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


const FolderPainter::ItemText &FolderPainter::itemText(const FolderItem &folder, FolderLayout::Mode mode, qreal width)
{
    ItemText &text = m_texts[folder.id()];
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
        text.details.setText(tr("%n files", nullptr, int(folder.fileCount())) + QStringLiteral(" · ") +
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


void FolderPainter::paintPlaceholder(QPainter &p, const QRectF &square, SemanticCategory category, qreal dpr)
{
    // On a whole device pixel, like the thumbnail that replaces it.
    PixelBlit::draw(p, square.topLeft(),
                    PlaceholderRenderer::pixmap(category, m_state->selectedTheme(), square.width(), dpr));
}

void FolderPainter::paintFocusRing(QPainter &p, const QRectF &rect, qreal radius)
{
    if (!m_state)
        return;
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(withAlpha(Tokens::accent(*m_state), 0.9), 2));
    p.drawPath(SoftShapes::continuousRoundedRect(rect.adjusted(-3, -3, 3, 3), radius + 3));
}

void FolderPainter::paintBadge(QPainter &p, const QRectF &rect, Badge badge, qreal scale, qreal opacity)
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
        PixelBlit::draw(p, target.topLeft(), pixmap);
    } else {
        p.translate(rect.center());
        p.scale(scale, scale);
        p.translate(-rect.center());
        p.drawPixmap(target, pixmap, QRectF(QPointF(0, 0), QSizeF(pixmap.size())));
    }
    p.restore();
}

void FolderPainter::paintCard(QPainter &p, const FolderLayout &layout, const FolderItem &folder,
                              const QRectF &card, const ItemLook &look, double now)
{
    const QUuid id = folder.id();
    const double appeared = look.appeared;
    const double opacity = std::clamp(appeared, 0.0, 1.0);
    if (opacity <= 0.0)
        return;
    const double selected = std::clamp(look.selected, 0.0, 1.0);
    const double hover = look.hover;
    const QColor accent = this->accent();
    const qreal dpr = p.device() ? p.device()->devicePixelRatioF() : 1.0;

    p.save();
    p.setOpacity(opacity);
    const qreal scale = 1.0 + HoverScale * hover;
    p.translate(card.center() + QPointF(0, AppearOffset * (1.0 - appeared)));
    if (scale != 1.0)
        p.scale(scale, scale);
    p.translate(-card.center());

    // Selecting cross-fades the resting chrome into the selected one.
    if (selected < 1.0) {
        p.setOpacity(opacity * (1.0 - selected));
        m_chrome.draw(p, card, {CardRadius, white(0.03), white(0.06), 1});
        if (hover > 0) {
            // The hovered outline (12 %) is the resting one with this much more laid over it.
            p.setOpacity(opacity * (1.0 - selected) * std::min(1.0, hover));
            m_chrome.draw(p, card, {CardRadius, Qt::transparent, white(1 - 0.88 / 0.94), 1});
        }
        p.setOpacity(opacity);
    }
    if (selected > 0.0) {
        p.setOpacity(opacity * selected);
        m_chrome.draw(p, card.translated(0, 4),
                      {CardRadius, withAlpha(accent, 0.08), withAlpha(accent, 0.5), 1.5, 12, withAlpha(accent, 0.2)});
        m_chrome.draw(p, card, {CardRadius, withAlpha(accent, 0.08), withAlpha(accent, 0.5), 1.5});
        p.setOpacity(opacity);
    }

    const FolderLayout::CardParts parts = layout.cardParts(card);
    const IconState state = folder.iconState();
    if (state.is(IconState::Kind::generating)) {
        GeneratingOverlay::paint(p, parts.icon, look.generatingFor);
    } else {
        // Until the thumbnail is made the placeholder holds the slot, never an empty square.
        QPixmap thumb;
        if (const IconImage image = folder.generatedImage(); !image.isNull())
            thumb = m_thumbnails.thumbnail(id, ThumbnailCache::Kind::card,
                                           renditionFor(image, ThumbnailCache::Kind::card, dpr), dpr);
        if (!thumb.isNull()) {
            const QSizeF size = QSizeF(thumb.size()) / thumb.devicePixelRatio();
            PixelBlit::draw(p, parts.icon.center() - QPointF(size.width() / 2, size.height() / 2), thumb);
        } else if (m_state) {
            paintPlaceholder(p, parts.icon, folder.detectedCategory(), dpr);
        }
    }

    // The badge springs in (and out) when the state changes; otherwise it simply shows.
    const BadgeTrack *track = look.badge;
    const Badge badge = badgeFor(state);
    if (!track || track->shown != badge) {
        paintBadge(p, parts.badge, badge, 1.0, 1.0);
    } else {
        const double t = BadgeSpring.progress(now - track->since);
        paintBadge(p, parts.badge, track->shown, std::max(0.001, t), t);
        if (t < 1.0)
            paintBadge(p, parts.badge, track->leaving, std::max(0.001, 1.0 - t), 1.0 - t);
    }

    const ItemText &text = itemText(folder, FolderLayout::Mode::grid, parts.name.width());
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

    if (look.focusRing)
        paintFocusRing(p, card, CardRadius);
    p.restore();
}

void FolderPainter::paintSpinner(QPainter &p, const QRectF &rect, double now)
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

void FolderPainter::paintRow(QPainter &p, const FolderLayout &layout, const FolderItem &folder,
                             const QRectF &row, const ItemLook &look, double now)
{
    const QUuid id = folder.id();
    const QColor accent = this->accent();
    const double hover = look.hover;
    const qreal dpr = p.device() ? p.device()->devicePixelRatioF() : 1.0;

    if (look.selected > 0) {
        p.save();
        p.setOpacity(std::min(1.0, look.selected));
        m_chrome.draw(p, row, {RowRadius, withAlpha(accent, 0.10)});
        p.restore();
    }
    if (hover > 0) {
        p.save();
        p.setOpacity(std::clamp(hover, 0.0, 1.0));
        m_chrome.draw(p, row, {RowRadius, white(0.03)});
        p.restore();
    }

    // The status label: symbol and word, measured to place everything left of it.
    const IconState state = folder.iconState();
    const QString word = FolderItemModel::statusWord(state.kind());
    QString symbol;
    QColor colour;
    switch (state.kind()) {
    case IconState::Kind::placeholder:
        break;
    case IconState::Kind::generating:
        symbol = QStringLiteral("circle.dotted"), colour = Tokens::orange();
        break;
    case IconState::Kind::generated:
        symbol = QStringLiteral("circle.fill"), colour = accent;
        break;
    case IconState::Kind::applied:
        symbol = QStringLiteral("checkmark.circle.fill"), colour = Tokens::green();
        break;
    case IconState::Kind::failed:
        symbol = QStringLiteral("exclamationmark.circle.fill"), colour = Tokens::red();
        break;
    }
    const QFont mono = Tokens::monoSmallFont();
    const qreal symbolSize = 11;
    const qreal labelGap = 4;
    const qreal statusWidth =
        word.isEmpty() ? 0 : symbolSize + labelGap + QFontMetricsF(mono).horizontalAdvance(word);
    const FolderLayout::RowParts parts = layout.rowParts(row, statusWidth);

    const IconImage image = folder.generatedImage();
    QPixmap thumb;
    if (!image.isNull())
        thumb = m_thumbnails.thumbnail(id, ThumbnailCache::Kind::row,
                                       renditionFor(image, ThumbnailCache::Kind::row, dpr), dpr);
    if (!thumb.isNull()) {
        PixelBlit::draw(p, parts.icon.topLeft(), thumb);
    } else if (state.is(IconState::Kind::generating)) {
        paintSpinner(p, parts.icon, now);
    } else if (m_state) {
        paintPlaceholder(p, parts.icon, folder.detectedCategory(), dpr);
    }

    const ItemText &text = itemText(folder, FolderLayout::Mode::list, parts.name.width());
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
    const bool rowHovered = look.rowHovered;
    p.save();
    p.setOpacity(rowHovered ? 1.0 : 0.5);
    Symbols::paint(p, parts.button, QStringLiteral("arrow.clockwise"), 12, accent);
    if (rowHovered && look.rowButtonHovered) {
        p.setOpacity(1.0);
        p.setPen(Qt::NoPen);
        p.setBrush(withAlpha(accent, 0.12));
        p.drawEllipse(parts.button);
    }
    p.restore();

    if (look.focusRing)
        paintFocusRing(p, row, RowRadius);
}

FolderPainter::EmptyStateLayout FolderPainter::emptyStateLayout(const QRectF &viewport)
{
    EmptyStateLayout layout;
    const QRectF area = viewport.adjusted(EmptyOuterMargin, EmptyOuterMargin, -EmptyOuterMargin,
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

void FolderPainter::paintEmptyState(QPainter &p, const QRectF &viewport, const EmptyLook &look, double now)
{
    const QColor accent = this->accent();
    const EmptyStateLayout layout = emptyStateLayout(viewport);

    QPen dashed(look.dropTargeted ? accent : white(0.06), 2);
    dashed.setDashPattern({10.0 / 2, 6.0 / 2}); // dash lengths count in pen widths
    p.setBrush(Qt::NoBrush);
    p.setPen(dashed);
    p.drawPath(SoftShapes::continuousRoundedRect(layout.border, 24));

    const double shownAt = look.shownAt < 0 ? now : look.shownAt;
    p.setPen(QPen(withAlpha(accent, 0.12), 1));
    for (int i = 0; i < 3; ++i) {
        const qreal scale = 1.0 + 0.05 * pulse(now, shownAt, 2.0, 0.3 * i);
        const qreal radius = (100 + 40 * i) / 2.0 * scale;
        p.drawEllipse(layout.ringsCentre, radius, radius);
    }
    const double targeted = Tokens::quick().progress(now - look.dropChangedAt);
    const double t = look.dropTargeted ? targeted : 1.0 - targeted;
    const qreal symbolScale = 1.0 + 0.15 * t;
    QColor symbolColour = look.dropTargeted ? accent : white(0.25);
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
    p.setBrush(look.addButtonHovered ? accent.lighter(110) : accent);
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
    if (look.focusRing)
        paintFocusRing(p, layout.button, 10);
}
