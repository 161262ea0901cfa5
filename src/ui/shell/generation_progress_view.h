#pragma once

#include <QPointer>
#include <QWidget>

class AppState;
class QLabel;
class ToolbarButton;

/// @brief "Generating 12 of 40…" over a thin bar, with a Stop button: shown while generations run.
///
/// Follows the state's running count (every generation of the current run, whichever action
/// started it) and hides itself when none is left.
class GenerationProgressView final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(GenerationProgressView)

public:
    explicit GenerationProgressView(AppState *state, QWidget *parent = nullptr);

    /// The line shown for a run: the generation now being waited for, counted from one.
    static QString text(int ended, int total);

    QLabel *label() const { return m_label; }
    ToolbarButton *stopButton() const { return m_stop; }

private:
    class Bar;
    void sync();

    QPointer<AppState> m_state;
    QLabel *m_label;
    Bar *m_bar;
    ToolbarButton *m_stop;
};
