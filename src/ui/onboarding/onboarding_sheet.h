#pragma once

#include <QDialog>
#include <QPointer>

#include "openrouter/open_router_protocol.h"

#include <optional>

class AppState;
class BusySpinnerWidget;
class QLabel;
class QLineEdit;
class QPushButton;

using OpenRouterProtocol::KeyCheck;

/// @brief The window-modal sheet in which the user enters, tests and saves the OpenRouter API key.
///
/// Every presentation is a new sheet: the field starts with the stored key and no test result.
/// "Skip for Now" (and Escape) rejects, "Save & Continue" (and Return, when enabled) accepts
/// once the key is stored.
class OnboardingSheet final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(OnboardingSheet)

public:
    static constexpr QSize SheetSize{480, 500};

    /// How the last finished connection test ended.
    enum class TestOutcome { none, success, failure };

    OnboardingSheet(AppState *state, QWidget *parent);
    ~OnboardingSheet() override;

    QString apiKey() const;
    bool isTesting() const { return m_testing; }
    TestOutcome testOutcome() const { return m_outcome; }
    /// The text shown beside the test button ("Connected", "Invalid API key", ...); empty when idle.
    QString testResultText() const;
    /// The red save failure, empty unless the last save failed.
    QString saveErrorText() const;
    /// The line under the key field: where the stored key is kept, or that the keyring could not be read.
    QString storageNoteText() const;

    QLineEdit *keyField() const { return m_keyField; }
    QPushButton *testButton() const { return m_testButton; }
    QPushButton *skipButton() const { return m_skipButton; }
    QPushButton *saveButton() const { return m_saveButton; }

    void testConnection();
    /// The success line: "Connected", with the key's credit when OpenRouter told it.
    static QString successText(const KeyCheck &check);
    /// Stores the key as typed; closes the sheet only when the store kept it.
    void saveAndContinue();

Q_SIGNALS:
    /// A connection test finished and its outcome is shown.
    void testFinished();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void updateControls();
    void updateStorageNote();
    void showOutcome(TestOutcome outcome, const QString &message);

    AppState *m_state;
    QLineEdit *m_keyField = nullptr;
    QPushButton *m_testButton = nullptr;
    QPushButton *m_skipButton = nullptr;
    QPushButton *m_saveButton = nullptr;
    BusySpinnerWidget *m_spinner = nullptr;
    QLabel *m_resultSymbol = nullptr;
    QLabel *m_resultText = nullptr;
    QLabel *m_saveError = nullptr;
    QLabel *m_storageNote = nullptr;
    bool m_testing = false;
    /// The result line shows what the stored key had left at its last check, not a test of the field.
    bool m_showsStoredCredit = false;
    bool m_saving = false;
    TestOutcome m_outcome = TestOutcome::none;
    /// Counts started tests, so a late answer never lands on a newer test's row.
    quint64 m_testSerial = 0;
};

/// @brief Presents a new OnboardingSheet over `window` whenever the state's showOnboarding turns true,
/// and clears the flag when the sheet is dismissed.
class OnboardingPresenter final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(OnboardingPresenter)

public:
    OnboardingPresenter(AppState *state, QWidget *window);

    /// The sheet on screen, if any.
    OnboardingSheet *sheet() const { return m_sheet; }

Q_SIGNALS:
    void sheetShown(OnboardingSheet *sheet);

private:
    void present();

    AppState *m_state;
    QPointer<QWidget> m_window;
    QPointer<OnboardingSheet> m_sheet;
};
