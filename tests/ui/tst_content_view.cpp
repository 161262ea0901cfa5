#include "grid/folder_grid_view.h"
#include "design/animation_clock.h"
#include "design/toast_view.h"
#include "design/tokens.h"
#include "keys/keychain_service.h"
#include "shell/content_view.h"
#include "shell/main_window.h"
#include "shell/tavrune_app.h"
#include "onboarding/onboarding_sheet.h"
#include "splash/splash_view.h"
#include "state/app_state.h"
#include "temp_tree.h"
#include "test_files.h"

#include <QAbstractItemView>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QGraphicsOpacityEffect>
#include <QLineEdit>
#include <QAccessible>
#include <QPushButton>
#include <QStackedWidget>
#include <QtTest>

/// The window's layers: the inspector slide, the toast overlay, the splash phase, the key check at
/// first show, and the folder chooser. Animations run on a frozen clock moved by the test.
class TestContentView final : public QObject
{
    Q_OBJECT

    TempTree m_tree;
    std::unique_ptr<AppState> m_state;
    std::unique_ptr<MainWindow> m_window;

    ContentView *content() const { return m_window->contentView(); }
    AnimationClock &clock() const { return AnimationClock::instance(); }
    void at(double seconds)
    {
        clock().setManualTime(seconds);
        // The views follow on the clock's next frame; a slow (sanitizer) build may take longer than a frame.
        if (clock().isTicking()) {
            QSignalSpy frame(&clock(), &AnimationClock::ticked);
            frame.wait(2000);
        }
        QTest::qWait(30);
    }
    void addFolders(int count)
    {
        QList<QUrl> urls;
        for (int i = 0; i < count; ++i)
            urls.append(QUrl::fromLocalFile(m_tree.makeDir(QStringLiteral("f%1").arg(i)) + QLatin1Char('/')));
        m_state->addFolders(urls);
    }

private Q_SLOTS:
    void initTestCase()
    {
        Tokens::registerFonts();
        QVERIFY(KeychainService::shared().save(QStringLiteral("sk-test")));
    }

    void init()
    {
        clock().setManualTime(100.0);
        m_state = std::make_unique<AppState>();
        m_window = std::make_unique<MainWindow>(m_state.get());
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    }

    void cleanup()
    {
        m_window.reset();
        m_state.reset();
        clock().setManualTime(std::nullopt);
    }

    void inspectorSlidesWithSelectionAndToggle()
    {
        QWidget *panel = content()->inspectorPanel();
        const int width = content()->width();
        QVERIFY(!panel->isVisible()); // nothing selected: out of the window

        addFolders(2);
        m_state->setSelectedFolderIDs({m_state->folders().at(0)->id()});
        QVERIFY(panel->isVisible());
        QCOMPARE(panel->x(), width); // starts fully outside
        at(100.125);                 // halfway through 0.25 s: ease-in-out is at half distance
        QVERIFY(qAbs(panel->x() - (width - 321 + 160)) <= 2);
        at(100.25);
        QCOMPARE(panel->geometry(), QRect(width - 321, 0, 321, content()->height()));
        QCOMPARE(content()->inspectorOffset(), 0.0);
        QCOMPARE(content()->inspectorSlot()->geometry(), QRect(1, 0, 320, content()->height()));
        QCOMPARE(content()->gridView()->width(), width); // the grid is not narrowed

        // The toggle hides it though the selection stays; turning it on brings it back.
        m_state->setInspectorVisible(false);
        at(100.5);
        QVERIFY(!panel->isVisible());
        QCOMPARE(m_state->selectedFolderIDs().size(), 1);
        m_state->setInspectorVisible(true);
        at(100.8);
        QCOMPARE(panel->x(), width - 321);

        // Deselecting hides it while the toggle stays on; a reversal midway starts from where it is.
        m_state->deselectAll();
        at(100.9);
        const int midway = panel->x();
        QVERIFY(midway > width - 321 && midway < width);
        m_state->setSelectedFolderIDs({m_state->folders().at(1)->id()});
        at(100.9001);
        QVERIFY(qAbs(panel->x() - midway) <= 1);
        at(101.5);
        QCOMPARE(panel->x(), width - 321);
        QVERIFY(m_state->isInspectorVisible());
    }

