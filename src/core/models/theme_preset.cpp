#include "models/theme_preset.h"

#include <QTextBoundaryFinder>

#include <limits>

QColor colorFromHex(QStringView hex)
{
    // Letters, marks and digits stay; everything else is trimmed from both ends, a whole code
    // point at a time (so a letter outside the BMP is not split into surrogates).
    const auto keeps = [](char32_t cp) { return QChar::isLetterOrNumber(cp) || QChar::isMark(cp); };
    const QList<uint> points = hex.toUcs4();
    qsizetype begin = 0;
    qsizetype end = points.size();
    while (begin < end && !keeps(points.at(begin)))
        ++begin;
    while (end > begin && !keeps(points.at(end - 1)))
        --end;
    const QString trimmedText = QString::fromUcs4(reinterpret_cast<const char32_t *>(points.constData()) + begin, end - begin);
    const QStringView trimmed(trimmedText);

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

    // The length that decides the layout counts user-perceived characters, so "e" followed by a
    // combining accent is one character.
    qsizetype characters = 0;
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, trimmedText);
    while (graphemes.toNextBoundary() > 0)
        ++characters;

    const quint32 v = quint32(value & 0xffffffffu);
    switch (characters) {
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

// The catalogue in display order; the first entry is the default theme. Dark presets pair light
// text with three near-black tones tinted towards their signature colour; the light presets
// (minimal-line, scandinavian, paper-craft) reverse that.
QList<ThemePreset> buildCatalogue()
{
    return {
        // Retro & Pixel
        preset("retro-pixel", "Retro Pixel", C::retro, S::pixel,
               "pixel art, 8-bit style, crisp edges, nostalgic palette, NES era",
               {"f472b6", "fb923c", "facc15", "34d399"}, {"1a1a2e", "16213e", "0f3460"}, white(0.05), white(0.1),
               "e0e0e0", "f472b6"),
        preset("mario-world", "90s Mario", C::retro, S::pixel,
               "Super Mario World style, 16-bit SNES sprites, bright primary colors, platformer game icons, coin "
               "blocks, mushrooms, pixel-perfect",
               {"e52521", "fbd000", "049cd8", "43b047"}, {"0d1b3e", "13254f", "0a1530"}, white(0.05),
               hex("fbd000", 0.12), "fdf6e3", "e52521"),
        preset("gameboy-green", "Game Boy", C::retro, S::pixel,
               "Game Boy DMG style, four-shade green palette, 2-bit pixel art, dot-matrix LCD screen, chunky sprites",
               {"9bbc0f", "8bac0f", "306230", "0f380f"}, {"0b1f0b", "0f2a10", "071507"}, hex("9bbc0f", 0.04),
               hex("9bbc0f", 0.12), "d4e8a0", "9bbc0f"),
        preset("arcade-cabinet", "Arcade Cabinet", C::retro, S::pixel,
               "80s arcade cabinet style, CRT scanlines, bright neon on black, Pac-Man era, vector graphics, coin-op "
               "aesthetic",
               {"ffeb3b", "ff1744", "00e5ff", "ff80ab"}, {"05050a", "0a0a14", "020205"}, hex("ffeb3b", 0.04),
               hex("ffeb3b", 0.12), "fff9c4", "ffeb3b"),
        preset("vaporwave", "Vaporwave", C::retro, S::neon,
               "vaporwave aesthetic, pastel pink and teal gradients, Greek marble statues, retro 90s computer "
               "graphics, palm trees, sunset grid",
               {"ff71ce", "01cdfe", "05ffa1", "b967ff"}, {"1a0b2e", "240e3f", "12081f"}, hex("ff71ce", 0.05),
               hex("01cdfe", 0.12), "fde7f6", "ff71ce"),

        // Neon & Cyber
        preset("neon-cyber", "Neon Cyber", C::neon, S::neon,
               "neon glow, cyberpunk, dark background, electric colors, holographic",
               {"06b6d4", "8b5cf6", "ec4899", "10b981"}, {"020617", "0c0a1a", "030712"}, hex("06b6d4", 0.05),
               hex("06b6d4", 0.15), "e0f2fe", "06b6d4"),
        preset("matrix-rain", "Matrix", C::neon, S::neon,
               "The Matrix movie style, green digital rain, code cascade, dark hacker terminal, phosphor green on "
               "black, digital dissolution",
               {"00ff41", "00cc33", "008f11", "003b00"}, {"000800", "001100", "000500"}, hex("00ff41", 0.04),
               hex("00ff41", 0.1), "00ff41", "00ff41"),
        preset("synthwave", "Synthwave", C::neon, S::neon,
               "synthwave, retro 80s sunset, neon grid horizon, chrome lettering, magenta and orange glow, outrun",
               {"ff2a6d", "ff6c11", "f9c80e", "8c1eff"}, {"1a0933", "241046", "0f0520"}, hex("ff2a6d", 0.05),
               hex("ff2a6d", 0.14), "fde2f3", "ff2a6d"),
        preset("tron-legacy", "Tron Legacy", C::neon, S::neon,
               "Tron Legacy style, glowing cyan light lines, black glossy surfaces, digital grid, light cycle trails",
               {"00d9ff", "6fc3df", "ff9e1b", "e6ffff"}, {"00080d", "021017", "000507"}, hex("00d9ff", 0.04),
               hex("00d9ff", 0.15), "d9f7ff", "00d9ff"),
        preset("holographic", "Holographic", C::neon, S::neon,
               "holographic foil, iridescent rainbow sheen, chrome reflections, prismatic light, futuristic gloss",
               {"c084fc", "67e8f9", "f9a8d4", "a7f3d0"}, {"0e0b1f", "15122b", "0a0816"}, white(0.06), white(0.14),
               "f0eaff", "c084fc"),

        // Minimal & Clean
        preset("minimal-line", "Minimal Line", C::minimal, S::line,
               "single line art, monochrome, geometric, clean strokes", {"f5f5f4", "a8a29e", "78716c", "57534e"},
               {"fafaf9", "f5f5f4", "e7e5e4"}, black(0.03), black(0.08), "292524", "57534e"),
        preset("scandinavian", "Scandinavian", C::minimal, S::line,
               "Scandinavian design, soft muted tones, natural light wood, clean simple shapes, hygge, matte finish",
               {"5f8374", "c8b6a6", "d9a48f", "3f4a54"}, {"f7f4ef", "efeae2", "e6dfd4"}, black(0.03), black(0.08),
               "2b2a28", "5f8374"),
        preset("japanese-ink", "Japanese Ink", C::minimal, S::line,
               "sumi-e ink wash painting, Japanese calligraphy, zen minimalism, wabi-sabi, single brushstroke, rice "
               "paper texture",
               {"c8343a", "e8e2d4", "8a8580", "3d3b38"}, {"121110", "1a1917", "0d0c0b"}, white(0.03), white(0.1),
               "ece7dc", "c8343a"),
        preset("bauhaus", "Bauhaus", C::minimal, S::line,
               "Bauhaus design, primary red yellow and blue, bold geometric shapes, circles and triangles, flat "
               "modernist composition",
               {"e53d2f", "f4c20d", "2f6fd0", "f2ede4"}, {"141414", "1c1c1c", "0f0f0f"}, white(0.04), white(0.1),
               "f2ede4", "e53d2f"),
        preset("blueprint", "Blueprint", C::minimal, S::line,
               "architectural blueprint, white technical lines on blue, grid paper, precise drafting, measurement "
               "annotations",
               {"4fc3f7", "e3f2fd", "1565c0", "90caf9"}, {"0a1f3d", "0d2850", "071730"}, hex("4fc3f7", 0.04),
               hex("e3f2fd", 0.12), "e3f2fd", "4fc3f7"),

        // Glass & Blur
        preset("glassmorphic", "Glassmorphic", C::glass, S::glass,
               "frosted glass, translucent layers, soft blur, iridescent highlights",
               {"a78bfa", "6366f1", "818cf8", "c4b5fd"}, {"0f0a1e", "1a1035", "0d0b1a"}, white(0.06), white(0.12),
               "e2e0f0", "a78bfa"),
        preset("aurora-glass", "Aurora Glass", C::glass, S::glass,
               "aurora borealis, frosted glass panels, flowing green and violet light, soft glow, translucent layers",
               {"34d399", "22d3ee", "a78bfa", "f472b6"}, {"05121a", "0a1a26", "040d14"}, white(0.05), white(0.12),
               "e0f7f4", "34d399"),
        preset("frosted-rose", "Frosted Rose", C::glass, S::glass,
               "frosted glass, soft rose pink tint, translucent petals, gentle blur, pearl highlights",
               {"fb7185", "fda4af", "f9a8d4", "fecdd3"}, {"1f0d14", "2a1019", "16090f"}, white(0.06),
               hex("fb7185", 0.12), "ffe4e9", "fb7185"),
        preset("crystal-ice", "Crystal Ice", C::glass, S::glass,
               "crystal ice, clear faceted glass, cold blue refractions, frost patterns, sparkling highlights",
               {"7dd3fc", "bae6fd", "38bdf8", "e0f2fe"}, {"07141f", "0b1c2b", "050e17"}, white(0.05),
               hex("7dd3fc", 0.14), "e8f6ff", "7dd3fc"),
        preset("smoke-glass", "Smoke Glass", C::glass, S::glass,
               "smoked glass, dark tinted translucency, soft grey haze, subtle reflections, minimal glow",
               {"94a3b8", "cbd5e1", "64748b", "e2e8f0"}, {"0b0d10", "12151a", "08090b"}, white(0.04), white(0.1),
               "e2e8f0", "94a3b8"),

        // Nature & Organic
        preset("organic-nature", "Organic Nature", C::nature, S::organic,
               "watercolor, botanical, earthy tones, hand-drawn, organic shapes",
               {"8fbf6a", "d4b483", "b5654a", "5e7c4f"}, {"10170f", "172116", "0b110a"}, hex("8fbf6a", 0.04),
               hex("8fbf6a", 0.12), "e8f0dc", "8fbf6a"),
        preset("ocean-deep", "Deep Ocean", C::nature, S::organic,
               "deep ocean, bioluminescent glow, flowing water, coral and kelp, abyssal blue gradients",
               {"0ea5e9", "14b8a6", "22d3ee", "1e40af"}, {"020b18", "041428", "01060f"}, hex("0ea5e9", 0.05),
               hex("0ea5e9", 0.12), "dbf1fd", "0ea5e9"),
        preset("autumn-forest", "Autumn Forest", C::nature, S::organic,
               "autumn forest, falling maple leaves, warm amber and rust, misty woodland, watercolor texture",
               {"ea580c", "f59e0b", "b91c1c", "78350f"}, {"1a0f08", "24150b", "120a05"}, hex("ea580c", 0.04),
               hex("ea580c", 0.12), "fdecd8", "ea580c"),
        preset("cherry-blossom", "Cherry Blossom", C::nature, S::organic,
               "cherry blossom, sakura petals, soft pink branches, spring breeze, delicate watercolor",
               {"f9a8d4", "fce7f3", "db2777", "a3b18a"}, {"1c0f17", "26131f", "140a10"}, hex("f9a8d4", 0.05),
               hex("f9a8d4", 0.12), "fde8f3", "f9a8d4"),
        preset("desert-sand", "Desert Sand", C::nature, S::organic,
               "desert dunes, warm sand tones, sun-baked clay, wind-carved curves, terracotta accents",
               {"e0b872", "d97745", "f2d9a6", "9c5a3c"}, {"1c140c", "261b10", "140e08"}, hex("e0b872", 0.04),
               hex("e0b872", 0.12), "f7ead2", "e0b872"),

        // Luxury & Premium
        preset("luxury-gold", "Luxury Gold", C::luxury, S::luxury,
               "gold foil, luxury, dark marble, sophisticated, Art Deco accents",
               {"fbbf24", "f59e0b", "d97706", "92400e"}, {"1c1917", "292524", "1c1917"}, hex("fbbf24", 0.04),
               hex("fbbf24", 0.15), "fef3c7", "fbbf24"),
        preset("rose-gold", "Rose Gold", C::luxury, S::luxury,
               "rose gold metal, brushed metallic sheen, blush pink, elegant jewelry, soft luxury",
               {"e8b4a0", "d4917a", "f3d1c4", "b76e79"}, {"1a1213", "241a1b", "130d0e"}, hex("e8b4a0", 0.04),
               hex("e8b4a0", 0.14), "fbe9e2", "e8b4a0"),
        preset("dark-emerald", "Dark Emerald", C::luxury, S::luxury,
               "deep emerald green, polished gemstone facets, dark velvet, gold trim, opulent",
               {"10b981", "059669", "047857", "d4af37"}, {"04140e", "071d15", "020d09"}, hex("10b981", 0.04),
               hex("10b981", 0.14), "d1fae5", "10b981"),
        preset("royal-purple", "Royal Purple", C::luxury, S::luxury,
               "royal purple velvet, regal crest, gold filigree, ornate crown motifs, rich jewel tones",
               {"a855f7", "7e22ce", "d8b4fe", "eab308"}, {"12081c", "1b0d29", "0c0513"}, hex("a855f7", 0.05),
               hex("d8b4fe", 0.14), "f3e8ff", "a855f7"),
        preset("black-diamond", "Black Diamond", C::luxury, S::luxury,
               "black diamond, faceted obsidian, sparkling brilliance, monochrome luxury, platinum highlights",
               {"e5e7eb", "9ca3af", "4b5563", "f8fafc"}, {"050505", "0c0c0d", "020202"}, white(0.04), white(0.12),
               "f3f4f6", "e5e7eb"),

        // Movie & Cinematic
        preset("blade-runner", "Blade Runner", C::movie, S::neon,
               "Blade Runner 2049, rain-soaked neon, dystopian cityscape, orange haze, holographic billboards, film "
               "grain",
               {"ff8c32", "00b3c7", "e0457b", "f2c14e"}, {"0d0806", "140c09", "080504"}, hex("ff8c32", 0.04),
               hex("ff8c32", 0.12), "fbe3cf", "ff8c32"),
        preset("star-wars", "Star Wars", C::movie, S::neon,
               "Star Wars saga, lightsaber glow, deep starfield, hyperspace streaks, Imperial insignia, cinematic "
               "space opera",
               {"ffe81f", "4dc3ff", "ff2d2d", "5cff5c"}, {"03040a", "070a14", "010205"}, hex("ffe81f", 0.04),
               hex("ffe81f", 0.12), "fffbe0", "ffe81f"),
        preset("noir-film", "Film Noir", C::movie, S::line,
               "film noir, high-contrast black and white, venetian blind shadows, 1940s detective, smoky atmosphere",
               {"d4d4d4", "a3a3a3", "737373", "404040"}, {"0a0a0a", "141414", "050505"}, white(0.03), white(0.1),
               "ededed", "d4d4d4"),
        preset("wes-anderson", "Wes Anderson", C::movie, S::organic,
               "Wes Anderson style, symmetrical composition, pastel palette, whimsical vintage, flat frontal framing, "
               "storybook charm",
               {"e8a1b0", "e3b448", "5b9aa0", "8c2f39"}, {"1c1416", "261b1e", "150f11"}, hex("e8a1b0", 0.05),
               hex("e8a1b0", 0.12), "fbeff0", "e8a1b0"),
        preset("alien-xenomorph", "Alien", C::movie, S::organic,
               "H.R. Giger biomechanical, xenomorph, dark glossy ridges, eerie green glow, industrial horror",
               {"9be564", "c7d3c0", "4a5d4a", "2f3b32"}, {"050806", "0a0f0b", "030504"}, hex("9be564", 0.03),
               hex("9be564", 0.1), "dbe7d6", "9be564"),

        // 3D & Skeuomorphic
        preset("macos-aqua", "macOS Aqua", C::threedee, S::glass,
               "macOS Aqua era, glossy 3D buttons, gel-like transparency, water droplet reflections, pinstripe "
               "texture, 2003 Apple aesthetic",
               {"42a5f5", "1e88e5", "90caf9", "bbdefb"}, {"0a1525", "102030", "060e18"}, hex("42a5f5", 0.06),
               hex("42a5f5", 0.15), "e3f2fd", "42a5f5"),
        preset("clay-3d", "Clay 3D", C::threedee, S::glass,
               "claymation style, soft 3D clay shapes, matte plasticine, rounded forms, playful handmade",
               {"ff8a65", "4fc3f7", "aed581", "ffd54f"}, {"1a1614", "231e1b", "13100e"}, white(0.05), white(0.1),
               "f5ede8", "ff8a65"),
        preset("ios-skeuomorphic", "iOS 6 Skeuo", C::threedee, S::glass,
               "iOS 6 skeuomorphic, glossy highlights, stitched leather, linen texture, realistic materials, beveled "
               "edges",
               {"4a90e2", "8b5a2b", "d8d2c4", "5cb85c"}, {"15171a", "1e2125", "0f1113"}, white(0.05), white(0.12),
               "eef1f5", "4a90e2"),
        preset("isometric", "Isometric", C::threedee, S::glass,
               "isometric 3D, clean geometric blocks, 30-degree angles, soft shading, miniature diorama",
               {"818cf8", "22d3ee", "f472b6", "facc15"}, {"0f1020", "15172b", "0a0b17"}, hex("818cf8", 0.05),
               hex("818cf8", 0.14), "e0e7ff", "818cf8"),
        preset("inflatable-3d", "Inflatable 3D", C::threedee, S::glass,
               "inflatable 3D, puffy balloon shapes, glossy plastic, soft rounded edges, bright candy colors",
               {"ff5ea8", "5ec8ff", "ffd25e", "7cf29c"}, {"1a0f1e", "24142a", "120a15"}, white(0.06), white(0.12),
               "fff0f8", "ff5ea8"),

        // Art & Illustration
        preset("ukiyoe", "Ukiyo-e", C::art, S::organic,
               "ukiyo-e woodblock print, Hokusai great wave, flat bold outlines, Prussian blue, aged paper texture",
               {"4f8fc0", "d9512c", "efe3c8", "1d3557"}, {"0d1219", "131a24", "080c11"}, hex("efe3c8", 0.04),
               hex("efe3c8", 0.1), "f1e8d2", "4f8fc0"),
        preset("pop-art", "Pop Art", C::art, S::pixel,
               "pop art, Roy Lichtenstein style, Ben-Day dots, bold black outlines, primary colors, comic halftone",
               {"ff2e4c", "ffde00", "1e7bff", "ff69b4"}, {"120d0d", "1a1414", "0c0808"}, hex("ffde00", 0.04),
               hex("ffde00", 0.12), "fff8e1", "ff2e4c"),
        preset("art-nouveau", "Art Nouveau", C::art, S::organic,
               "Art Nouveau, Alphonse Mucha style, flowing organic lines, floral ornaments, muted gold and sage, "
               "decorative borders",
               {"c9a35b", "8a9a5b", "b5654a", "e8d8b0"}, {"16130c", "201b12", "0f0d08"}, hex("c9a35b", 0.04),
               hex("c9a35b", 0.13), "f3e9d2", "c9a35b"),
        preset("comic-book", "Comic Book", C::art, S::pixel,
               "comic book style, bold ink outlines, halftone shading, action lines, speech bubbles, vivid flat "
               "colors",
               {"ffd60a", "e63946", "1d8bf1", "06d6a0"}, {"0d1020", "141830", "090b16"}, hex("ffd60a", 0.04),
               hex("ffd60a", 0.12), "fdf6e3", "ffd60a"),
        preset("stained-glass", "Stained Glass", C::art, S::line,
               "cathedral stained glass window, jewel-tone colored glass, black lead caming lines, light shining "
               "through, gothic rose window",
               {"e53935", "1e88e5", "fdd835", "43a047"}, {"0a0808", "141010", "060404"}, white(0.04), white(0.08),
               "f5f5f5", "fdd835"),

        // Pop Culture
        preset("cyberpunk-2077", "Cyberpunk 2077", C::pop, S::neon,
               "Cyberpunk 2077 style, acid yellow and cyan, glitch effects, Night City neon, chrome implants, angular "
               "HUD elements",
               {"fcee0a", "00f0ff", "ff003c", "7b2dff"}, {"0a0a05", "12120a", "050503"}, hex("fcee0a", 0.04),
               hex("fcee0a", 0.15), "fdfbd4", "fcee0a"),
        preset("minecraft", "Minecraft", C::pop, S::pixel,
               "Minecraft style, blocky voxel shapes, 16x16 pixel textures, grass and dirt blocks, cubic world",
               {"5d9c3a", "8b5a2b", "7f7f7f", "4aedd9"}, {"101510", "171e16", "0b0f0a"}, hex("5d9c3a", 0.05),
               hex("5d9c3a", 0.14), "e5efdc", "5d9c3a"),
        preset("stranger-things", "Stranger Things", C::pop, S::neon,
               "Stranger Things style, 80s retro horror, glowing red title lettering, Christmas lights, Upside Down "
               "haze",
               {"e02a2a", "ffb347", "4fa3e0", "7a1c1c"}, {"0a0505", "120808", "060303"}, hex("e02a2a", 0.04),
               hex("e02a2a", 0.14), "fbe3e3", "e02a2a"),
        preset("pokemon-red", "Pokemon Red", C::pop, S::pixel,
               "Pokemon Red and Blue style, Game Boy era sprites, 8-bit pixel art, Poke Ball motifs, bright cheerful "
               "colors",
               {"ee1515", "ffcb05", "3d7dca", "f2f2f2"}, {"1a0a0a", "240f0f", "120606"}, hex("ee1515", 0.05),
               hex("ee1515", 0.14), "fdeaea", "ee1515"),
        preset("zelda-botw", "Zelda BOTW", C::pop, S::organic,
               "Breath of the Wild style, cel-shaded watercolor, glowing Sheikah blue, Hyrule landscapes, soft "
               "painterly light",
               {"4ec9e1", "c9a14a", "6b8e4e", "e8dcc0"}, {"0b1416", "111d20", "070e10"}, hex("4ec9e1", 0.04),
               hex("4ec9e1", 0.12), "e6f4f1", "4ec9e1"),
        preset("pastel-dream", "Pastel Dream", C::pop, S::organic,
               "pastel dreamscape, cotton candy clouds, soft gradients, dreamy glow, whimsical rounded shapes",
               {"f9b4d8", "b4d8f9", "c9b4f9", "b4f9d8"}, {"1a1626", "221d31", "13101c"}, white(0.05), white(0.12),
               "f5efff", "f9b4d8"),
        preset("paper-craft", "Paper Craft", C::pop, S::organic,
               "paper craft, layered cut paper, soft drop shadows, handmade texture, folded origami shapes",
               {"d1543a", "2a9d8f", "e9c46a", "264653"}, {"f6f1e7", "efe7d8", "e7dcc8"}, black(0.03), black(0.09),
               "2b2622", "d1543a"),
        preset("neon-tokyo", "Neon Tokyo", C::pop, S::neon,
               "Neon Tokyo nights, Shibuya signage, glowing kanji, rain-slick streets, pink and cyan glow",
               {"ff3cac", "2de2e6", "ffd319", "784ba0"}, {"0b0718", "120b24", "07040f"}, hex("ff3cac", 0.05),
               hex("ff3cac", 0.14), "fde8f6", "ff3cac"),
        preset("miami-vice", "Miami Vice", C::pop, S::neon,
               "Miami Vice, 80s Art Deco pastels, flamingo pink and turquoise, palm silhouettes, sunset neon, chrome "
               "sports cars",
               {"ff77a8", "2ee6d6", "ffb86c", "8e6cff"}, {"10101e", "181829", "0b0b15"}, hex("ff77a8", 0.05),
               hex("2ee6d6", 0.12), "fdeef5", "ff77a8"),
        preset("steampunk", "Steampunk", C::pop, S::organic,
               "steampunk Victorian machinery, brass gears and cogs, copper pipes, clock mechanisms, airship "
               "aesthetic, goggles and rivets",
               {"b87333", "d4a017", "6b4226", "5a5a52"}, {"15100b", "1e1710", "0e0a07"}, hex("b87333", 0.05),
               hex("d4a017", 0.13), "f1e3c8", "b87333"),
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
