#include "inspector/multi_select_inspector_view.h"

#include "shell/generation_progress_view.h"

#include "design/symbols.h"
#include "design/tavrune_button.h"
#include "design/tokens.h"
#include "inspector/mini_switch.h"
#include "inspector/panel_widgets.h"
#include "inspector/prompt_editor.h"
#include "inspector/selected_folders_list.h"
#include "models/folder_item.h"
#include "state/app_state.h"

#include <QBoxLayout>
#include <QLayout>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>

namespace {
constexpr int Inset = 16;
constexpr int SectionSpacing = 16;
} // namespace

MultiSelectInspectorView::MultiSelectInspectorView(AppState *state, QWidget *parent)
    : QWidget(parent)
    , m_state(state)
{
    m_scroll = layOutInspectorPanel(
        this, [this](QWidget *content) { buildScrollingRegion(content); },
        [this](QWidget *actions) { buildActionArea(actions); });

    connect(m_state, &AppState::useFastModelChanged, this, &MultiSelectInspectorView::refreshModel);
    connect(m_state, &AppState::selectedThemeChanged, this, &MultiSelectInspectorView::refreshAccent);
    refreshModel();
    refreshAccent();
    foldersChanged();
}

MultiSelectInspectorView::~MultiSelectInspectorView() = default;

void MultiSelectInspectorView::buildScrollingRegion(QWidget *content)
{
    auto *column = new QVBoxLayout(content);
    column->setContentsMargins(Inset, Inset, Inset, Inset);
    column->setSpacing(SectionSpacing);

    auto *header = new QHBoxLayout;
    header->addWidget(makeLabel(tr("BATCH SELECTION"), captionFont(9), Tokens::white(0.22), content));
    header->addStretch(1);
    auto *close = new PlainTextButton(QString(), Tokens::uiFont(10, QFont::Medium), Tokens::white(0.25), content);
    close->setSymbol(QStringLiteral("xmark"), 10);
    close->setToolTip(tr("Close"));
    close->setAccessibleName(tr("Close"));
    connect(close, &QAbstractButton::clicked, this, [this] { m_state->deselectAll(); });
    header->addWidget(close);
    column->addLayout(header);

    // Summary: the count on an accent tile, and what it means beside it.
    auto *summary = new QHBoxLayout;
    summary->setSpacing(12);
    m_tile = new RoundedPanel(Qt::transparent, 10, content);
    m_tile->setFixedSize(44, 44);
    auto *tileLayout = new QVBoxLayout(m_tile);
    tileLayout->setContentsMargins(0, 0, 0, 0);
    m_count = makeLabel(QString(), Tokens::uiFont(20, QFont::Bold), Qt::white, m_tile);
    m_count->setAlignment(Qt::AlignCenter);
    tileLayout->addWidget(m_count);
    summary->addWidget(m_tile);
    auto *summaryTexts = new QVBoxLayout;
    summaryTexts->setSpacing(2);
    summaryTexts->addStretch(1);
    m_summary = makeLabel(QString(), Tokens::uiFont(14, QFont::DemiBold), Qt::white, content, true);
    summaryTexts->addWidget(m_summary);
    summaryTexts->addWidget(
        makeLabel(tr("Batch actions available below"), Tokens::uiFont(11), Tokens::white(0.35), content, true));
    summaryTexts->addStretch(1);
    summary->addLayout(summaryTexts, 1);
    column->addLayout(summary);

    column->addWidget(new DividerLine(Tokens::white(0.06), content));

    auto *listSection = new QVBoxLayout;
    listSection->setSpacing(8);
    listSection->addWidget(makeLabel(tr("SELECTED FOLDERS"), captionFont(9), Tokens::white(0.22), content));
    m_list = new SelectedFoldersList(m_state, content);
    listSection->addWidget(m_list);
    column->addLayout(listSection);

    column->addWidget(new DividerLine(Tokens::white(0.06), content));

    auto *prompt = new QVBoxLayout;
    prompt->setSpacing(8);
    m_promptToggle = new PlainTextButton(tr("SHARED PROMPT"), captionFont(9), Tokens::white(0.22), content);
    m_promptToggle->setSymbol(QStringLiteral("chevron.down"), 8);
    connect(m_promptToggle, &QAbstractButton::clicked, this, [this] { setPromptExpanded(!m_showPrompt); });
    prompt->addWidget(m_promptToggle);
    m_promptBody = new QWidget(content);
    auto *body = new QVBoxLayout(m_promptBody);
    body->setContentsMargins(0, 0, 0, 0);
    body->setSpacing(8);
    m_hint = makeLabel(QString(), Tokens::monoFont(10), Tokens::white(0.35), m_promptBody, true);
    body->addWidget(m_hint);
    m_editor = new PromptEditor(tr("Type a shared prompt for all selected folders..."), 100, m_promptBody);
    connect(m_editor, &QPlainTextEdit::textChanged, this, &MultiSelectInspectorView::refreshPromptHint);
    body->addWidget(m_editor);
    m_clearPrompt = new PlainTextButton(tr("Clear Prompt"), Tokens::monoFont(10), Qt::white, m_promptBody);
    connect(m_clearPrompt, &QAbstractButton::clicked, this, [this] { m_editor->replaceText(QString()); });
    body->addWidget(m_clearPrompt, 0, Qt::AlignLeft);
    prompt->addWidget(m_promptBody);
    column->addLayout(prompt);
    column->addStretch(1);
}

