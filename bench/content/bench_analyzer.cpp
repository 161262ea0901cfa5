// Measures the folder analyzer on a folder of 100,000 entries against find(1) doing the same
// work (one lstat per entry), and the category detector on the same folder.
//
//   bench_analyzer [entries] [repetitions]
#include "content/category_detector.h"
#include "content/folder_analyzer.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    const qsizetype n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double timeMs(const std::function<void()> &work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return double(timer.nsecsElapsed()) / 1e6;
}

/// Mostly regular files of varied sizes (sparse, so making them is quick), a few sub-folders and links.
bool populate(const QString &folder, int entries, qint64 *expectedBytes)
{
    const int dirFd = open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0)
        return false;
    *expectedBytes = 0;
    for (int i = 0; i < entries; ++i) {
        const QByteArray name = QByteArray("entry-") + QByteArray::number(i);
        if (i % 50 == 0) {
            if (mkdirat(dirFd, (name + ".d").constData(), 0755) != 0)
                return false;
        } else if (i % 50 == 1) {
            if (symlinkat("entry-2.bin", dirFd, (name + ".lnk").constData()) != 0)
                return false;
        } else {
            const int fd = openat(dirFd, (name + ".bin").constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
            const off_t size = (i * 7919) % 100000;
            const bool ok = fd >= 0 && ftruncate(fd, size) == 0;
            if (fd >= 0)
                close(fd);
            if (!ok)
                return false;
            *expectedBytes += size;
        }
    }
    close(dirFd);
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int entries = args.size() > 1 ? args.at(1).toInt() : 100000;
    const int repetitions = args.size() > 2 ? args.at(2).toInt() : 9;

    QTemporaryDir root;
    if (!root.isValid())
        return 1;
    const QString folder = root.filePath(QStringLiteral("Stuff"));
    QDir().mkpath(folder);
    qint64 expectedBytes = 0;
    std::printf("creating %d entries in %s ...\n", entries, qPrintable(folder));
    if (!populate(folder, entries, &expectedBytes)) {
        std::fprintf(stderr, "could not create the folder\n");
        return 1;
    }
    const QUrl url = QUrl::fromLocalFile(folder);

    const auto runFind = [&] {
        QProcess find;
        find.setStandardOutputFile(QProcess::nullDevice());
        find.start(QStringLiteral("find"), {folder, QStringLiteral("-maxdepth"), QStringLiteral("1"),
                                            QStringLiteral("-printf"), QStringLiteral("%s\n")});
        find.waitForFinished(-1);
    };
    const auto runTrue = [] {
        QProcess process;
        process.start(QStringLiteral("true"), {});
        process.waitForFinished(-1);
    };

    // Warm the dentry and inode caches for both contenders.
    FolderAnalyzer::Analysis analysis = FolderAnalyzer::analyze(url);
    runFind();
    if (analysis.fileCount != entries || analysis.totalBytes != expectedBytes || analysis.topFiles.size() != 20) {
        std::fprintf(stderr, "wrong analysis: %lld entries, %lld bytes (expected %d, %lld)\n",
                     qlonglong(analysis.fileCount), qlonglong(analysis.totalBytes), entries, qlonglong(expectedBytes));
        return 1;
    }

    QList<double> analyzer, find, spawn;
    for (int i = 0; i < repetitions; ++i) {
        // Alternate, so a load spike from other work on the machine hits both sides alike.
        analyzer.append(timeMs([&] { analysis = FolderAnalyzer::analyze(url); }));
        find.append(timeMs(runFind));
        spawn.append(timeMs(runTrue));
    }

    SemanticCategory category = SemanticCategory::documents;
    constexpr int DetectRounds = 200;
    QList<double> detect;
    for (int i = 0; i < DetectRounds; ++i)
        detect.append(timeMs([&] { category = CategoryDetector::detect(url); }));

    const double a = median(analyzer), f = median(find), s = median(spawn);
    std::printf("entries                      %d\n", entries);
    std::printf("FolderAnalyzer::analyze      median %8.2f ms  (min %.2f, max %.2f, %d runs)\n", a,
                *std::min_element(analyzer.cbegin(), analyzer.cend()),
                *std::max_element(analyzer.cbegin(), analyzer.cend()), repetitions);
    std::printf("find -maxdepth 1 -printf %%s  median %8.2f ms  (min %.2f, max %.2f; process start-up alone %.2f ms)\n",
                f, *std::min_element(find.cbegin(), find.cend()), *std::max_element(find.cbegin(), find.cend()), s);
    std::printf("ratio analyzer / find        %8.2f\n", a / f);
    std::printf("CategoryDetector::detect     median %8.3f ms  (%d runs, result \"%s\")\n", median(detect), DetectRounds,
                qPrintable(rawValue(category)));
    return 0;
}
