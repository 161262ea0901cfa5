#include "design/animation_clock.h"
#include "state/app_state.h"
#include "design/spring.h"
#include "design/symbols.h"
#include "design/tokens.h"

#include "models/semantic_category.h"

#include <QFontInfo>
#include <QPainterPath>
#include <QRawFont>
#include <QWidget>
#include <QtTest>

class TestDesignTokens final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(Tokens::registerFonts()); }

    void bundledFontsResolve_data()
    {
        QTest::addColumn<QFont>("font");
        QTest::addColumn<QString>("family");
        QTest::newRow("body") << Tokens::bodyFont() << QStringLiteral("Inter");
        QTest::newRow("small semibold") << Tokens::uiFont(11, QFont::DemiBold) << QStringLiteral("Inter");
        QTest::newRow("mono") << Tokens::monoSmallFont() << QStringLiteral("JetBrains Mono");
        QTest::newRow("symbols") << Symbols::font(13) << QStringLiteral("Material Icons");
    }
    void bundledFontsResolve()
    {
        QFETCH(QFont, font);
        QFETCH(QString, family);
        QCOMPARE(QFontInfo(font).family(), family);
    }

    void everySymbolNameMapsToAGlyphTheFontHas()
    {
        const QRawFont raw = QRawFont::fromFont(Symbols::font(24));
        QVERIFY(raw.isValid());
        QStringList names = Symbols::allNames();
        // Every category's symbol must be in the table, and each category gets its own glyph.
        QSet<QString> categoryGlyphs;
        for (SemanticCategory category : allSemanticCategories()) {
            QVERIFY2(Symbols::contains(sfSymbol(category)), qPrintable(sfSymbol(category)));
            categoryGlyphs.insert(Symbols::glyph(sfSymbol(category)));
        }
        QCOMPARE(categoryGlyphs.size(), int(allSemanticCategories().size()));
        for (const QString &name : std::as_const(names)) {
            const QString glyph = Symbols::glyph(name);
            QCOMPARE(glyph.toUcs4().size(), 1);
            QVERIFY2(raw.supportsCharacter(glyph.toUcs4().first()), qPrintable(name));
            // The glyph really draws something (an empty glyph would leave a hole in the window).
            const QList<quint32> indexes = raw.glyphIndexesForString(glyph);
            QVERIFY2(!raw.pathForGlyph(indexes.first()).isEmpty(), qPrintable(name));
        }
        QCOMPARE(QSet<QString>(names.begin(), names.end()).size(), names.size());
    }

    void unknownSymbolNamesDrawAVisibleFallback()
    {
        QVERIFY(!Symbols::contains(u"no.such.symbol"));
        const QString fallback = Symbols::glyph(u"no.such.symbol");
        QVERIFY(!fallback.isEmpty());
        QVERIFY(QRawFont::fromFont(Symbols::font(24)).supportsCharacter(fallback.toUcs4().first()));
    }

    void springsMoveFromZeroToOneWithALittleOvershoot_data()
    {
        QTest::addColumn<double>("response");
        QTest::newRow("quick") << Tokens::quick().response;
        QTest::newRow("standard") << Tokens::standard().response;
    }
    void springsMoveFromZeroToOneWithALittleOvershoot()
    {
        QFETCH(double, response);
        const Spring spring{response, 0.8};
        QCOMPARE(spring.progress(-1.0), 0.0);
        QCOMPARE(spring.progress(0.0), 0.0);
        // An underdamped spring passes its target about half a period in and peaks a little above.
        double peak = 0.0;
        for (double t = 0.0; t < spring.settleTime(); t += 0.001)
            peak = std::max(peak, spring.progress(t));
        QVERIFY(peak > 1.0 && peak < 1.02); // damping 0.8 overshoots by about 1.5 %
        QVERIFY(spring.progress(response * 0.25) > 0.3);
        QVERIFY(spring.settleTime() < 2.0 * response);
        QCOMPARE(spring.progress(spring.settleTime()), 1.0);
        QVERIFY(std::abs(spring.progress(spring.settleTime() - 1e-3) - 1.0) < 2e-3);
    }

    void criticalSpringNeverOvershoots()
    {
        const Spring spring{0.3, 1.0};
        double previous = 0.0;
        for (double t = 0.0; t <= spring.settleTime() + 0.1; t += 0.005) {
            const double value = spring.progress(t);
            QVERIFY(value >= previous - 1e-12 && value <= 1.0);
            previous = value;
        }
        QCOMPARE(previous, 1.0);
    }

    void easingCurvesAreMonotonicAndSymmetric()
    {
        QCOMPARE(easeInOut(0.0), 0.0);
        QCOMPARE(easeInOut(1.0), 1.0);
        QVERIFY(std::abs(easeInOut(0.5) - 0.5) < 1e-6);
        QVERIFY(std::abs(easeInOut(0.2) + easeInOut(0.8) - 1.0) < 1e-6);
        QVERIFY(easeInOut(0.1) < 0.1); // slow start
        QVERIFY(easeOut(0.1) > 0.1);   // fast start
        double previous = 0.0;
        for (double t = 0.0; t <= 1.0; t += 0.01) {
            QVERIFY(easeInOut(t) >= previous);
            previous = easeInOut(t);
        }
        QCOMPARE(easeInOut(2.0), 1.0);
    }

    void clockTicksOnlyWhileSomethingAnimates()
    {
        AnimationClock &clock = AnimationClock::instance();
        clock.setManualTime(10.0);
        QVERIFY(!clock.isTicking());

        auto widget = std::make_unique<QWidget>();
        clock.animate(widget.get(), 10.5);
        clock.animate(widget.get(), 10.2); // never shortens
        QVERIFY(clock.isTicking());
        clock.setManualTime(10.3);
        QTest::qWait(40);
        QVERIFY(clock.isTicking());
        clock.setManualTime(10.5);
        QTRY_VERIFY(!clock.isTicking());

        clock.animateForever(widget.get());
        clock.setManualTime(1000.0);
        QTest::qWait(40);
        QVERIFY(clock.isTicking());
        widget.reset(); // a destroyed widget is dropped and the clock stops
        QTRY_VERIFY(!clock.isTicking());
        QCOMPARE(clock.animatingCount(), 0);

        QWidget other;
        clock.animateForever(&other);
        clock.stop(&other);
        QVERIFY(!clock.isTicking());
        clock.setManualTime(std::nullopt);
    }

    void accentFollowsTheSelectedTheme()
    {
        AppState state;
        QCOMPARE(Tokens::accent(state), state.selectedTheme().palette.accent);
        QCOMPARE(Tokens::accent(state), QColor(0xf4, 0x72, 0xb6));
    }
};

QTEST_MAIN(TestDesignTokens)
#include "tst_design_tokens.moc"
