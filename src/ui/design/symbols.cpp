#include "design/symbols.h"

#include "design/tokens.h"

#include <QColor>
#include <QPainter>
#include <QRectF>

#include <algorithm>
#include <iterator>

namespace {
struct SymbolEntry
{
    QStringView name;     // the symbol name the views use
    QStringView material; // the Material Icons name of the glyph drawn for it
    char32_t codepoint;
};

// Sorted by nothing in particular: grouped by where the window uses them. Codepoints are those of
// the Material Icons font bundled with the app (its codepoints list).
constexpr SymbolEntry Table[] = {
    // Folder categories.
    {u"chevron.left.forwardslash.chevron.right", u"code", 0xe86f},
    {u"music.note", u"music_note", 0xe405},
    {u"photo.on.rectangle", u"photo_library", 0xe413},
    {u"doc.text", u"description", 0xe873},
    {u"dollarsign.circle", u"monetization_on", 0xe263},
    {u"paintpalette", u"palette", 0xe40a},
    {u"film", u"movie", 0xe02c},
    {u"gamecontroller", u"sports_esports", 0xea28},
    {u"airplane", u"flight", 0xe539},
    {u"graduationcap", u"school", 0xe80c},
    {u"arrow.down.circle", u"arrow_circle_down", 0xf181},
    {u"person.circle", u"account_circle", 0xe853},
    // Toolbar and empty state.
    {u"plus", u"add", 0xe145},
    {u"square.grid.2x2", u"grid_view", 0xe9b0},
    {u"list.bullet", u"format_list_bulleted", 0xe241},
    {u"arrow.clockwise", u"refresh", 0xe5d5},
    {u"sidebar.trailing", u"view_sidebar", 0xf114},
    {u"folder.badge.plus", u"create_new_folder", 0xe2cc},
    {u"stop.fill", u"stop", 0xe047},
    // Status badges, row labels and toasts.
    {u"sparkles", u"auto_awesome", 0xe65f},
    {u"checkmark.circle.fill", u"check_circle", 0xe86c},
    {u"exclamationmark.triangle.fill", u"warning", 0xe002},
    {u"exclamationmark.triangle", u"warning_amber", 0xf083},
    {u"exclamationmark.circle.fill", u"error", 0xe000},
    {u"info.circle.fill", u"info", 0xe88e},
    {u"circle.dotted", u"motion_photos_on", 0xe9c1},
    {u"circle.dashed", u"radio_button_unchecked", 0xe836},
    {u"circle.fill", u"circle", 0xef4a},
    {u"checkmark.seal.fill", u"verified", 0xef76},
    // Inspectors.
    {u"xmark", u"close", 0xe5cd},
    {u"chevron.down", u"expand_more", 0xe5cf},
    {u"chevron.right", u"chevron_right", 0xe5cc},
    {u"key.fill", u"vpn_key", 0xe0da},
    {u"arrow.uturn.backward", u"undo", 0xe166},
    {u"trash", u"delete", 0xe872},
    {u"hare.fill", u"directions_run", 0xe566},
    {u"tortoise.fill", u"directions_walk", 0xe536},
    // Onboarding and splash.
    {u"folder.fill.badge.gearshape", u"folder_special", 0xe617},
    {u"folder.fill", u"folder", 0xe2c7},
};

// "help_outline": a question mark in a ring, so a missing table entry shows up in the window.
constexpr char32_t FallbackCodepoint = 0xe8fd;

const SymbolEntry *lookup(QStringView name)
{
    const auto it = std::find_if(std::begin(Table), std::end(Table),
                                 [name](const SymbolEntry &e) { return e.name == name; });
    return it == std::end(Table) ? nullptr : it;
}

QString textFor(char32_t codepoint)
{
    return QString::fromUcs4(&codepoint, 1);
}
} // namespace

namespace Symbols {

QString glyph(QStringView symbolName)
{
    const SymbolEntry *entry = lookup(symbolName);
    return textFor(entry ? entry->codepoint : FallbackCodepoint);
}

bool contains(QStringView symbolName)
{
    return lookup(symbolName) != nullptr;
}

QFont font(qreal pixelSize)
{
    Tokens::registerFonts();
    QFont f(QStringLiteral("Material Icons"));
    f.setPixelSize(std::max(1, qRound(pixelSize)));
    f.setHintingPreference(QFont::PreferNoHinting);
    // Glyphs come from this font only; falling back to another font would draw a wrong box.
    f.setStyleStrategy(QFont::StyleStrategy(QFont::NoFontMerging | QFont::PreferAntialias));
    return f;
}

void paint(QPainter &p, const QRectF &rect, QStringView symbolName, qreal pixelSize, const QColor &colour)
{
    p.save();
    p.setFont(font(pixelSize));
    p.setPen(colour);
    p.drawText(rect, Qt::AlignCenter, glyph(symbolName));
    p.restore();
}

QList<QString> allNames()
{
    QList<QString> names;
    names.reserve(int(std::size(Table)));
    for (const SymbolEntry &e : Table)
        names.append(e.name.toString());
    return names;
}

QString materialName(QStringView symbolName)
{
    const SymbolEntry *entry = lookup(symbolName);
    return entry ? entry->material.toString() : QStringLiteral("help_outline");
}

} // namespace Symbols