void MultiSelectInspectorView::buildActionArea(QWidget *area)
{
    auto *column = new QVBoxLayout(area);
    column->setContentsMargins(Inset, Inset, Inset, Inset);
    column->setSpacing(8);

    auto *box = new RoundedPanel(Tokens::white(0.03), 8, area);
    auto *boxRow = new QHBoxLayout(box);
    boxRow->setContentsMargins(10, 8, 10, 8);
    boxRow->setSpacing(8);
    m_modelSymbol = makeSymbolLabel(u"tortoise.fill", 11, Qt::white, box);
    boxRow->addWidget(m_modelSymbol);
    auto *labels = new QVBoxLayout;
    labels->setSpacing(1);
    m_modelTitle = makeLabel(QString(), Tokens::uiFont(11, QFont::Medium), Tokens::white(0.8), box);
    labels->addWidget(m_modelTitle);
    m_modelDetail = makeLabel(QString(), Tokens::monoFont(9), Tokens::white(0.35), box);
    labels->addWidget(m_modelDetail);
    boxRow->addLayout(labels, 1);
    m_modelSwitch = new MiniSwitch(m_state, box);
    m_modelSwitch->setAccessibleName(tr("Fast mode"));
    connect(m_modelSwitch, &QAbstractButton::toggled, this, [this](bool on) { m_state->setUseFastModel(on); });
    boxRow->addWidget(m_modelSwitch);
    column->addWidget(box);

    m_generateButton = new TavruneButton(m_state, tr("Regenerate All Selected"),
                                         QStringLiteral("arrow.clockwise"), false, QString(), area);
    connect(m_generateButton, &QAbstractButton::clicked, this, &MultiSelectInspectorView::generateAll);
    // The running count and Stop, as in the toolbar.
    column->addWidget(new GenerationProgressView(m_state, area), 0, Qt::AlignLeft);
    column->addWidget(m_generateButton);
    m_applyButton = new TavruneButton(m_state, tr("Apply All Icons (%1)").arg(0),
                                      QStringLiteral("checkmark.circle.fill"), true, QString(), area);
    connect(m_applyButton, &QAbstractButton::clicked, this, &MultiSelectInspectorView::applyAll);
    column->addWidget(m_applyButton);
    m_removeButton = new TavruneButton(m_state, tr("Remove All Selected"), QStringLiteral("trash"), false,
                                       QString(), area);
    connect(m_removeButton, &QAbstractButton::clicked, this, &MultiSelectInspectorView::removeAll);
    column->addWidget(m_removeButton);
}

void MultiSelectInspectorView::setFolders(const QList<FolderItem *> &folders)
{
    // Only the folders that joined or left the selection are (dis)connected: growing a large
    // selection by one folder costs one connection, not a thousand.
    QSet<FolderItem *> incoming(folders.cbegin(), folders.cend());
    QSet<FolderItem *> current;
    current.reserve(m_folders.size());
    for (const QPointer<FolderItem> &folder : std::as_const(m_folders)) {
        if (!folder)
            continue;
        current.insert(folder);
        if (!incoming.contains(folder))
            disconnect(folder, nullptr, this, nullptr);
    }
    for (FolderItem *folder : folders) {
        if (current.contains(folder))
            continue;
        connect(folder, &FolderItem::iconStateChanged, this, &MultiSelectInspectorView::foldersChanged);
        connect(folder, &FolderItem::generatedImageChanged, this, &MultiSelectInspectorView::foldersChanged);
    }
    m_folders.clear();
    m_folders.reserve(folders.size());
    for (FolderItem *folder : folders)
        m_folders.append(folder);

    m_list->setFolders(folders);
    // The list's height just changed by up to thousands of pixels: lay the region out now, also
    // when the panel is hidden (a hidden region would otherwise keep its old layout after showing).
    m_scroll->widget()->layout()->activate();
    const int count = int(folders.size());
    m_count->setText(QString::number(count));
    // Four digits and more would overflow the tile: the number shrinks until it fits.
    QFont countFont = Tokens::uiFont(20, QFont::Bold);
    for (int size = 20; size > 9 && QFontMetrics(countFont).horizontalAdvance(m_count->text()) > m_tile->width() - 6; --size)
        countFont = Tokens::uiFont(size - 1, QFont::Bold);
    m_count->setFont(countFont);
    m_summary->setText(tr("%n folders selected", nullptr, count));
    foldersChanged();
}

