// The shell's scenes: the window empty, full of folders in every state, with a selection, as a list,
// with a toast, with an error tooltip.
#include "scene.h"

#include "shell/content_view.h"
#include "shell/main_window.h"
#include "state/app_state.h"

#include <QCoreApplication>
#include <QToolTip>

namespace {
void selectFolders(SceneContext &c, std::initializer_list<int> indexes)
{
    QSet<QUuid> ids;
    const QList<FolderItemPtr> folders = c.state.folders();
    for (int i : indexes)
        ids.insert(folders.at(i)->id());
    c.state.setSelectedFolderIDs(ids);
}

const SceneRegistration shellScenes{
    {QStringLiteral("empty"), QStringLiteral("no folders yet"), nullptr},
    {QStringLiteral("grid-states"), QStringLiteral("12 folders in every icon state"),
     [](SceneContext &c) { c.addFoldersInEveryState(); }},
    {QStringLiteral("selection"), QStringLiteral("one generated folder selected, inspector open"),
     [](SceneContext &c) {
         c.addFoldersInEveryState();
         selectFolders(c, {5});
     }},
    {QStringLiteral("multi-selection"), QStringLiteral("three folders selected"),
     [](SceneContext &c) {
         c.addFoldersInEveryState();
         selectFolders(c, {1, 5, 8});
     }},
    {QStringLiteral("list"), QStringLiteral("list mode with a selection"),
     [](SceneContext &c) {
         c.addFoldersInEveryState();
         c.state.setViewMode(ViewMode::list);
         selectFolders(c, {4});
         c.state.setInspectorVisible(false);
     }},
    {QStringLiteral("toast"), QStringLiteral("a success toast over the grid"),
     [](SceneContext &c) {
         c.addFoldersInEveryState();
         // The window's own texts, so that the scene shows them in the language rendered.
         const QString name = QCoreApplication::translate("AppState", "“%1”", "a folder name in quotes")
                                  .arg(QStringLiteral("Holiday Photos"));
         c.state.showToast(Toast::Kind::success, QCoreApplication::translate("AppState", "Icon ready for %1").arg(name));
         c.settle(50);
     }},
    {QStringLiteral("toast-error"), QStringLiteral("a long error toast, cut to two lines"),
     [](SceneContext &c) {
         c.state.showToast(Toast::Kind::error,
                           QStringLiteral("Failed for \u201cDownloads\u201d: Invalid or expired API key. The key "
                                          "was rejected by OpenRouter; open API Key Settings to replace it with a "
                                          "new one, then regenerate the icons that failed, one by one or all at once."));
         c.settle(50);
     }},
    {QStringLiteral("toast-warning"), QStringLiteral("an apply that some file managers will not show"),
     [](SceneContext &c) {
         c.addFoldersInEveryState();
         c.state.showToast(Toast::Kind::warning,
                           QCoreApplication::translate("FolderIconService", "Applied, but %1 will not show it: %2")
                               .arg(QCoreApplication::translate("FolderIconService", "Dolphin and PCManFM-Qt"),
                                    QCoreApplication::translate("FolderIconService", "“.directory” is read-only")));
         c.settle(50);
     }},
    {QStringLiteral("applying"), QStringLiteral("icons being applied to 200 folders, counted in the toolbar"),
     [](SceneContext &c) {
         c.addFoldersInEveryState();
         c.state.stopGenerating(true);
         // Enough folders that the worker is still busy with them when the picture is taken.
         QList<QUrl> urls;
         for (int i = 0; i < 200; ++i) {
             const QString name = QStringLiteral("Batch %1").arg(i, 3, 10, QLatin1Char('0'));
             c.scratch.mkpath(name);
             urls.append(QUrl::fromLocalFile(c.scratch.filePath(name) + u'/'));
         }
         c.wait(c.state.addFolders(urls));
         const IconImage icon = c.state.folders().at(5)->generatedImage();
         QSet<QUuid> batch;
         for (const FolderItemPtr &folder : c.state.folders().mid(12)) {
             folder->setGeneratedImage(icon);
             folder->setIconState(IconState::generated());
             batch.insert(folder->id());
         }
         c.state.setSelectedFolderIDs(batch);
         c.state.applySelectedIcons();
         c.settle(100);
     }},
    {QStringLiteral("error-tooltip"), QStringLiteral("the tooltip of a failed folder's badge"),
     [](SceneContext &c) {
         c.addFoldersInEveryState();
         // The failure message as the badge's tooltip shows it, under the failed card's badge.
         const FolderItemPtr failed = c.state.folders().at(10);
         QWidget *grid = c.window.contentView()->gridView();
         QToolTip::showText(grid->mapToGlobal(QPoint(grid->width() / 2, grid->height() / 2)),
                            failed->iconState().message(), grid);
         c.settle(50);
     }},
};
} // namespace
