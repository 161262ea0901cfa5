// How long the inspector takes to follow the selection: one folder to another, one to many, many
// to one, and a selection of 1,000 folders appearing. Each figure includes the panel's repaint,
// so it is what the user waits for. Half the folders carry a generated image, as after a batch.
//
// Runs offscreen in a scratch HOME of its own; nothing of the user's is read or written.
#include "design/tokens.h"
#include "inspector/inspector_panel.h"
#include "state/app_state.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include "bench_scratch_home.h"

namespace {

QImage picture(int seed)
{
    QImage image(1024, 1024, QImage::Format_ARGB32_Premultiplied);
    image.fill(QColor::fromHsv(seed * 37 % 360, 200, 220));
    return image;
}

struct Figures
{
    double medianMs = 0;
    double worstMs = 0;
};

/// Brings the panel to `prepare`'s selection untimed, then times `change` until the panel has
/// followed it and painted.
template<typename Prepare, typename Change>
Figures measure(InspectorPanel &panel, int rounds, Prepare prepare, Change change)
{
    std::vector<double> times;
    for (int i = 0; i < rounds; ++i) {
        prepare(i);
        QCoreApplication::processEvents();
        panel.repaint();
        QElapsedTimer timer;
        timer.start();
        change(i);
        QCoreApplication::processEvents();
        panel.repaint();
        times.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    return {times[times.size() / 2], times.back()};
}

QSet<QUuid> firstIds(const AppState &state, int count)
{
    QSet<QUuid> ids;
    const QList<FolderItemPtr> folders = state.folders();
    for (int i = 0; i < count && i < folders.size(); ++i)
        ids.insert(folders.at(i)->id());
    return ids;
}

} // namespace

int main(int argc, char *argv[])
{
    QTemporaryDir scratch;
    BenchScratchHome::use(scratch);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Tokens::registerFonts();

    constexpr int FolderCount = 1000;
    QList<QUrl> urls;
    for (int i = 0; i < FolderCount; ++i) {
        const QString path = scratch.path() + QStringLiteral("/folders/Project %1").arg(i, 4, 10, QLatin1Char('0'));
        QDir().mkpath(path);
        urls.append(QUrl::fromLocalFile(path + u'/'));
    }
    AppState state;
    state.addFolders(urls);
    const QList<FolderItemPtr> folders = state.folders();
    for (int i = 0; i < folders.size(); i += 2) {
        folders.at(i)->setGeneratedImage({picture(i), {}});
        folders.at(i)->setIconState(IconState::generated());
    }

    InspectorPanel panel(&state);
    panel.resize(320, 700);
    panel.show();
    QCoreApplication::processEvents();

    auto selectOne = [&](int i) { state.setSelectedFolderIDs({folders.at(i % folders.size())->id()}); };
    auto selectMany = [&](int) { state.setSelectedFolderIDs(firstIds(state, 20)); };
    auto selectAll = [&](int) { state.setSelectedFolderIDs(firstIds(state, FolderCount)); };
    const Figures oneToOne = measure(panel, 60, selectOne, [&](int i) { selectOne(i + 1); });
    const Figures oneToMany = measure(panel, 30, selectOne, selectMany);
    const Figures manyToOne = measure(panel, 30, selectMany, selectOne);
    const Figures thousand = measure(panel, 10, selectOne, selectAll);

    std::printf("inspector selection changes (median / worst, ms, including the repaint):\n");
    std::printf("  1 -> 1 folder         %7.2f / %7.2f   (target <= 16)\n", oneToOne.medianMs, oneToOne.worstMs);
    std::printf("  1 -> 20 folders       %7.2f / %7.2f   (target <= 16)\n", oneToMany.medianMs, oneToMany.worstMs);
    std::printf("  20 -> 1 folder        %7.2f / %7.2f   (target <= 16)\n", manyToOne.medianMs, manyToOne.worstMs);
    std::printf("  1 -> 1000 folders     %7.2f / %7.2f   (target <= 100)\n", thousand.medianMs, thousand.worstMs);
    return 0;
}
