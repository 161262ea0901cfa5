#include "grid/folder_layout.h"
#include "grid/marquee_selection.h"

#include <QtTest>

/// The grid's geometry and the marquee's selection rule, apart from any widget.
class TestGridLogic final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void columnsFitBetweenMinimumAndMaximumWidth_data()
    {
        QTest::addColumn<qreal>("viewportWidth");
        QTest::addColumn<int>("columns");
        QTest::addColumn<qreal>("columnWidth");
        QTest::addColumn<qreal>("firstLeft");

        // Narrower than one column: one column at the minimum width, at the margin.
        QTest::newRow("too narrow") << 100.0 << 1 << 140.0 << 20.0;
        QTest::newRow("exactly one") << 180.0 << 1 << 140.0 << 20.0;
        // 2 × 140 + 14 + 40 = 334 is the first width with two columns.
        QTest::newRow("just below two") << 333.0 << 1 << 180.0 << (333.0 - 180.0) / 2;
        QTest::newRow("exactly two") << 334.0 << 2 << 140.0 << 20.0;
        // Shares are capped at 180 and the grid centred: 1200 - 40 = 1160 fits 7 columns of 155.7.
        QTest::newRow("window width") << 1200.0 << 7 << (1160.0 - 6 * 14) / 7 << 20.0;
        QTest::newRow("inspector open") << 879.0 << 5 << (839.0 - 4 * 14) / 5 << 20.0;
    }
    void columnsFitBetweenMinimumAndMaximumWidth()
    {
        QFETCH(qreal, viewportWidth);
        QFETCH(int, columns);
        QFETCH(qreal, columnWidth);
        QFETCH(qreal, firstLeft);

        const FolderLayout layout(FolderLayout::Mode::grid, viewportWidth, 30, {});
        QCOMPARE(layout.columns(), columns);
        QCOMPARE(FolderLayout::columnsFor(viewportWidth), columns);
        QCOMPARE(layout.columnWidth(), columnWidth);
        QCOMPARE(layout.itemRect(0).left(), firstLeft);
        QVERIFY(layout.columnWidth() >= FolderLayout::MinColumnWidth);
        QVERIFY(layout.columnWidth() <= FolderLayout::MaxColumnWidth);
    }

    void gridKeepsMarginsAndSpacing()
    {
        const FolderLayout::TextMetrics text{16, 13};
        const FolderLayout layout(FolderLayout::Mode::grid, 1200, 15, text);
        const qreal height = 16 + 56 + 12 + 2 * 16 + 3 + 13 + 16;
        QCOMPARE(layout.itemHeight(), height);
        QCOMPARE(layout.itemRect(0).topLeft(), QPointF(20, 28));
        QCOMPARE(layout.itemRect(1).left() - layout.itemRect(0).right(), 14.0);
        QCOMPARE(layout.itemRect(7).top() - layout.itemRect(0).bottom(), 14.0);
        // Last row, then the bottom margin.
        QCOMPARE(layout.contentHeight(), 28 + 3 * height + 2 * 14 + 20);
        QCOMPARE(layout.itemRect(6).right(), 1200.0 - 20);
        QVERIFY(layout.itemRect(15).isNull());
    }

    void capsColumnsAndCentresTheGrid()
    {
        // One column fits but two do not: the column stops at 180 and the grid is centred.
        const FolderLayout layout(FolderLayout::Mode::grid, 300, 4, {});
        QCOMPARE(layout.columns(), 1);
        QCOMPARE(layout.columnWidth(), 180.0);
        QCOMPARE(layout.itemRect(0).left(), 60.0);
        QCOMPARE(layout.itemRect(1).left(), 60.0);
        QCOMPARE(layout.itemRect(1).top() - layout.itemRect(0).bottom(), 14.0);
    }

    void listRowsHaveTheirOwnMargins()
    {
        const FolderLayout::TextMetrics text{16, 13};
        const FolderLayout layout(FolderLayout::Mode::list, 900, 3, text);
        QCOMPARE(layout.columns(), 1);
        QCOMPARE(layout.itemRect(0), QRectF(16, 24, 900 - 32, 52));
        QCOMPARE(layout.itemRect(1).top() - layout.itemRect(0).bottom(), 2.0);
        QCOMPARE(layout.contentHeight(), 24 + 3 * 52 + 2 * 2 + 16);
    }

    void findsItemsByPointAndBand()
    {
        const FolderLayout layout(FolderLayout::Mode::grid, 1200, 100, {16, 13});
        const QRectF third = layout.itemRect(2);
        QCOMPARE(layout.indexAt(third.center()), 2);
        QCOMPARE(layout.indexAt(QPointF(third.right() + 7, third.center().y())), -1); // the gap
        QCOMPARE(layout.indexAt(QPointF(5, 5)), -1);
        QCOMPARE(layout.indexAt(QPointF(third.center().x(), layout.contentHeight() + 100)), -1);

        // A band from the middle of row 2 to the middle of row 4 touches rows 2, 3 and 4.
        const qreal y0 = layout.itemRect(14).center().y();
        const qreal y1 = layout.itemRect(28).center().y();
        QCOMPARE(layout.indicesIn(y0, y1), std::make_pair(14, 35));
        // A band entirely in a gap between rows touches none.
        const qreal gap = layout.itemRect(0).bottom() + 5;
        const auto [first, last] = layout.indicesIn(gap, gap + 2);
        QCOMPARE(first, last);
        QCOMPARE(layout.indicesIn(0, 10000), std::make_pair(0, 100));
        QCOMPARE(layout.itemsPerPage(layout.itemHeight() * 3 + 14 * 2), 21);
    }

    void marqueeStartsOnlyPastTheThreshold()
    {
        const QUuid a = QUuid::createUuid();
        const MarqueeSelection::Frames frames = {{a, QRectF(0, 0, 100, 100)}};
        MarqueeSelection marquee;
        marquee.press(QPointF(50, 50));
        QVERIFY(!marquee.move(QPointF(60, 60), false, {}, frames)); // 14.1 px away
        QVERIFY(!marquee.isActive());
        const auto selection = marquee.move(QPointF(50, 65), false, {}, frames);
        QVERIFY(selection);
        // The rectangle starts where the button went down, not where the threshold was crossed.
        QCOMPARE(marquee.selectionRect(), QRectF(50, 50, 0, 15));
        QCOMPARE(*selection, QSet<QUuid>{a});
        // Once started, it keeps going even back inside the threshold.
        QVERIFY(marquee.move(QPointF(52, 52), false, {}, frames));
        marquee.release();
        QVERIFY(!marquee.selectionRect());
        QVERIFY(!marquee.move(QPointF(200, 200), false, {}, frames));
    }

    void marqueeSelectionRule_data()
    {
        QTest::addColumn<bool>("ctrlAtFirstChange");
        QTest::addColumn<bool>("ctrlLater");
        QTest::addColumn<QStringList>("expected");

        // Cards a..d in a row; b is selected before the drag, which passes over a..c and ends over c.
        QTest::newRow("replaces") << false << false << QStringList{"c"};
        QTest::newRow("ctrl keeps earlier selection") << true << true << QStringList{"b", "c"};
        QTest::newRow("ctrl released later still keeps") << true << false << QStringList{"b", "c"};
        QTest::newRow("ctrl pressed later does not") << false << true << QStringList{"c"};
    }
    void marqueeSelectionRule()
    {
        QFETCH(bool, ctrlAtFirstChange);
        QFETCH(bool, ctrlLater);
        QFETCH(QStringList, expected);

        QHash<QString, QUuid> ids;
        MarqueeSelection::Frames frames;
        for (int i = 0; i < 4; ++i) {
            const QString name(QChar(u'a' + i));
            ids.insert(name, QUuid::createUuid());
            frames.append({ids.value(name), QRectF(i * 100, 0, 90, 90)});
        }
        const QSet<QUuid> before{ids.value("b")};
        MarqueeSelection marquee;
        // From below card a's left edge, sweeping right over a, b, c, then back to c alone.
        marquee.press(QPointF(210, 120));
        auto selection = marquee.move(QPointF(0, 50), ctrlAtFirstChange, before, frames);
        QVERIFY(selection);
        QSet<QUuid> swept{ids.value("a"), ids.value("b"), ids.value("c")};
        if (!ctrlAtFirstChange)
            QCOMPARE(*selection, swept);
        selection = marquee.move(QPointF(250, 50), ctrlLater, *selection, frames);
        QSet<QUuid> want;
        for (const QString &name : expected)
            want.insert(ids.value(name));
        QCOMPARE(*selection, want);
    }

    void marqueeCatchesOnlyLaidOutCardsAndTouchingEdges()
    {
        const QUuid shown = QUuid::createUuid();
        MarqueeSelection marquee;
        marquee.press(QPointF(0, 0));
        // A card the grid has not laid out is not among the frames: nothing to catch.
        QCOMPARE(*marquee.move(QPointF(500, 500), false, {}, {}), QSet<QUuid>());
        // Rectangles that only touch still meet; a flat marquee still catches what it crosses.
        QCOMPARE(*marquee.move(QPointF(100, 0), false, {}, {{shown, QRectF(100, 0, 50, 50)}}), QSet<QUuid>{shown});
        QVERIFY(!MarqueeSelection::meets(QRectF(0, 0, 10, 10), QRectF(10.5, 0, 5, 5)));
    }
};

QTEST_GUILESS_MAIN(TestGridLogic)
#include "tst_grid_logic.moc"
