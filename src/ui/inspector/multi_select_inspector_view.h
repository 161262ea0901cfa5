#pragma once

#include <QList>
#include <QPointer>
#include <QUuid>
#include <QWidget>

class AppState;
class FolderItem;
class MiniSwitch;
class PlainTextButton;
class PromptEditor;
class QLabel;
class QScrollArea;
class RoundedPanel;
class SelectedFoldersList;
class TavruneButton;

/// @brief The side panel for two or more selected folders: summary, the folder list, one shared
/// prompt, the model switch and the batch actions.
class MultiSelectInspectorView final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MultiSelectInspectorView)

public:
    explicit MultiSelectInspectorView(AppState *state, QWidget *parent = nullptr);
    ~MultiSelectInspectorView() override;

    /// The selected folders, in list order.
    void setFolders(const QList<FolderItem *> &folders);
    /// A fresh presentation: empty shared prompt, section expanded.
    void resetForNewPresentation();

    QString batchPrompt() const;
    bool hasBatchPrompt() const;
    bool anyGenerating() const { return m_anyGenerating; }
    int withImageCount() const { return m_withImage; }

    // The parts, for the window's tests and tools.
    QString summaryText() const;
    QString promptHintText() const;
    bool isPromptExpanded() const { return m_showPrompt; }
    void setPromptExpanded(bool expanded);
    PlainTextButton *promptToggle() const { return m_promptToggle; }
    PromptEditor *promptEditor() const { return m_editor; }
    PlainTextButton *clearPromptButton() const { return m_clearPrompt; }
    SelectedFoldersList *folderList() const { return m_list; }
    MiniSwitch *modelSwitch() const { return m_modelSwitch; }
    QString modelTitleText() const;
    QString modelDetailText() const;
    TavruneButton *generateButton() const { return m_generateButton; }
    TavruneButton *applyButton() const { return m_applyButton; }
    TavruneButton *removeButton() const { return m_removeButton; }
    QScrollArea *scrollArea() const { return m_scroll; }

    void generateAll();
    void applyAll();
    void removeAll();

private:
    void buildScrollingRegion(QWidget *content);
    void buildActionArea(QWidget *area);
    void foldersChanged();
    void refreshPromptHint();
    void refreshModel();
    void refreshAccent();

    AppState *m_state;
    QList<QPointer<FolderItem>> m_folders;
    bool m_showPrompt = true;
    bool m_anyGenerating = false;
    int m_withImage = 0;

    QScrollArea *m_scroll = nullptr;
    RoundedPanel *m_tile = nullptr;
    QLabel *m_count = nullptr;
    QLabel *m_summary = nullptr;
    SelectedFoldersList *m_list = nullptr;
    PlainTextButton *m_promptToggle = nullptr;
    QWidget *m_promptBody = nullptr;
    QLabel *m_hint = nullptr;
    PromptEditor *m_editor = nullptr;
    PlainTextButton *m_clearPrompt = nullptr;
    QLabel *m_modelSymbol = nullptr;
    QLabel *m_modelTitle = nullptr;
    QLabel *m_modelDetail = nullptr;
    MiniSwitch *m_modelSwitch = nullptr;
    TavruneButton *m_generateButton = nullptr;
    TavruneButton *m_applyButton = nullptr;
    TavruneButton *m_removeButton = nullptr;
};
