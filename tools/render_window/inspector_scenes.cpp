// The inspector's scenes: the folder inspector in each icon state, with a manual prompt and with a
// refused key, the batch inspector with a shared prompt and over many folders, and the API key sheet.
#include "scene.h"

#include "fake_open_router.h"
#include "fake_picture.h"

#include "inspector/folder_inspector_view.h"
#include "inspector/inspector_panel.h"
#include "inspector/multi_select_inspector_view.h"
#include "inspector/prompt_editor.h"
#include "onboarding/onboarding_sheet.h"
#include "keys/keychain_service.h"
#include "shell/main_window.h"
#include "state/app_state.h"

#include <QApplication>
#include <QFile>
#include <QLineEdit>

namespace {

void selectFolders(SceneContext &c, std::initializer_list<int> indexes)
{
    QSet<QUuid> ids;
    const QList<FolderItemPtr> folders = c.state.folders();
    for (int i : indexes)
        ids.insert(folders.at(i)->id());
    c.state.setSelectedFolderIDs(ids);
    c.settle(50);
}

MultiSelectInspectorView *batchInspector(SceneContext &c)
{
    const QList<InspectorPanel *> panels = c.window.findChildren<InspectorPanel *>();
    return panels.isEmpty() ? nullptr : panels.constFirst()->multiSelectInspector();
}

OnboardingSheet *sheet()
{
    for (QWidget *top : QApplication::topLevelWidgets()) {
        if (auto *found = qobject_cast<OnboardingSheet *>(top); found && found->isVisible())
            return found;
    }
    return nullptr;
}

const SceneRegistration inspectorScenes{
    {QStringLiteral("inspector-placeholder"), QStringLiteral("folder inspector: placeholder, automatic prompt"),
     [](SceneContext &c) {
         c.addFoldersInEveryState();
         selectFolders(c, {0});
     }},
    {QStringLiteral("inspector-generating"), QStringLiteral("folder inspector while the icon is generated"),
     [](SceneContext &c) {
         c.addFoldersInEveryState();
         selectFolders(c, {2});
     },
     false, 1.3},
    {QStringLiteral("inspector-applied"), QStringLiteral("folder inspector: icon applied, manual prompt"),
     [](SceneContext &c) {
         c.addFoldersInEveryState();
         c.state.folders().at(8)->setCustomPrompt(
             QStringLiteral("A brass film reel on a walnut desk, warm cinema light, tiny popcorn kernels around it"));
         selectFolders(c, {8});
     }},
    {QStringLiteral("inspector-history"), QStringLiteral("folder inspector: earlier images under the preview"),
     [](SceneContext &c) {
         c.addFoldersInEveryState();
         const FolderItemPtr folder = c.state.folders().at(6);
         c.server.setGenerator([](const QString &, const QString &prompt) { return FakeReply::image(fakePicture(prompt)); });
         // Each its own picture: the fake draws from the prompt.
         for (const char *idea : {"a brass horn", "a vinyl record", "a tape reel", "a violin scroll", "a drum kit"}) {
             folder->setCustomPrompt(QString::fromLatin1(idea));
             c.wait(c.state.generateIcon(folder->id()));
         }
         selectFolders(c, {6});
     }},
    {QStringLiteral("inspector-key-refused"), QStringLiteral("folder inspector: failed with a refused key"),
     [](SceneContext &c) {
         c.addFoldersInEveryState();
         selectFolders(c, {10});
     }},
    {QStringLiteral("inspector-rate-limited"), QStringLiteral("folder inspector: failed for another reason"),
     [](SceneContext &c) {
         c.addFoldersInEveryState();
         c.state.folders().at(11)->setIconState(IconState::failed(
             QStringLiteral("API Error: All models failed: [openai/gpt-5.4-image-2] Rate limited | "
                            "[google/gemini-2.5-flash-image] API Error: HTTP 503")));
         selectFolders(c, {11});
     }},
    {QStringLiteral("batch-shared-prompt"), QStringLiteral("batch inspector with a shared prompt, fast mode"),
     [](SceneContext &c) {
         c.addFoldersInEveryState();
         c.state.setUseFastModel(true);
         selectFolders(c, {0, 4, 5, 7, 8, 10});
         if (MultiSelectInspectorView *view = batchInspector(c))
             view->promptEditor()->setPlainText(QStringLiteral("Paper-cut style, pastel layers"));
         c.settle(50);
     }},
    {QStringLiteral("batch-generating"), QStringLiteral("batch inspector while one folder generates"),
     [](SceneContext &c) {
         c.addFoldersInEveryState();
         selectFolders(c, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11});
     }},
    {QStringLiteral("onboarding"), QStringLiteral("the API key sheet with no key stored"),
     [](SceneContext &c) {
         c.state.setShowOnboarding(true);
         c.settle(50);
     }},
    {QStringLiteral("onboarding-connected"), QStringLiteral("the API key sheet after a good test"),
     [](SceneContext &c) {
         c.server.setValidKey(QString());
         c.state.setShowOnboarding(true);
         c.settle(50);
         if (OnboardingSheet *s = sheet()) {
             s->keyField()->setText(QStringLiteral("sk-or-v1-0123456789abcdef"));
             s->testConnection();
             for (int i = 0; i < 100 && s->isTesting(); ++i)
                 c.settle(50);
         }
     }},
};

} // namespace