void MultiSelectInspectorView::resetForNewPresentation()
{
    m_editor->setPlainText(QString());
    setPromptExpanded(true);
    m_scroll->verticalScrollBar()->setValue(0);
}

QString MultiSelectInspectorView::batchPrompt() const
{
    return m_editor->toPlainText();
}

bool MultiSelectInspectorView::hasBatchPrompt() const
{
    return !batchPrompt().trimmed().isEmpty();
}

QString MultiSelectInspectorView::summaryText() const
{
    return m_summary->text();
}

QString MultiSelectInspectorView::promptHintText() const
{
    return m_hint->text();
}

void MultiSelectInspectorView::setPromptExpanded(bool expanded)
{
    m_showPrompt = expanded;
    m_promptBody->setVisible(expanded);
    m_promptToggle->setSymbol(expanded ? QStringLiteral("chevron.down") : QStringLiteral("chevron.right"), 8);
}

QString MultiSelectInspectorView::modelTitleText() const
{
    return m_modelTitle->text();
}

QString MultiSelectInspectorView::modelDetailText() const
{
    return m_modelDetail->text();
}

void MultiSelectInspectorView::generateAll()
{
    if (m_anyGenerating)
        return;
    QList<QUuid> ids;
    ids.reserve(m_folders.size());
    for (const QPointer<FolderItem> &folder : std::as_const(m_folders)) {
        if (folder)
            ids.append(folder->id());
    }
    if (hasBatchPrompt()) {
        const QString shared = batchPrompt().trimmed();
        for (const QUuid &id : std::as_const(ids)) {
            if (const FolderItemPtr folder = m_state->folder(id))
                folder->setCustomPrompt(shared);
        }
    }
    // Every generation starts now (a large batch is asked about first); the panel follows them
    // through the folders' states.
    m_state->regenerate(ids);
}

void MultiSelectInspectorView::applyAll()
{
    if (m_anyGenerating || m_withImage == 0)
        return;
    m_state->applySelectedIcons();
}

void MultiSelectInspectorView::removeAll()
{
    if (m_anyGenerating)
        return;
    // One step: Undo brings them all back.
    m_state->removeFolders(m_state->selectedFolderIDs());
}

void MultiSelectInspectorView::foldersChanged()
{
    bool anyGenerating = false;
    int withImage = 0;
    for (const QPointer<FolderItem> &folder : std::as_const(m_folders)) {
        if (!folder)
            continue;
        anyGenerating = anyGenerating || folder->iconState().is(IconState::Kind::generating);
        withImage += folder->generatedImage().isNull() ? 0 : 1;
    }
    m_anyGenerating = anyGenerating;
    m_withImage = withImage;

    m_applyButton->setText(tr("Apply All Icons (%1)").arg(withImage));
    m_applyButton->setVisible(withImage > 0);
    for (TavruneButton *button : {m_generateButton, m_applyButton, m_removeButton}) {
        button->setEnabled(!anyGenerating);
    }
    m_list->foldersChanged(anyGenerating);
}

void MultiSelectInspectorView::refreshPromptHint()
{
    const bool shared = hasBatchPrompt();
    m_hint->setText(shared ? tr("This prompt will be applied to all selected folders.")
                           : tr("Leave empty to use each folder's auto-generated prompt."));
    m_editor->setBorderColour(shared ? Tokens::withOpacity(Tokens::accent(*m_state), 0.3) : Tokens::white(0.06));
    m_clearPrompt->setVisible(shared);
    m_generateButton->setText(shared ? tr("Generate All with Prompt")
                                      : tr("Regenerate All Selected"));
}

void MultiSelectInspectorView::refreshModel()
{
    const bool fast = m_state->useFastModel();
    {
        const QSignalBlocker blocker(m_modelSwitch);
        m_modelSwitch->setChecked(fast);
    }
    setSymbol(m_modelSymbol, fast ? u"hare.fill" : u"tortoise.fill");
    setTextColour(m_modelSymbol,
                  fast ? Tokens::yellow() : Tokens::withOpacity(Tokens::accent(*m_state), 0.7));
    m_modelTitle->setText(fast ? tr("Fast mode (Gemini)") : tr("Quality mode (ChatGPT)"));
    m_modelDetail->setText(fast ? tr("~10 sec per icon") : tr("1–3 min per icon"));
}

void MultiSelectInspectorView::refreshAccent()
{
    const QColor accent = Tokens::accent(*m_state);
    m_tile->setFill(Tokens::withOpacity(accent, 0.15));
    setTextColour(m_count, accent);
    m_clearPrompt->setColour(Tokens::withOpacity(accent, 0.8));
    refreshPromptHint();
    refreshModel();
}
