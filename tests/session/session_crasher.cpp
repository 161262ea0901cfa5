// Restores the session, changes every folder (a new prompt, a new icon for the first), and is killed
// at the moment the new index would replace the old one.
#include "imaging/icon_styler.h"
#include "desktop/owner_only_file.h"
#include "session/session_store.h"
#include "state/app_state.h"

#include <QCoreApplication>

#include <csignal>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    AppState state;
    SessionStore store(&state);
    if (store.restore() != SessionStore::RestoreOutcome::restored)
        return 3;
    while (store.isRestoring())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);

    for (const FolderItemPtr &folder : state.folders())
        folder->setCustomPrompt(QStringLiteral("changed before the crash"));
    QImage image(32, 32, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::red);
    state.folders().constFirst()->setGeneratedImage(IconImage{image, IconStyler::encodePng(image)});

    OwnerOnlyFile::setBeforeRenameHook([](const QString &path) {
        if (path.endsWith(QStringLiteral("/session.json")))
            std::raise(SIGKILL);
    });
    store.flush();
    return 4; // not reached: the index is never renamed
}
