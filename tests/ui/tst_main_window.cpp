#include "shell/main_window.h"
#include "state/app_state.h"

#include <QtTest>

class TestMainWindow final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void opensAtDefaultSizeWithTitleAndDarkBackgroundAndKeepsItsMinimum()
    {
        AppState state;
        MainWindow window(&state);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        QCOMPARE(window.windowTitle(), QStringLiteral("Tavrune"));
        QCOMPARE(window.size(), QSize(1200, 750));

        const QImage shot = window.grab().toImage();
        // Developers look at the window by setting TAVRUNE_SCREENSHOT_DIR.
        if (const QString dir = qEnvironmentVariable("TAVRUNE_SCREENSHOT_DIR"); !dir.isEmpty())
            shot.save(dir + QStringLiteral("/main_window.png"));
        QCOMPARE(shot.pixelColor(shot.width() / 2, shot.height() / 2), QColor(0x0c, 0x0c, 0x0c));

        window.resize(300, 200); // cannot shrink below its minimum
        QCOMPARE(window.size(), QSize(800, 500));
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_main_window.moc"