    void toastSlidesInAndLeavesAfterItsTime()
    {
        m_state->setToastDuration(std::chrono::milliseconds(200));
        ToastView *toast = content()->toastView();
        QVERIFY(!toast->isVisible());
        m_state->showToast(Toast::Kind::success, QStringLiteral("Icon ready for \u201cf0\u201d"));
        QTRY_VERIFY(toast->isVisible());
        QCOMPARE(toast->toast().message, QStringLiteral("Icon ready for \u201cf0\u201d"));
        at(103.0);
        // Resting: bottom centre, the capsule 28 px above the bottom edge.
        const QRectF capsule = content()->toastView()->capsuleRect().translated(toast->pos());
        QVERIFY(qAbs(capsule.bottom() - (content()->height() - 28)) <= 1.0);
        QVERIFY(qAbs(capsule.center().x() - content()->width() / 2.0) <= 1.0);
        QCOMPARE(toast->opacity(), 1.0);

        // The state takes it away; it slides out and fades, then hides.
        QTRY_VERIFY(!m_state->activeToast().has_value());
        at(103.1);
        QVERIFY(toast->isVisible());
        QVERIFY(toast->opacity() < 1.0 && toast->opacity() > 0.0);
        at(104.0);
        QVERIFY(!toast->isVisible());
    }

    void longToastMessagesAreCutToTwoLines()
    {
        ToastView view;
        view.setMaximumCapsuleWidth(400);
        view.setToast({Toast::Kind::error, QString(QStringLiteral("word ")).repeated(80).trimmed()});
        QCOMPARE(view.displayedLines().size(), 2);
        QVERIFY(view.displayedLines().last().endsWith(QChar(0x2026)));
        view.setToast({Toast::Kind::info, QStringLiteral("short")});
        QCOMPARE(view.displayedLines(), QStringList{QStringLiteral("short")});
        QVERIFY(view.capsuleRect().width() < 200);
    }

    void splashCoversThenFadesAndGoes()
    {
        auto *splash = new QWidget;
        QPointer<QWidget> watch(splash);
        QSignalSpy finished(content(), &ContentView::splashFinished);
        auto *grid = content()->findChild<FolderGridView *>();
        QVERIFY(grid);
        content()->startSplash(splash, std::chrono::milliseconds(4500), 1.0); // shown at 100 s
        QVERIFY(content()->showSplash());
        QCOMPARE(splash->geometry(), content()->rect());
        // Under the splash the grid takes no input and holds no focus; screen readers skip the splash.
        QVERIFY(!grid->isEnabled());
        QVERIFY(m_window->focusWidget() != grid);
        QVERIFY(!splash->testAttribute(Qt::WA_TransparentForMouseEvents));
        QAccessibleInterface *layers = QAccessible::queryAccessibleInterface(content());
        for (int i = 0; i < layers->childCount(); ++i)
            QVERIFY(layers->child(i)->object() != splash);
        at(104.4);
        QVERIFY(!splash->graphicsEffect()); // still holding
        at(105.0);                          // halfway through the ease-in-out fade
        auto *effect = qobject_cast<QGraphicsOpacityEffect *>(splash->graphicsEffect());
        QVERIFY(effect && qAbs(effect->opacity() - 0.5) < 0.02);
        QVERIFY(content()->showSplash());
        at(105.5);
        QCOMPARE(finished.size(), 1);
        QVERIFY(!content()->showSplash());
        QTRY_VERIFY(watch.isNull());
        QVERIFY(grid->isEnabled());
        QCOMPARE(m_window->focusWidget(), grid);
    }

