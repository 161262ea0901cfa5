#include "inspector/folder_inspector_view.h"

#include "design/symbols.h"
#include "design/tavrune_button.h"
#include "design/tokens.h"
#include "inspector/history_strip.h"
#include "inspector/icon_preview_view.h"
#include "inspector/panel_widgets.h"
#include "inspector/prompt_editor.h"
#include "models/folder_item.h"
#include "content/prompt_builder.h"
#include "state/app_state.h"

#include <QCoreApplication>
#include <QBoxLayout>
#include <QEvent>
#include <QLayout>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>

namespace {

constexpr int Inset = 16;
constexpr int SectionSpacing = 20;
constexpr int ActionSpacing = 8;

const char *const AuthenticationFailureText =
    QT_TRANSLATE_NOOP("FolderInspectorView", "Invalid or expired API key. Please update your OpenRouter API key.");
const char *const LockedFootnote = QT_TRANSLATE_NOOP("FolderInspectorView",
    "Manual text is allowed. Consistency mode still aligns overall family style unless you switch to Individual.");
const char *const IndividualFootnote =
    QT_TRANSLATE_NOOP("FolderInspectorView", "Manual text is fully editable. Individual mode maximizes uniqueness per folder.");

bool isManualPrompt(const QString &prompt)
{
    return !prompt.trimmed().isEmpty();
}

} // namespace

FolderInspectorView::FolderInspectorView(AppState *state, QWidget *parent)
    : QWidget(parent)
    , m_state(state)
{
    m_scroll = layOutInspectorPanel(
        this, [this](QWidget *content) { buildScrollingRegion(content); },
        [this](QWidget *actions) { buildActionArea(actions); });

    connect(m_state, &AppState::maintainThemeConsistencyChanged, this, &FolderInspectorView::refreshFootnote);
    connect(m_state, &AppState::selectedThemeChanged, this, &FolderInspectorView::refreshAccent);
    refreshAll();
}

FolderInspectorView::~FolderInspectorView() = default;

void FolderInspectorView::buildScrollingRegion(QWidget *content)
{
    auto *column = new QVBoxLayout(content);
    column->setContentsMargins(Inset, Inset, Inset, Inset);
    column->setSpacing(SectionSpacing);

    // Header.
    auto *header = new QHBoxLayout;
    header->addWidget(makeLabel(tr("FOLDER DETAILS"), captionFont(9), Tokens::white(0.22), content));
    header->addStretch(1);
    auto *close = new PlainTextButton(QString(), Tokens::uiFont(10, QFont::Medium), Tokens::white(0.25), content);
    close->setSymbol(QStringLiteral("xmark"), 10);
    close->setToolTip(tr("Close"));
    close->setAccessibleName(tr("Close"));
    connect(close, &QAbstractButton::clicked, this, [this] { m_state->deselectAll(); });
    header->addWidget(close);
    column->addLayout(header);

    m_preview = new IconPreviewView(m_state, content);
    column->addWidget(m_preview);
    m_history = new HistoryStrip(m_state, content);
    column->addWidget(m_history);
    m_cost = makeLabel(QString(), Tokens::monoFont(10), Tokens::white(0.45), content);
    m_cost->setAlignment(Qt::AlignHCenter);
    m_cost->hide();
    column->addWidget(m_cost);

    // Name block.
    auto *nameBlock = new QVBoxLayout;
    nameBlock->setSpacing(6);
    m_name = new ElidedLabel(content);
    m_name->setFont(Tokens::uiFont(15, QFont::DemiBold));
    m_name->setColour(Qt::white);
    nameBlock->addWidget(m_name);
    auto *categoryRow = new QHBoxLayout;
    categoryRow->setSpacing(5);
    m_categorySymbol = makeSymbolLabel(u"folder.fill", 11, Tokens::white(0.35), content);
    categoryRow->addWidget(m_categorySymbol, 0, Qt::AlignTop);
    m_category = makeLabel(QString(), Tokens::monoFont(11), Tokens::white(0.35), content, true);
    categoryRow->addWidget(m_category, 1);
    nameBlock->addLayout(categoryRow);
    column->addLayout(nameBlock);

    column->addWidget(new DividerLine(Tokens::white(0.06), content));

    // Prompt section.
    auto *prompt = new QVBoxLayout;
    prompt->setSpacing(10);
    m_promptToggle = new PlainTextButton(tr("PROMPT (EDITABLE)"), captionFont(9), Tokens::white(0.22), content);
    m_promptToggle->setSymbol(QStringLiteral("chevron.down"), 8);
    connect(m_promptToggle, &QAbstractButton::clicked, this, [this] { setPromptExpanded(!m_showPrompt); });
    prompt->addWidget(m_promptToggle);

    m_promptBody = new QWidget(content);
    auto *body = new QVBoxLayout(m_promptBody);
    body->setContentsMargins(0, 0, 0, 0);
    body->setSpacing(8);
    auto *modeRow = new QHBoxLayout;
    m_mode = makeLabel(QString(), Tokens::monoFont(10), Tokens::white(0.35), m_promptBody);
    modeRow->addWidget(m_mode);
    modeRow->addStretch(1);
    m_modeButton = new PlainTextButton(QString(), Tokens::uiFont(10), Qt::white, m_promptBody);
    connect(m_modeButton, &QAbstractButton::clicked, this, &FolderInspectorView::toggleMode);
    modeRow->addWidget(m_modeButton);
    body->addLayout(modeRow);

    m_editor = new PromptEditor(tr("Type any manual prompt here for this folder..."), 130, m_promptBody);
    m_editor->setSubmitsOnReturn(true);
    connect(m_editor, &PromptEditor::submitted, this, &FolderInspectorView::regenerate);
    m_editor->installEventFilter(this);
    connect(m_editor, &QPlainTextEdit::textChanged, this, [this] {
        if (!m_writingPrompt && m_folder)
            m_folder->setCustomPrompt(m_editor->toPlainText());
    });
    body->addWidget(m_editor);
    m_footnote = makeLabel(QString(), Tokens::monoFont(10), Tokens::white(0.25), m_promptBody, true);
    body->addWidget(m_footnote);
    prompt->addWidget(m_promptBody);
    column->addLayout(prompt);
    column->addStretch(1);
}

