#include "models/theme_preset.h"

#include <QtTest>

#include <cmath>

namespace {

const QStringList CatalogueIds{
    "retro-pixel",    "mario-world",     "gameboy-green",    "arcade-cabinet", "vaporwave",
    "neon-cyber",     "matrix-rain",     "synthwave",        "tron-legacy",    "holographic",
    "minimal-line",   "scandinavian",    "japanese-ink",     "bauhaus",        "blueprint",
    "glassmorphic",   "aurora-glass",    "frosted-rose",     "crystal-ice",    "smoke-glass",
    "organic-nature", "ocean-deep",      "autumn-forest",    "cherry-blossom", "desert-sand",
    "luxury-gold",    "rose-gold",       "dark-emerald",     "royal-purple",   "black-diamond",
    "blade-runner",   "star-wars",       "noir-film",        "wes-anderson",   "alien-xenomorph",
    "macos-aqua",     "clay-3d",         "ios-skeuomorphic", "isometric",      "inflatable-3d",
    "ukiyoe",         "pop-art",         "art-nouveau",      "comic-book",     "stained-glass",
    "cyberpunk-2077", "minecraft",       "stranger-things",  "pokemon-red",    "zelda-botw",
    "pastel-dream",   "paper-craft",     "neon-tokyo",       "miami-vice",     "steampunk",
};

const QStringList LightPresets{"minimal-line", "scandinavian", "paper-craft"};

QColor faded(QColor color, qreal opacity)
{
    color.setAlphaF(float(opacity));
    return color;
}

// WCAG relative luminance and contrast: the measure of whether text stays readable on a background.
qreal luminance(const QColor &color)
{
    const auto channel = [](qreal c) { return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4); };
    return 0.2126 * channel(color.redF()) + 0.7152 * channel(color.greenF()) + 0.0722 * channel(color.blueF());
}

qreal contrast(const QColor &a, const QColor &b)
{
    const qreal la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

bool sameRgb(const QColor &a, const QColor &b) { return a.rgb() == b.rgb(); }

const ThemePreset &themeWithId(const QString &id)
{
    for (const ThemePreset &preset : ThemePreset::allThemes()) {
        if (preset.id == id)
            return preset;
    }
    qFatal("no preset %s", qPrintable(id));
}

} // namespace

Q_DECLARE_METATYPE(ThemeCategory)
Q_DECLARE_METATYPE(IconStyle)

