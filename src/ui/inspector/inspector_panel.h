#pragma once

#include <QStackedWidget>

class AppState;
class FolderInspectorView;
class MultiSelectInspectorView;

/// @brief The inspector's content: the folder inspector for one selected folder, the batch
/// inspector for several, an empty panel for none; it follows the selection by itself.
///
/// Both inspectors are made once and rebound on every change, so switching the selection never
/// builds widgets. Bursts of changes (removing many folders) are folded into one update.
class InspectorPanel final : public QStackedWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(InspectorPanel)

public:
    explicit InspectorPanel(AppState *state, QWidget *parent = nullptr);

    FolderInspectorView *folderInspector() const { return m_single; }
    MultiSelectInspectorView *multiSelectInspector() const { return m_multi; }

    /// Brings the panel up to date with the selection now, instead of at the next event loop turn.
    void syncWithSelection();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void scheduleSync();

    AppState *m_state;
    QWidget *m_empty;
    FolderInspectorView *m_single;
    MultiSelectInspectorView *m_multi;
    bool m_syncPending = false;
};