void FolderInspectorView::buildActionArea(QWidget *area)
{
    auto *column = new QVBoxLayout(area);
    column->setContentsMargins(Inset, Inset, Inset, Inset);
    column->setSpacing(ActionSpacing);

    // The error box: symbol, message and (for a refused key) the way to a new key.
    auto *box = new RoundedPanel(Tokens::withOpacity(Tokens::red(), 0.1), 8, area);
    m_errorBox = box;
    auto *boxRow = new QHBoxLayout(box);
    boxRow->setContentsMargins(10, 10, 10, 10);
    boxRow->setSpacing(8);
    boxRow->addWidget(makeSymbolLabel(u"exclamationmark.triangle.fill", 12, Tokens::red(), box), 0, Qt::AlignTop);
    auto *boxText = new QVBoxLayout;
    boxText->setSpacing(8);
    m_errorText = makeLabel(QString(), Tokens::smallFont(), Tokens::withOpacity(Tokens::red(), 0.8), box, true);
    m_errorText->setTextInteractionFlags(Qt::TextSelectableByMouse);
    boxText->addWidget(m_errorText);
    m_updateKeyButton = new PlainTextButton(tr("Update API Key"), Tokens::uiFont(11, QFont::Medium), Qt::white, box);
    m_updateKeyButton->setSymbol(QStringLiteral("key.fill"), 11);
    m_updateKeyButton->setBackground(Tokens::white(0.12), QMargins(12, 6, 12, 6), 6);
    connect(m_updateKeyButton, &QAbstractButton::clicked, this, [this] { m_state->setShowOnboarding(true); });
    boxText->addWidget(m_updateKeyButton, 0, Qt::AlignLeft);
    boxRow->addLayout(boxText, 1);
    column->addWidget(box);

    m_regenerateButton = new TavruneButton(m_state, tr("Regenerate Icon"), QStringLiteral("arrow.clockwise"),
                                           false, QStringLiteral("⏎"), area);
    connect(m_regenerateButton, &QAbstractButton::clicked, this, &FolderInspectorView::regenerate);
    column->addWidget(m_regenerateButton);
    m_applyButton = new TavruneButton(m_state, tr("Apply to Folder"), QStringLiteral("checkmark.circle.fill"),
                                      true, tr("Ctrl+⏎"), area);
    connect(m_applyButton, &QAbstractButton::clicked, this, &FolderInspectorView::apply);
    column->addWidget(m_applyButton);
    m_resetButton = new TavruneButton(m_state, tr("Reset Folder Icon"), QStringLiteral("arrow.uturn.backward"),
                                      false, QString(), area);
    connect(m_resetButton, &QAbstractButton::clicked, this, &FolderInspectorView::resetIcon);
    column->addWidget(m_resetButton);
    m_stopButton = new TavruneButton(m_state, tr("Stop"), QStringLiteral("stop.fill"), false, QString(), area);
    connect(m_stopButton, &QAbstractButton::clicked, this, [this] {
        if (m_folder)
            m_state->stopGeneration(m_folder->id());
    });
    m_stopButton->setVisible(false);
    column->addWidget(m_stopButton);
}

