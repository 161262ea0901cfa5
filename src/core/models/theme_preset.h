#pragma once

#include <QColor>
#include <QHashFunctions>
#include <QList>
#include <QString>
#include <QStringView>

#include <array>
#include <optional>

/// Colour from a hex string: "#f472b6", "f472b6" (opaque) or "80ff0000" (alpha first);
/// anything else is opaque black.
QColor colorFromHex(QStringView hex);

/// @brief The grouping of theme presets, in display order.
enum class ThemeCategory : quint8 { retro, neon, minimal, glass, nature, luxury, movie, threedee, art, pop };

const std::array<ThemeCategory, 10> &allThemeCategories();
QString rawValue(ThemeCategory category); ///< the display label, "Retro & Pixel"; also the id
std::optional<ThemeCategory> themeCategoryFromRawValue(QStringView raw);

/// @brief The broad rendering family of a preset.
enum class IconStyle : quint8 { glass, pixel, line, neon, organic, luxury };

const std::array<IconStyle, 6> &allIconStyles();
QString rawValue(IconStyle style); ///< the case name, "glass"
std::optional<IconStyle> iconStyleFromRawValue(QStringView raw);

inline size_t qHash(IconStyle style, size_t seed = 0) noexcept { return qHash(rawValue(style), seed); }

/// @brief The interface colours of a preset.
struct ThemeColorPalette
{
    QList<QColor> colors;     ///< 4 signature colours, the most characteristic first
    QList<QColor> background; ///< 3 background tones
    QColor cardBg;            ///< card fill, low opacity
    QColor cardBorder;        ///< card stroke, low opacity
    QColor text;
    QColor accent;

    friend bool operator==(const ThemeColorPalette &, const ThemeColorPalette &) = default;
};

/// @brief A named visual direction: a style description for the prompt and a palette for the interface.
///
/// Presets are equal and hash alike when their ids are equal, whatever their other fields.
struct ThemePreset
{
    QString id;
    QString displayName;
    ThemeCategory category = ThemeCategory::retro;
    QString stylePrompt;
    ThemeColorPalette palette;
    IconStyle iconStyle = IconStyle::pixel;

    /// The catalogue, in order; built once, read-only, safe to read from any thread.
    static const QList<ThemePreset> &allThemes();
    /// The first entry of the catalogue ("retro-pixel").
    static const ThemePreset &defaultTheme();

    friend bool operator==(const ThemePreset &a, const ThemePreset &b) { return a.id == b.id; }
};

inline size_t qHash(const ThemePreset &preset, size_t seed = 0) noexcept { return qHash(preset.id, seed); }