class TestThemePreset final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void catalogueIsSafeToReadFromManyThreadsAtOnce()
    {
        // Runs first, so the threads race to build the catalogue; all must see the same one.
        std::array<const ThemePreset *, 8> seen{};
        QList<QThread *> threads;
        for (size_t i = 0; i < seen.size(); ++i) {
            threads.append(QThread::create([&seen, i] { seen[i] = &ThemePreset::defaultTheme(); }));
            threads.last()->start();
        }
        for (QThread *thread : threads) {
            QVERIFY(thread->wait(30000));
            delete thread;
        }
        for (const ThemePreset *preset : seen)
            QCOMPARE(preset, &ThemePreset::defaultTheme());
    }

    void colorFromHexReadsSixAndEightDigitStrings_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QColor>("expected");

        const QColor navy = QColor::fromRgb(0x1a, 0x1a, 0x2e, 255);
        const QColor opaqueBlack = QColor::fromRgb(0, 0, 0, 255);
        QTest::newRow("with hash") << "#1a1a2e" << navy;
        QTest::newRow("plain") << "1a1a2e" << navy;
        QTest::newRow("punctuation on both ends") << "##1a1a2e##" << navy;
        QTest::newRow("upper-case digits") << "1A1A2E" << navy;
        QTest::newRow("surrounding spaces") << "  #1a1a2e\n" << navy;
        QTest::newRow("empty") << "" << opaqueBlack;
        QTest::newRow("no hex digits") << "xyz" << opaqueBlack;
        QTest::newRow("three digits") << "fff" << opaqueBlack;
        QTest::newRow("seven digits") << "fffffff" << opaqueBlack;
        QTest::newRow("alpha first, opaque blue") << "ff000080" << QColor::fromRgb(0, 0, 128, 255);
        QTest::newRow("alpha first, translucent red") << "80ff0000" << QColor::fromRgb(255, 0, 0, 128);
        QTest::newRow("alpha first with hash") << "#00ffffff" << QColor::fromRgb(255, 255, 255, 0);
        // Parsing stops at the first non-hex character; the length still decides the layout.
        QTest::newRow("six characters, digits stop early") << "12zz34" << QColor::fromRgb(0, 0, 0x12, 255);
        QTest::newRow("six characters, no leading digits") << "zz1234" << opaqueBlack;
        QTest::newRow("inner hash is kept") << "#12#456" << QColor::fromRgb(0, 0, 0x12, 255);
        QTest::newRow("eight characters, no digits") << "gggggggg" << QColor::fromRgb(0, 0, 0, 0);
        // Trimming and counting go by whole characters: a trailing accent joins its letter and stays,
        // a letter outside the BMP at the front stays and makes the string seven characters long.
        QTest::newRow("combining mark is kept") << QStringLiteral("1a1a2e\u0301") << navy;
        QTest::newRow("astral letter is kept") << QStringLiteral("\U0001D4001a1a2e") << opaqueBlack;
    }

    void colorFromHexReadsSixAndEightDigitStrings()
    {
        QFETCH(QString, text);
        QFETCH(QColor, expected);
        const QColor color = colorFromHex(text);
        QCOMPARE(color.spec(), QColor::Rgb);
        QCOMPARE(color.rgba(), expected.rgba());
    }

    void catalogueHoldsAll55PresetsInOrder()
    {
        const QList<ThemePreset> &all = ThemePreset::allThemes();
        QStringList ids;
        for (const ThemePreset &preset : all)
            ids.append(preset.id);
        QCOMPARE(ids, CatalogueIds);
        QCOMPARE(&ThemePreset::allThemes(), &all); // built once, shared
    }

    void defaultIsTheFirstPreset()
    {
        QCOMPARE(ThemePreset::defaultTheme().id, QStringLiteral("retro-pixel"));
        QCOMPARE(ThemePreset::defaultTheme(), ThemePreset::allThemes().constFirst());
        QCOMPARE(ThemePreset::defaultTheme().palette, ThemePreset::allThemes().constFirst().palette);
        QCOMPARE(ThemePreset::defaultTheme().stylePrompt, ThemePreset::allThemes().constFirst().stylePrompt);
    }

    void catalogueRowsCarryTheirNamesCategoriesAndStyles_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("displayName");
        QTest::addColumn<ThemeCategory>("category");
        QTest::addColumn<IconStyle>("style");

        using C = ThemeCategory;
        using S = IconStyle;
        const struct
        {
            const char *name;
            C category;
            S style;
        } rows[] = {
            {"Retro Pixel", C::retro, S::pixel},        {"90s Mario", C::retro, S::pixel},
            {"Game Boy", C::retro, S::pixel},           {"Arcade Cabinet", C::retro, S::pixel},
            {"Vaporwave", C::retro, S::neon},           {"Neon Cyber", C::neon, S::neon},
            {"Matrix", C::neon, S::neon},               {"Synthwave", C::neon, S::neon},
            {"Tron Legacy", C::neon, S::neon},          {"Holographic", C::neon, S::neon},
            {"Minimal Line", C::minimal, S::line},      {"Scandinavian", C::minimal, S::line},
            {"Japanese Ink", C::minimal, S::line},      {"Bauhaus", C::minimal, S::line},
            {"Blueprint", C::minimal, S::line},         {"Glassmorphic", C::glass, S::glass},
            {"Aurora Glass", C::glass, S::glass},       {"Frosted Rose", C::glass, S::glass},
            {"Crystal Ice", C::glass, S::glass},        {"Smoke Glass", C::glass, S::glass},
            {"Organic Nature", C::nature, S::organic},  {"Deep Ocean", C::nature, S::organic},
            {"Autumn Forest", C::nature, S::organic},   {"Cherry Blossom", C::nature, S::organic},
            {"Desert Sand", C::nature, S::organic},     {"Luxury Gold", C::luxury, S::luxury},
            {"Rose Gold", C::luxury, S::luxury},        {"Dark Emerald", C::luxury, S::luxury},
            {"Royal Purple", C::luxury, S::luxury},     {"Black Diamond", C::luxury, S::luxury},
            {"Blade Runner", C::movie, S::neon},        {"Star Wars", C::movie, S::neon},
            {"Film Noir", C::movie, S::line},           {"Wes Anderson", C::movie, S::organic},
            {"Alien", C::movie, S::organic},            {"macOS Aqua", C::threedee, S::glass},
            {"Clay 3D", C::threedee, S::glass},         {"iOS 6 Skeuo", C::threedee, S::glass},
            {"Isometric", C::threedee, S::glass},       {"Inflatable 3D", C::threedee, S::glass},
            {"Ukiyo-e", C::art, S::organic},            {"Pop Art", C::art, S::pixel},
            {"Art Nouveau", C::art, S::organic},        {"Comic Book", C::art, S::pixel},
            {"Stained Glass", C::art, S::line},         {"Cyberpunk 2077", C::pop, S::neon},
            {"Minecraft", C::pop, S::pixel},            {"Stranger Things", C::pop, S::neon},
            {"Pokemon Red", C::pop, S::pixel},          {"Zelda BOTW", C::pop, S::organic},
            {"Pastel Dream", C::pop, S::organic},       {"Paper Craft", C::pop, S::organic},
            {"Neon Tokyo", C::pop, S::neon},            {"Miami Vice", C::pop, S::neon},
            {"Steampunk", C::pop, S::organic},
        };
        static_assert(std::size(rows) == 55);
        for (int i = 0; i < 55; ++i) {
            QTest::newRow(qPrintable(CatalogueIds.at(i)))
                << i << QString::fromUtf8(rows[i].name) << rows[i].category << rows[i].style;
        }
    }

    void catalogueRowsCarryTheirNamesCategoriesAndStyles()
    {
        QFETCH(int, index);
        QFETCH(QString, displayName);
        QFETCH(ThemeCategory, category);
        QFETCH(IconStyle, style);
        const ThemePreset &preset = ThemePreset::allThemes().at(index);
        QCOMPARE(preset.displayName, displayName);
        QCOMPARE(preset.category, category);
        QCOMPARE(preset.iconStyle, style);
    }

    void everyPaletteHasTheCatalogueShape()
    {
        for (const ThemePreset &preset : ThemePreset::allThemes()) {
            const ThemeColorPalette &p = preset.palette;
            const char *id = qPrintable(preset.id);
            QVERIFY2(p.colors.size() == 4, id);
            QVERIFY2(p.background.size() == 3, id);
            for (const QColor &c : p.colors + p.background + QList<QColor>{p.text, p.accent}) {
                QVERIFY2(c.spec() == QColor::Rgb, id);
                QVERIFY2(c.alpha() == 255, id);
            }

            // Card fill and stroke: white, black or one of the preset's colours, faint.
            const auto isPaletteBase = [&](const QColor &c) {
                if (sameRgb(c, Qt::white) || sameRgb(c, Qt::black))
                    return true;
                return std::any_of(p.colors.cbegin(), p.colors.cend(), [&](const QColor &x) { return sameRgb(c, x); });
            };
            QVERIFY2(isPaletteBase(p.cardBg), id);
            QVERIFY2(isPaletteBase(p.cardBorder), id);
            QVERIFY2(p.cardBg.alphaF() >= 0.02 - 1e-4 && p.cardBg.alphaF() <= 0.06 + 1e-4, id);
            QVERIFY2(p.cardBorder.alphaF() >= 0.08 - 1e-4 && p.cardBorder.alphaF() <= 0.15 + 1e-4, id);

            // Three backgrounds of one family, and text that reads on each of them.
            const bool light = LightPresets.contains(preset.id);
            for (const QColor &bg : p.background) {
                if (light)
                    QVERIFY2(luminance(bg) > 0.7, id);
                else
                    QVERIFY2(luminance(bg) < 0.05, id);
                QVERIFY2(contrast(p.text, bg) >= 7.0, id);
            }
            if (light)
                QVERIFY2(luminance(p.text) < 0.05, id);
            else
                QVERIFY2(luminance(p.text) > 0.5, id);
            // The accent marks selection and progress: it must stand out from the background.
            QVERIFY2(contrast(p.accent, p.background.first()) >= 3.0, id);
        }
    }

    void stylePromptsAreFourToSevenDescriptors()
    {
        for (const ThemePreset &preset : ThemePreset::allThemes()) {
            const QStringList parts = preset.stylePrompt.split(QStringLiteral(", "));
            QVERIFY2(parts.size() >= 4 && parts.size() <= 7, qPrintable(preset.id));
            for (const QString &part : parts)
                QVERIFY2(!part.trimmed().isEmpty() && part == part.trimmed() && !part.contains(u','),
                         qPrintable(preset.id));
        }
    }

    void presetPromptsAndPalettesAreExact_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("prompt");
        // "4 colours | 3 backgrounds | card base, fill and stroke opacity | text accent"; empty: prompt only.
        QTest::addColumn<QString>("palette");
        const auto row = [](const char *id, const char *prompt, const char *palette = "") {
            QTest::newRow(id) << QString::fromUtf8(id) << QString::fromUtf8(prompt) << QString::fromUtf8(palette);
        };
        row("retro-pixel", "pixel art, 8-bit style, crisp edges, nostalgic palette, NES era",
            "f472b6 fb923c facc15 34d399 | 1a1a2e 16213e 0f3460 | ffffff 0.05 0.1 | e0e0e0 f472b6");
        row("neon-cyber", "neon glow, cyberpunk, dark background, electric colors, holographic",
            "06b6d4 8b5cf6 ec4899 10b981 | 020617 0c0a1a 030712 | 06b6d4 0.05 0.15 | e0f2fe 06b6d4");
        row("matrix-rain",
            "The Matrix movie style, green digital rain, code cascade, dark hacker terminal, phosphor green on black, "
            "digital dissolution",
            "00ff41 00cc33 008f11 003b00 | 000800 001100 000500 | 00ff41 0.04 0.1 | 00ff41 00ff41");
        row("minimal-line", "single line art, monochrome, geometric, clean strokes",
            "f5f5f4 a8a29e 78716c 57534e | fafaf9 f5f5f4 e7e5e4 | 000000 0.03 0.08 | 292524 57534e");
        row("glassmorphic", "frosted glass, translucent layers, soft blur, iridescent highlights",
            "a78bfa 6366f1 818cf8 c4b5fd | 0f0a1e 1a1035 0d0b1a | ffffff 0.06 0.12 | e2e0f0 a78bfa");
        row("luxury-gold", "gold foil, luxury, dark marble, sophisticated, Art Deco accents",
            "fbbf24 f59e0b d97706 92400e | 1c1917 292524 1c1917 | fbbf24 0.04 0.15 | fef3c7 fbbf24");
        row("macos-aqua",
            "macOS Aqua era, glossy 3D buttons, gel-like transparency, water droplet reflections, pinstripe texture, "
            "2003 Apple aesthetic",
            "42a5f5 1e88e5 90caf9 bbdefb | 0a1525 102030 060e18 | 42a5f5 0.06 0.15 | e3f2fd 42a5f5");
        row("stained-glass",
            "cathedral stained glass window, jewel-tone colored glass, black lead caming lines, light shining "
            "through, gothic rose window",
            "e53935 1e88e5 fdd835 43a047 | 0a0808 141010 060404 | ffffff 0.04 0.08 | f5f5f5 fdd835");
        row("mario-world", "Super Mario World style, 16-bit SNES sprites, bright primary colors, platformer game "
                           "icons, coin blocks, mushrooms, pixel-perfect");
        row("arcade-cabinet", "80s arcade cabinet style, CRT scanlines, bright neon on black, Pac-Man era, vector "
                              "graphics, coin-op aesthetic");
        row("organic-nature", "watercolor, botanical, earthy tones, hand-drawn, organic shapes");
        row("japanese-ink", "sumi-e ink wash painting, Japanese calligraphy, zen minimalism, wabi-sabi, single "
                            "brushstroke, rice paper texture");
        row("steampunk", "steampunk Victorian machinery, brass gears and cogs, copper pipes, clock mechanisms, "
                         "airship aesthetic, goggles and rivets");
    }

    // The prompt is sent verbatim to the model; the palette colours the whole window.
    void presetPromptsAndPalettesAreExact()
    {
        QFETCH(QString, id);
        QFETCH(QString, prompt);
        QFETCH(QString, palette);
        const ThemePreset &preset = themeWithId(id);
        QCOMPARE(preset.stylePrompt, prompt);
        if (palette.isEmpty())
            return;
        const QStringList parts = palette.split(u'|');
        const auto colours = [&parts](int part) {
            QList<QColor> list;
            for (const QString &text : parts.at(part).split(u' ', Qt::SkipEmptyParts))
                list.append(colorFromHex(text));
            return list;
        };
        const QStringList card = parts.at(2).split(u' ', Qt::SkipEmptyParts);
        const QColor cardBase = colorFromHex(card.at(0));
        const QList<QColor> ends = colours(3);
        const ThemeColorPalette expected{colours(0), colours(1), faded(cardBase, card.at(1).toDouble()),
                                         faded(cardBase, card.at(2).toDouble()), ends.at(0), ends.at(1)};
        QCOMPARE(preset.palette, expected);
    }

    void presetsAreEqualAndHashAlikeByIdAlone()
    {
        ThemePreset a = ThemePreset::allThemes().at(3);
        ThemePreset b = ThemePreset::allThemes().at(4);
        QCOMPARE_NE(a, b);
        b.id = a.id;
        QCOMPARE(a, b); // differing prompt, palette, style and name do not matter
        QCOMPARE(qHash(a, 11), qHash(b, 11));
        QCOMPARE(qHash(a, 11), qHash(a.id, 11));
        QSet<ThemePreset> set{a, b};
        QCOMPARE(set.size(), 1);
    }

    void themeCategoriesAreTenLabelledCasesInOrder()
    {
        const QStringList labels{"Retro & Pixel",    "Neon & Cyber",      "Minimal & Clean",    "Glass & Blur",
                                 "Nature & Organic", "Luxury & Premium",  "Movie & Cinematic",  "3D & Skeuomorphic",
                                 "Art & Illustration", "Pop Culture"};
        const auto &all = allThemeCategories();
        QCOMPARE(all.size(), size_t(10));
        for (int i = 0; i < 10; ++i) {
            QCOMPARE(rawValue(all[i]), labels.at(i));
            QCOMPARE(themeCategoryFromRawValue(labels.at(i)), std::optional(all[i]));
        }
        QCOMPARE(themeCategoryFromRawValue(u"Retro & Pixel"), std::optional(ThemeCategory::retro));
        QCOMPARE(themeCategoryFromRawValue(u"retro"), std::nullopt);
        QCOMPARE(themeCategoryFromRawValue(u"retro & pixel"), std::nullopt);
        QCOMPARE(themeCategoryFromRawValue(u""), std::nullopt);
    }

    void iconStylesAreSixCasesNamedAfterThemselves()
    {
        const QStringList names{"glass", "pixel", "line", "neon", "organic", "luxury"};
        const auto &all = allIconStyles();
        QCOMPARE(all.size(), size_t(6));
        for (int i = 0; i < 6; ++i) {
            QCOMPARE(rawValue(all[i]), names.at(i));
            QCOMPARE(iconStyleFromRawValue(names.at(i)), std::optional(all[i]));
        }
        QCOMPARE(iconStyleFromRawValue(u"Glass"), std::nullopt);
        QCOMPARE(iconStyleFromRawValue(u"3d"), std::nullopt);
        QCOMPARE_NE(qHash(IconStyle::neon), qHash(IconStyle::line));
    }

};

QTEST_GUILESS_MAIN(TestThemePreset)
#include "tst_theme_preset.moc"