void FolderInspectorView::setFolder(FolderItem *folder)
{
    if (m_folder == folder)
        return;
    if (m_folder) {
        commitPrompt();
        disconnect(m_folder, nullptr, this, nullptr);
    }
    m_folder = folder;
    if (folder) {
        connect(folder, &FolderItem::iconStateChanged, this, &FolderInspectorView::refreshIconState);
        connect(folder, &FolderItem::generatedImageChanged, this, &FolderInspectorView::refreshIconState);
        connect(folder, &FolderItem::generationCostChanged, this, &FolderInspectorView::refreshIconState);
        connect(folder, &FolderItem::detectedCategoryChanged, this, &FolderInspectorView::refreshName);
        connect(folder, &FolderItem::urlChanged, this, &FolderInspectorView::refreshName);
        connect(folder, &FolderItem::customPromptChanged, this, [this] { refreshPrompt(false); });
    }
    m_preview->setFolder(folder);
    m_history->setFolder(folder);
    refreshName();
    refreshIconState();
    refreshPrompt(true);
    // Lay the region out now, also while the panel is hidden: a hidden scroll region keeps its old
    // layout after showing, and the texts of another folder would overlap.
    m_scroll->widget()->layout()->activate();
}

void FolderInspectorView::resetForNewPresentation()
{
    setPromptExpanded(true);
    m_scroll->verticalScrollBar()->setValue(0);
}

QString FolderInspectorView::autoPrompt() const
{
    if (!m_folder)
        return {};
    return PromptBuilder::autoPrompt(*m_folder, m_state->selectedTheme(), m_state->maintainThemeConsistency());
}

QString FolderInspectorView::costText(const std::optional<double> &cost)
{
    if (!cost)
        return QString();
    // Three decimals: a picture costs a few cents, and "$0.04" would hide the difference.
    return tr("Cost: $%1").arg(QString::number(*cost, 'f', 3));
}

QString FolderInspectorView::costLineText() const
{
    return m_cost->isHidden() ? QString() : m_cost->text();
}

void FolderInspectorView::setPromptExpanded(bool expanded)
{
    m_showPrompt = expanded;
    m_promptBody->setVisible(expanded);
    m_promptToggle->setSymbol(expanded ? QStringLiteral("chevron.down") : QStringLiteral("chevron.right"), 8);
}

QString FolderInspectorView::modeText() const
{
    return m_mode->text();
}

QString FolderInspectorView::footnoteText() const
{
    return m_footnote->text();
}

bool FolderInspectorView::isErrorBoxShown() const
{
    return !m_errorBox->isHidden();
}

QString FolderInspectorView::errorText() const
{
    return isErrorBoxShown() ? m_errorText->text() : QString();
}

bool FolderInspectorView::eventFilter(QObject *watched, QEvent *event)
{
    // Any focus change counts, a menu opening too: Edit ▸ Undo then undoes the edit as a whole.
    if (watched == m_editor && event->type() == QEvent::FocusOut)
        commitPrompt();
    return QWidget::eventFilter(watched, event);
}

void FolderInspectorView::commitPrompt()
{
    if (!m_folder)
        return;
    m_state->commitPromptEdit(m_folder->id(), m_committedPrompt);
    m_committedPrompt = m_folder->customPrompt();
}

void FolderInspectorView::regenerate()
{
    commitPrompt();
    if (!m_folder || m_folder->iconState().is(IconState::Kind::generating))
        return;
    m_state->generateIcon(m_folder->id());
}

