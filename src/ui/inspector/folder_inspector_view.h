#pragma once

#include <QPointer>

#include <optional>
#include <QWidget>

class AppState;
class DividerLine;
class ElidedLabel;
class FolderItem;
class HistoryStrip;
class IconPreviewView;
class PlainTextButton;
class PromptEditor;
class QLabel;
class QScrollArea;
class TavruneButton;

/// @brief The side panel for exactly one selected folder: preview, name, the editable prompt,
/// the last failure, and the regenerate, apply and reset actions.
///
/// One instance serves every folder: switching folders rebinds it, and live changes of the
/// folder update only the parts they touch.
class FolderInspectorView final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FolderInspectorView)

public:
    explicit FolderInspectorView(AppState *state, QWidget *parent = nullptr);
    ~FolderInspectorView() override;

    void setFolder(FolderItem *folder);
    FolderItem *folder() const { return m_folder; }
    /// A fresh presentation: the prompt section starts expanded again.
    void resetForNewPresentation();

    /// The prompt the builder makes for this folder: what "Use Auto As Base" puts in the editor.
    QString autoPrompt() const;
    /// "Cost: $0.039" under the preview; empty when the cost is not known.
    static QString costText(const std::optional<double> &cost);

    // The parts, for the window's tests and tools.
    bool isPromptExpanded() const { return m_showPrompt; }
    void setPromptExpanded(bool expanded);
    QString modeText() const;
    PlainTextButton *modeButton() const { return m_modeButton; }
    PlainTextButton *promptToggle() const { return m_promptToggle; }
    PromptEditor *editor() const { return m_editor; }
    QString footnoteText() const;
    bool isErrorBoxShown() const;
    QString errorText() const;
    /// The cost line under the preview, empty while it is hidden.
    QString costLineText() const;
    PlainTextButton *updateKeyButton() const { return m_updateKeyButton; }
    TavruneButton *regenerateButton() const { return m_regenerateButton; }
    TavruneButton *applyButton() const { return m_applyButton; }
    TavruneButton *resetButton() const { return m_resetButton; }
    /// Shown while the folder's generation runs.
    TavruneButton *stopButton() const { return m_stopButton; }
    IconPreviewView *preview() const { return m_preview; }
    HistoryStrip *historyStrip() const { return m_history; }
    ElidedLabel *nameLabel() const { return m_name; }
    QLabel *categoryLabel() const { return m_category; }
    QScrollArea *scrollArea() const { return m_scroll; }

    void regenerate();
    void apply();
    void resetIcon();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    /// The prompt typed since the last commit becomes one undoable step.
    void commitPrompt();
    void buildScrollingRegion(QWidget *content);
    void buildActionArea(QWidget *area);
    void refreshAll();
    void refreshName();
    void refreshIconState();
    void refreshPrompt(bool folderSwitched);
    void refreshFootnote();
    void refreshAccent();
    void toggleMode();

    AppState *m_state;
    QPointer<FolderItem> m_folder;
    bool m_showPrompt = true;
    bool m_writingPrompt = false;
    /// The folder's prompt as of its last undo step: typing since then is one edit, committed when
    /// the editor loses the focus, Return regenerates, the mode changes or another folder is shown.
    QString m_committedPrompt;

    QScrollArea *m_scroll = nullptr;
    IconPreviewView *m_preview = nullptr;
    HistoryStrip *m_history = nullptr;
    QLabel *m_cost = nullptr;
    ElidedLabel *m_name = nullptr;
    QLabel *m_categorySymbol = nullptr;
    QLabel *m_category = nullptr;
    PlainTextButton *m_promptToggle = nullptr;
    QWidget *m_promptBody = nullptr;
    QLabel *m_mode = nullptr;
    PlainTextButton *m_modeButton = nullptr;
    PromptEditor *m_editor = nullptr;
    QLabel *m_footnote = nullptr;
    QWidget *m_errorBox = nullptr;
    QLabel *m_errorText = nullptr;
    PlainTextButton *m_updateKeyButton = nullptr;
    TavruneButton *m_regenerateButton = nullptr;
    TavruneButton *m_applyButton = nullptr;
    TavruneButton *m_resetButton = nullptr;
    TavruneButton *m_stopButton = nullptr;
};
