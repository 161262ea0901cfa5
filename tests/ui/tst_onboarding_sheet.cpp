#include "design/tokens.h"
#include "onboarding/onboarding_sheet.h"
#include "keys/keychain_service.h"
#include "state/app_state.h"

#include "fake_open_router.h"
#include "screenshot.h"
#include "test_files.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QJsonObject>
#include <QtTest>

#include <memory>

/// The API key sheet against a real local OpenRouter stand-in and the real key file.
class TestOnboardingSheet final : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<FakeOpenRouter> m_server = std::make_unique<FakeOpenRouter>();
    QWidget m_window;

    /// Raises the flag as the menu command does and returns the sheet that appeared.
    OnboardingSheet *present(AppState &state, OnboardingPresenter &presenter)
    {
        state.setShowOnboarding(true);
        return presenter.sheet();
    }

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("TAVRUNE_OPENROUTER_URL", m_server->baseUrl().toUtf8());
        Tokens::registerFonts();
        m_window.resize(1200, 750);
        m_window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&m_window));
    }

    void init()
    {
        QFile::remove(storedKeyPath());
        m_server->setValidKey(QStringLiteral("sk-or-good"));
        // Long enough to look at a test while it runs, short enough not to slow the suite.
        m_server->setKeyCheckDelay(std::chrono::milliseconds(150));
    }

    void emptyFieldDisablesTestAndSaveButNeverSkip()
    {
        AppState state;
        OnboardingSheet sheet(&state, &m_window);
        QVERIFY(sheet.apiKey().isEmpty());
        QVERIFY(!sheet.testButton()->isEnabled());
        QVERIFY(!sheet.saveButton()->isEnabled());
        QVERIFY(sheet.skipButton()->isEnabled());
        QCOMPARE(sheet.keyField()->echoMode(), QLineEdit::Password);
        QCOMPARE(sheet.size(), OnboardingSheet::SheetSize);
        QCOMPARE(sheet.windowModality(), Qt::WindowModal);
        saveScreenshot(&sheet, QStringLiteral("onboarding_empty"));

        // Return with nothing typed saves nothing and keeps the sheet.
        sheet.show();
        QTest::keyClick(sheet.keyField(), Qt::Key_Return);
        QVERIFY(sheet.isVisible());
        QVERIFY(!QFile::exists(storedKeyPath()));

        QTest::keyClicks(sheet.keyField(), QStringLiteral("x"));
        QVERIFY(sheet.testButton()->isEnabled());
        QVERIFY(sheet.saveButton()->isEnabled());
    }

    void showsWhatTheStoredKeyHadLeftWithoutATest()
    {
        QVERIFY(KeychainService::shared().save(QStringLiteral("sk-or-good")));
        AppState state;
        state.setKeyCreditLeft(4.9); // as the check at start finds it
        OnboardingSheet sheet(&state, &m_window);
        QCOMPARE(sheet.testResultText(), QStringLiteral("Connected · $4.90 left on this key"));
        saveScreenshot(&sheet, QStringLiteral("onboarding_stored_credit"));
        // Another key: the line was about the stored one.
        QTest::keyClicks(sheet.keyField(), QStringLiteral("x"));
        QVERIFY(sheet.testResultText().isEmpty());
    }

    void showsTheOutcomeOfATest_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<OnboardingSheet::TestOutcome>("outcome");
        QTest::addColumn<QString>("text");
        QTest::newRow("accepted") << QStringLiteral("sk-or-good") << OnboardingSheet::TestOutcome::success
                                  << QStringLiteral("Connected");
        QTest::newRow("refused with 401") << QStringLiteral("sk-or-bad") << OnboardingSheet::TestOutcome::failure
                                          << QStringLiteral("Invalid API key");
        QTest::newRow("credit left") << QStringLiteral("sk-or-good 4.9") << OnboardingSheet::TestOutcome::success
                                     << QStringLiteral("Connected · $4.90 left on this key");
        QTest::newRow("no limit") << QStringLiteral("sk-or-good null") << OnboardingSheet::TestOutcome::success
                                  << QStringLiteral("Connected · No spending limit on this key");
    }

    void showsTheOutcomeOfATest()
    {
        QFETCH(QString, key);
        QFETCH(OnboardingSheet::TestOutcome, outcome);
        QFETCH(QString, text);
        // "KEY CREDIT": the server reports this limit_remaining (a number, or null for none).
        const QString credit = key.section(u' ', 1);
        key = key.section(u' ', 0, 0);
        QJsonObject data;
        if (!credit.isEmpty())
            data.insert(QStringLiteral("limit_remaining"), credit == u"null" ? QJsonValue() : QJsonValue(credit.toDouble()));
        m_server->setKeyData(data);
        AppState state;
        OnboardingSheet sheet(&state, &m_window);
        sheet.show();
        QTest::keyClicks(sheet.keyField(), key);
        QSignalSpy finished(&sheet, &OnboardingSheet::testFinished);
        QTest::mouseClick(sheet.testButton(), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 15000);
        QCOMPARE(sheet.testResultText(), text);
        // A new test first clears the old result and holds the button until it ends.
        sheet.testConnection();
        QVERIFY(sheet.isTesting());
        QVERIFY(sheet.testResultText().isEmpty());
        QVERIFY(!sheet.testButton()->isEnabled());
        QVERIFY(finished.wait(15000));
        QVERIFY(!sheet.isTesting());
        QCOMPARE(sheet.testOutcome(), outcome);
        QCOMPARE(sheet.testResultText(), text);
        QVERIFY(sheet.testButton()->isEnabled());
        saveScreenshot(&sheet, QStringLiteral("onboarding_") + QTest::currentDataTag());
        // Testing never stores anything; the credit is kept for the question before a large batch.
        QVERIFY(!QFile::exists(storedKeyPath()));
        QCOMPARE(state.keyCreditLeft().has_value(), credit.toDouble() > 0);
        m_server->setKeyData({});
    }

    void keyWithSurroundingSpacesIsTestedAndSavedAsTyped()
    {
        const QString key = QStringLiteral("  sk-or-spaced  ");
        m_server->setValidKey(QString());
        AppState state;
        OnboardingPresenter presenter(&state, &m_window);
        OnboardingSheet *sheet = present(state, presenter);
        QVERIFY(sheet);
        sheet->keyField()->setText(key);
        m_server->reset();
        QSignalSpy finished(sheet, &OnboardingSheet::testFinished);
        sheet->testConnection();
        QVERIFY(finished.wait(15000));
        QCOMPARE(sheet->testResultText(), QStringLiteral("Connected"));
        const QList<RecordedRequest> requests = m_server->requests();
        QCOMPARE(requests.size(), 1);
        // The server drops trailing blanks from header values, as HTTP has it; the leading ones
        // show the key went out as typed.
        QCOMPARE(requests.at(0).header("Authorization"), QByteArray("Bearer   sk-or-spaced"));

        QTest::mouseClick(sheet->saveButton(), Qt::LeftButton);
        QCOMPARE(fileContent(storedKeyPath()), key.toUtf8());
        QVERIFY(!state.showOnboarding());
        QTRY_VERIFY(!presenter.sheet());
    }

    void reopeningShowsTheSavedKeyAndNoOldResult()
    {
        AppState state;
        OnboardingPresenter presenter(&state, &m_window);
        QPointer<OnboardingSheet> first = present(state, presenter);
        QVERIFY(first->keyField()->text().isEmpty());
        first->keyField()->setText(QStringLiteral("sk-or-bad"));
        QSignalSpy finished(first.data(), &OnboardingSheet::testFinished);
        first->testConnection();
        QVERIFY(finished.wait(15000));
        QCOMPARE(first->testResultText(), QStringLiteral("Invalid API key"));
        QTest::keyClick(first->keyField(), Qt::Key_Enter, Qt::KeypadModifier); // Return saves
        QVERIFY(!state.showOnboarding());
        QTRY_VERIFY(!first);

        OnboardingSheet *second = present(state, presenter);
        QVERIFY(second);
        QCOMPARE(second->keyField()->text(), QStringLiteral("sk-or-bad"));
        // No keyring on this test's bus was ever looked for: the key went to the private file.
        QCOMPARE(second->storageNoteText(), QStringLiteral("Stored in a private file on this computer"));
        QCOMPARE(second->testOutcome(), OnboardingSheet::TestOutcome::none);
        QVERIFY(second->testResultText().isEmpty());
        QVERIFY(second->isVisible());
    }

    void escapeSkipsWithoutSaving()
    {
        QVERIFY(KeychainService::shared().save(QStringLiteral("sk-or-kept")));
        AppState state;
        OnboardingPresenter presenter(&state, &m_window);
        OnboardingSheet *sheet = present(state, presenter);
        sheet->keyField()->setText(QStringLiteral("sk-or-typed-then-skipped"));
        QTest::keyClick(sheet->keyField(), Qt::Key_Escape);
        QVERIFY(!state.showOnboarding());
        QCOMPARE(fileContent(storedKeyPath()), QByteArray("sk-or-kept"));
    }

    void failedSaveKeepsTheSheetOpenAndSaysSo()
    {
        // Something that is not a key file sits where the key goes: the store cannot replace it.
        QVERIFY(QDir().mkpath(storedKeyPath()));
        AppState state;
        OnboardingPresenter presenter(&state, &m_window);
        OnboardingSheet *sheet = present(state, presenter);
        sheet->keyField()->setText(QStringLiteral("sk-or-unsaved"));
        QVERIFY(sheet->saveErrorText().isEmpty());
        QVERIFY(sheet->storageNoteText().isEmpty()); // nothing is stored anywhere yet
        QTest::mouseClick(sheet->saveButton(), Qt::LeftButton);
        QCOMPARE(sheet->saveErrorText(), QStringLiteral("Could not save the API key"));
        saveScreenshot(sheet, QStringLiteral("onboarding_save_failed"));
        QVERIFY(sheet->isVisible());
        QVERIFY(state.showOnboarding());
        QCOMPARE(presenter.sheet(), sheet);

        // Editing the key takes the stale message away; a save that works then closes the sheet.
        QTest::keyClicks(sheet->keyField(), QStringLiteral("2"));
        QVERIFY(sheet->saveErrorText().isEmpty());
        QVERIFY(QDir(storedKeyPath()).removeRecursively());
        QTest::mouseClick(sheet->saveButton(), Qt::LeftButton);
        QVERIFY(!state.showOnboarding());
        QCOMPARE(fileContent(storedKeyPath()), QByteArray("sk-or-unsaved2"));
    }

    void testRunningWhenTheSheetClosesNeverReachesALaterSheet()
    {
        AppState state;
        OnboardingPresenter presenter(&state, &m_window);
        OnboardingSheet *first = present(state, presenter);
        first->keyField()->setText(QStringLiteral("sk-or-bad"));
        first->testConnection();
        QVERIFY(first->isTesting());
        saveScreenshot(first, QStringLiteral("onboarding_testing"));
        first->reject();
        QVERIFY(!state.showOnboarding());

        OnboardingSheet *second = present(state, presenter);
        QVERIFY(second && second != first);
        QSignalSpy finished(second, &OnboardingSheet::testFinished);
        QVERIFY(!finished.wait(600));
        QCOMPARE(second->testOutcome(), OnboardingSheet::TestOutcome::none);
        QVERIFY(!second->isTesting());
        second->keyField()->setText(QStringLiteral("sk-or-next"));
        QVERIFY(second->testButton()->isEnabled());
    }

    void loweringTheFlagClosesTheSheet()
    {
        AppState state;
        OnboardingPresenter presenter(&state, &m_window);
        QPointer<OnboardingSheet> sheet = present(state, presenter);
        QVERIFY(sheet && sheet->isVisible());
        state.setShowOnboarding(false);
        QTRY_VERIFY(!sheet);
    }

    // Last: it takes the server away.
    void unreachableServerSaysConnectionFailed()
    {
        m_server.reset();
        AppState state;
        OnboardingSheet sheet(&state, &m_window);
        sheet.keyField()->setText(QStringLiteral("sk-or-good"));
        QSignalSpy finished(&sheet, &OnboardingSheet::testFinished);
        sheet.testConnection();
        // A refused connection may answer before testConnection() has even returned.
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 15000);
        QCOMPARE(sheet.testOutcome(), OnboardingSheet::TestOutcome::failure);
        QCOMPARE(sheet.testResultText(), QStringLiteral("Connection failed"));
    }
};

QTEST_MAIN(TestOnboardingSheet)
#include "tst_onboarding_sheet.moc"