void FolderInspectorView::apply()
{
    if (!m_folder || m_folder->iconState().is(IconState::Kind::generating))
        return;
    m_state->applyIcon(m_folder->id(), true);
}

void FolderInspectorView::resetIcon()
{
    if (!m_folder || m_folder->generatedImage().isNull() || m_folder->iconState().is(IconState::Kind::generating))
        return;
    m_state->resetIcon(m_folder->id());
}

void FolderInspectorView::refreshAll()
{
    refreshName();
    refreshIconState();
    refreshPrompt(true);
    refreshFootnote();
    refreshAccent();
}

void FolderInspectorView::refreshName()
{
    if (!m_folder) {
        m_name->setText(QString());
        m_category->setText(QString());
        return;
    }
    m_name->setText(m_folder->name());
    const SemanticCategory category = m_folder->detectedCategory();
    setSymbol(m_categorySymbol, sfSymbol(category));
    m_category->setText(tr("Detected: %1").arg(fullLabel(category)));
}

void FolderInspectorView::refreshIconState()
{
    m_preview->refresh();
    const IconState iconState = m_folder ? m_folder->iconState() : IconState();
    const bool hasImage = m_folder && !m_folder->generatedImage().isNull();
    const bool generating = iconState.is(IconState::Kind::generating);

    const bool failed = iconState.is(IconState::Kind::failed);
    if (failed) {
        const bool authentication = iconState.failure() == IconState::Failure::authentication;
        m_errorText->setText(authentication ? tr(AuthenticationFailureText) : iconState.message());
        m_updateKeyButton->setVisible(authentication);
    }
    m_errorBox->setVisible(failed);
    const QString cost = hasImage ? costText(m_folder->generationCost()) : QString();
    m_cost->setText(cost);
    m_cost->setVisible(!cost.isEmpty());

    m_applyButton->setVisible(hasImage);
    m_resetButton->setVisible(hasImage);
    for (TavruneButton *button : {m_regenerateButton, m_applyButton, m_resetButton}) {
        button->setEnabled(m_folder && !generating);
    }
    m_stopButton->setVisible(m_folder && generating && m_state->isGenerating(m_folder->id()));
}

void FolderInspectorView::refreshPrompt(bool folderSwitched)
{
    const QString prompt = m_folder ? m_folder->customPrompt() : QString();
    // Changed elsewhere than in the editor (another folder, the mode button, an undo step): nothing
    // typed is pending.
    if (folderSwitched || m_editor->toPlainText() != prompt)
        m_committedPrompt = prompt;
    if (m_editor->toPlainText() != prompt) {
        m_writingPrompt = true;
        // Another folder's text starts a new undo history; a change to this folder's text (the
        // mode button) stays undoable.
        if (folderSwitched)
            m_editor->setPlainText(prompt);
        else
            m_editor->replaceText(prompt);
        m_writingPrompt = false;
    } else if (folderSwitched) {
        m_editor->document()->clearUndoRedoStacks();
    }
    m_editor->setEnabled(m_folder != nullptr);

    const bool manual = isManualPrompt(prompt);
    const QColor accent = Tokens::accent(*m_state);
    m_mode->setText(manual ? tr("Mode: MANUAL") : tr("Mode: AUTO"));
    setTextColour(m_mode, manual ? Tokens::withOpacity(accent, 0.9) : Tokens::white(0.35));
    m_modeButton->setText(manual ? tr("Clear Manual") : tr("Use Auto As Base"));
    m_modeButton->updateGeometry();
}

void FolderInspectorView::refreshFootnote()
{
    m_footnote->setText(m_state->maintainThemeConsistency() ? tr(LockedFootnote) : tr(IndividualFootnote));
}

void FolderInspectorView::refreshAccent()
{
    m_modeButton->setColour(Tokens::withOpacity(Tokens::accent(*m_state), 0.8));
    refreshPrompt(false);
}

void FolderInspectorView::toggleMode()
{
    if (!m_folder)
        return;
    // What was typed before is a step of its own; the new text is another.
    commitPrompt();
    const QString before = m_folder->customPrompt();
    // Each writes only when the value differs (the record's setter checks).
    if (isManualPrompt(before))
        m_folder->setCustomPrompt(QString());
    else
        m_folder->setCustomPrompt(autoPrompt());
    m_state->commitPromptEdit(m_folder->id(), before);
}