    void launchSplashCoversLiveContentThenLeavesNothingBehind()
    {
        // No key stored: the onboarding sheet opens at launch, over the splash.
        QFile::remove(storedKeyPath());
        m_window.reset();
        clock().setManualTime(200.0);
        auto app = std::make_unique<TavruneApp>(TavruneApp::Options{.splashSeed = 11u});
        // A folder in the list, so the grid's empty state (which pulses for as long as it shows)
        // does not keep the clock running.
        app->state().addFolders({QUrl::fromLocalFile(m_tree.makeDir(QStringLiteral("launch")) + QLatin1Char('/'))});
        ContentView *view = app->window().contentView();
        auto *splash = qobject_cast<SplashView *>(view->splash());
        QVERIFY(splash);
        QPointer<SplashSceneView> field = splash->sceneView();
        struct PaintCounter : QObject
        {
            int paints = 0;
            bool eventFilter(QObject *, QEvent *event) override
            {
                paints += event->type() == QEvent::Paint;
                return false;
            }
        } grid;
        view->gridView()->installEventFilter(&grid);
        for (QWidget *child : view->gridView()->findChildren<QWidget *>())
            child->installEventFilter(&grid);

        app->show();
        QVERIFY(QTest::qWaitForWindowExposed(&app->window()));
        // The content is live and has painted its first frame behind the splash; after that the
        // splash covers it without repainting it on every frame of the field.
        QTRY_VERIFY(grid.paints > 0);
        QTRY_VERIFY(splash->testAttribute(Qt::WA_OpaquePaintEvent));
        auto *presenter = app->window().findChild<OnboardingPresenter *>();
        QVERIFY(presenter);
        QTRY_VERIFY(presenter->sheet() && presenter->sheet()->isVisible());
        QVERIFY(presenter->sheet()->isWindow() && view->showSplash());

        at(204.4);
        QCOMPARE(splash->property("fadeOpacity").toReal(), 1.0);
        at(205.0);
        QVERIFY(qAbs(splash->property("fadeOpacity").toReal() - 0.5) < 0.02);
        QCOMPARE(field->fadeOpacity(), splash->fadeOpacity()); // the field fades with it
        at(205.5);
        QVERIFY(!view->showSplash());
        QTRY_VERIFY(field.isNull());
        QVERIFY(app->window().findChildren<SplashView *>().isEmpty());
        // Nothing of the splash keeps the clock, or anything else, running.
        QTRY_COMPARE(clock().animatingCount(), 0);
        QTRY_VERIFY(!clock().isTicking());
        QVERIFY(KeychainService::shared().save(QStringLiteral("sk-test")));
    }

    void keyAtFirstShowDecidesOnboarding_data()
    {
        QTest::addColumn<std::optional<QByteArray>>("keyFileContent");
        QTest::addColumn<bool>("onboarding");
        QTest::newRow("stored key") << std::optional<QByteArray>("sk-or-1") << false;
        QTest::newRow("empty key still counts") << std::optional<QByteArray>("") << false;
        QTest::newRow("no key file") << std::optional<QByteArray>() << true;
        QTest::newRow("not UTF-8") << std::optional<QByteArray>("\xff\xfe\x80") << true;
    }
    void keyAtFirstShowDecidesOnboarding()
    {
        QFETCH(std::optional<QByteArray>, keyFileContent);
        QFETCH(bool, onboarding);
        QFile::remove(storedKeyPath());
        if (keyFileContent) {
            QVERIFY(KeychainService::shared().save(QStringLiteral("x"))); // makes the key's directory
            QVERIFY(writeFile(storedKeyPath(), *keyFileContent));
        }
        AppState state;
        MainWindow window(&state);
        QVERIFY(!state.showOnboarding()); // decided when the content first shows, not before
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(state.showOnboarding(), onboarding);
        QVERIFY(KeychainService::shared().save(QStringLiteral("sk-test")));
    }

    void folderChooserTakesSeveralFolders()
    {
        const QString a = m_tree.makeDir(QStringLiteral("chooser/One"));
        const QString b = m_tree.makeDir(QStringLiteral("chooser/Two"));
        QList<QUrl> chosen;
        QTimer::singleShot(0, this, [&] {
            auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
            if (!dialog) {
                QTimer::singleShot(20, this, [] {}); // not there yet; the wait below fails the test
                return;
            }
            QCOMPARE(dialog->windowTitle(), QStringLiteral("Select folders to generate icons for"));
            QCOMPARE(dialog->labelText(QFileDialog::Accept), QStringLiteral("Add Folders"));
            QCOMPARE(dialog->fileMode(), QFileDialog::Directory);
            QCOMPARE(dialog->findChild<QAbstractItemView *>(QStringLiteral("listView"))->selectionMode(),
                     QAbstractItemView::ExtendedSelection);
            dialog->setDirectory(m_tree.filePath(QStringLiteral("chooser")));
            dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(QStringLiteral("\"One\" \"Two\""));
            dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Open)->click();
        });
        chosen = TavruneApp::chooseFolders(m_window.get());
        QCOMPARE(chosen, QList<QUrl>({QUrl::fromLocalFile(a + QLatin1Char('/')), QUrl::fromLocalFile(b + QLatin1Char('/'))}));
    }
};

QTEST_MAIN(TestContentView)
#include "tst_content_view.moc"
