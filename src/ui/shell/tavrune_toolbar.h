#pragma once

#include <QAbstractButton>
#include <QPointer>
#include <QToolBar>

class AppState;
class GenerationProgressView;
class PillPicker;

/// @brief A toolbar button that shows only its symbol; its text is the accessible name.
class ToolbarButton final : public QAbstractButton
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ToolbarButton)

public:
    ToolbarButton(AppState *state, const QString &label, const QString &symbolName, QWidget *parent = nullptr);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;

private:
    QPointer<AppState> m_state;
    QString m_symbolName;
    bool m_keyboardFocus = false; // the focus ring shows only for focus reached by keyboard
};

/// @brief The window toolbar: Add Folder, the view-mode picker, Regenerate All and the inspector
/// toggle, at the trailing end. Tooltips name the shortcuts; every control has an accessible name.
class TavruneToolbar final : public QToolBar
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TavruneToolbar)

public:
    explicit TavruneToolbar(AppState *state, QWidget *parent = nullptr);

    ToolbarButton *addFolderButton() const { return m_add; }
    PillPicker *viewModePicker() const { return m_viewMode; }
    ToolbarButton *regenerateAllButton() const { return m_regenerate; }
    ToolbarButton *inspectorToggle() const { return m_inspector; }
    /// "Generating 12 of 40…" and Stop, at the leading end while generations run.
    GenerationProgressView *generationProgress() const { return m_progress; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void sync();

    QPointer<AppState> m_state;
    ToolbarButton *m_add;
    PillPicker *m_viewMode;
    ToolbarButton *m_regenerate;
    ToolbarButton *m_inspector;
    GenerationProgressView *m_progress;
};
