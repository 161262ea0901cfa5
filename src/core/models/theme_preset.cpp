#include "models/theme_preset.h"

#include <limits>

QColor colorFromHex(QStringView hex)
{
    qsizetype begin = 0;
    qsizetype end = hex.size();
    while (begin < end && !hex.at(begin).isLetterOrNumber())
        ++begin;
    while (end > begin && !hex.at(end - 1).isLetterOrNumber())
        --end;
    const QStringView trimmed = hex.sliced(begin, end - begin);

    // Reads leading hex digits like a scanner does: stops at the first other character and
    // saturates instead of wrapping when the number does not fit.
    quint64 value = 0;
    for (QChar ch : trimmed) {
        const int digit = ch.unicode() < 128 ? QChar::fromLatin1(char(ch.unicode())).digitValue() : -1;
        int nibble = -1;
        if (digit >= 0)
            nibble = digit;
        else if (ch >= u'a' && ch <= u'f')
            nibble = ch.unicode() - u'a' + 10;
        else if (ch >= u'A' && ch <= u'F')
            nibble = ch.unicode() - u'A' + 10;
        if (nibble < 0)
            break;
        if (value > (std::numeric_limits<quint64>::max() >> 4)) {
            value = std::numeric_limits<quint64>::max();
            break;
        }
        value = (value << 4) | quint64(nibble);
    }

    const quint32 v = quint32(value & 0xffffffffu);
    switch (trimmed.size()) {
    case 8:
        return QColor::fromRgb((v >> 16) & 0xff, (v >> 8) & 0xff, v & 0xff, (v >> 24) & 0xff);
    case 6:
        return QColor::fromRgb((v >> 16) & 0xff, (v >> 8) & 0xff, v & 0xff, 255);
    default:
        return QColor::fromRgb(0, 0, 0, 255);
    }
}

