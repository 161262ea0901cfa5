#pragma once

#include "state/app_state.h"

#include <QMessageBox>

class QCheckBox;
class QPushButton;

/// @brief The question asked before a batch of more than ten paid generations starts.
///
/// "Regenerate 40 icons?", with the model and, when known, the estimated cost and the key's credit.
/// "Regenerate 40 Icons" goes ahead; "Cancel" and Escape do not. "Do not ask again" turns the
/// question off in the preferences (File ▸ Ask Before Large Batches turns it back on).
class BatchConfirmation final : public QMessageBox
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(BatchConfirmation)

public:
    BatchConfirmation(const AppState::BatchEstimate &estimate, QWidget *parent);

    /// Asks, window-modal over `parent`; true to start. A ticked "Do not ask again" is stored
    /// only when the batch goes ahead.
    static bool ask(AppState *state, const AppState::BatchEstimate &estimate, QWidget *parent);

    QPushButton *regenerateButton() const { return m_regenerate; }
    QPushButton *cancelButton() const { return m_cancel; }
    QCheckBox *doNotAskBox() const { return m_doNotAsk; }

private:
    QPushButton *m_regenerate = nullptr;
    QPushButton *m_cancel = nullptr;
    QCheckBox *m_doNotAsk = nullptr;
};