namespace {

const char *const ThemeCategoryLabels[] = {
    "Retro & Pixel", "Neon & Cyber", "Minimal & Clean", "Glass & Blur", "Nature & Organic",
    "Luxury & Premium", "Movie & Cinematic", "3D & Skeuomorphic", "Art & Illustration", "Pop Culture",
};
const char *const IconStyleNames[] = {"glass", "pixel", "line", "neon", "organic", "luxury"};

QColor hex(const char *text) { return colorFromHex(QString::fromLatin1(text)); }

QColor withOpacity(QColor color, qreal opacity)
{
    color.setAlphaF(float(color.alphaF() * opacity));
    return color;
}

QColor white(qreal opacity) { return withOpacity(QColor(Qt::white), opacity); }
QColor black(qreal opacity) { return withOpacity(QColor(Qt::black), opacity); }
QColor hex(const char *text, qreal opacity) { return withOpacity(hex(text), opacity); }

ThemePreset preset(const char *id, const char *name, ThemeCategory category, IconStyle style,
                   const char *stylePrompt, std::initializer_list<const char *> colors,
                   std::initializer_list<const char *> background, QColor cardBg, QColor cardBorder,
                   const char *text, const char *accent)
{
    ThemePreset p;
    p.id = QString::fromLatin1(id);
    p.displayName = QString::fromUtf8(name);
    p.category = category;
    p.iconStyle = style;
    p.stylePrompt = QString::fromUtf8(stylePrompt);
    for (const char *c : colors)
        p.palette.colors.append(hex(c));
    for (const char *c : background)
        p.palette.background.append(hex(c));
    p.palette.cardBg = cardBg;
    p.palette.cardBorder = cardBorder;
    p.palette.text = hex(text);
    p.palette.accent = hex(accent);
    return p;
}

using C = ThemeCategory;
using S = IconStyle;

QList<ThemePreset> buildCatalogue()
{
    return {
        preset("retro-pixel", "Retro Pixel", C::retro, S::pixel,
               "pixel art, 8-bit style, crisp edges, nostalgic palette, NES era",
               {"f472b6", "fb923c", "facc15", "34d399"}, {"1a1a2e", "16213e", "0f3460"}, white(0.05), white(0.1),
               "e0e0e0", "f472b6"),
        preset("neon-cyber", "Neon Cyber", C::neon, S::neon,
               "neon glow, cyberpunk, dark background, electric colors, holographic",
               {"06b6d4", "8b5cf6", "ec4899", "10b981"}, {"020617", "0c0a1a", "030712"}, hex("06b6d4", 0.05),
               hex("06b6d4", 0.15), "e0f2fe", "06b6d4"),
        preset("matrix-rain", "Matrix", C::neon, S::neon,
               "The Matrix movie style, green digital rain, code cascade, dark hacker terminal, phosphor green on "
               "black, digital dissolution",
               {"00ff41", "00cc33", "008f11", "003b00"}, {"000800", "001100", "000500"}, hex("00ff41", 0.04),
               hex("00ff41", 0.1), "00ff41", "00ff41"),
        preset("minimal-line", "Minimal Line", C::minimal, S::line,
               "single line art, monochrome, geometric, clean strokes", {"f5f5f4", "a8a29e", "78716c", "57534e"},
               {"fafaf9", "f5f5f4", "e7e5e4"}, black(0.03), black(0.08), "292524", "57534e"),
        preset("glassmorphic", "Glassmorphic", C::glass, S::glass,
               "frosted glass, translucent layers, soft blur, iridescent highlights",
               {"a78bfa", "6366f1", "818cf8", "c4b5fd"}, {"0f0a1e", "1a1035", "0d0b1a"}, white(0.06), white(0.12),
               "e2e0f0", "a78bfa"),
        preset("luxury-gold", "Luxury Gold", C::luxury, S::luxury,
               "gold foil, luxury, dark marble, sophisticated, Art Deco accents",
               {"fbbf24", "f59e0b", "d97706", "92400e"}, {"1c1917", "292524", "1c1917"}, hex("fbbf24", 0.04),
               hex("fbbf24", 0.15), "fef3c7", "fbbf24"),
        preset("macos-aqua", "macOS Aqua", C::threedee, S::glass,
               "macOS Aqua era, glossy 3D buttons, gel-like transparency, water droplet reflections, pinstripe "
               "texture, 2003 Apple aesthetic",
               {"42a5f5", "1e88e5", "90caf9", "bbdefb"}, {"0a1525", "102030", "060e18"}, hex("42a5f5", 0.06),
               hex("42a5f5", 0.15), "e3f2fd", "42a5f5"),
        preset("stained-glass", "Stained Glass", C::art, S::line,
               "cathedral stained glass window, jewel-tone colored glass, black lead caming lines, light shining "
               "through, gothic rose window",
               {"e53935", "1e88e5", "fdd835", "43a047"}, {"0a0808", "141010", "060404"}, white(0.04), white(0.08),
               "f5f5f5", "fdd835"),
    };
}

} // namespace

const std::array<ThemeCategory, 10> &allThemeCategories()
{
    static const std::array<ThemeCategory, 10> all{C::retro, C::neon,  C::minimal,  C::glass, C::nature,
                                                    C::luxury, C::movie, C::threedee, C::art,   C::pop};
    return all;
}

QString rawValue(ThemeCategory category)
{
    return QString::fromUtf8(ThemeCategoryLabels[static_cast<int>(category)]);
}

std::optional<ThemeCategory> themeCategoryFromRawValue(QStringView raw)
{
    for (ThemeCategory category : allThemeCategories()) {
        if (raw == rawValue(category))
            return category;
    }
    return std::nullopt;
}

const std::array<IconStyle, 6> &allIconStyles()
{
    static const std::array<IconStyle, 6> all{S::glass, S::pixel, S::line, S::neon, S::organic, S::luxury};
    return all;
}

QString rawValue(IconStyle style) { return QString::fromLatin1(IconStyleNames[static_cast<int>(style)]); }

std::optional<IconStyle> iconStyleFromRawValue(QStringView raw)
{
    for (IconStyle style : allIconStyles()) {
        if (raw == rawValue(style))
            return style;
    }
    return std::nullopt;
}

const QList<ThemePreset> &ThemePreset::allThemes()
{
    static const QList<ThemePreset> catalogue = buildCatalogue();
    return catalogue;
}

const ThemePreset &ThemePreset::defaultTheme()
{
    static const ThemePreset first = allThemes().constFirst();
    return first;
}
