#include "content/folder_analyzer.h"

#include <QFile>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <memory>

namespace {

// The prompt builder reads at most the first 8 names; the inspector lists a few more.
constexpr qsizetype MaxListedEntries = 20;

struct EntryFacts
{
    bool isDirectory = false;
    qint64 size = 0;
};

EntryFacts factsFromMode(const struct stat &st)
{
    // Only a regular file's size is content of this folder. A sub-folder's inode size (4096 on
    // most file systems) says nothing about what it holds, and a link's size is the length of
    // the path it points to, not the bytes of its target (which live, and are counted, elsewhere).
    if (S_ISDIR(st.st_mode))
        return {true, 0};
    if (S_ISREG(st.st_mode))
        return {false, qint64(st.st_size)};
    return {};
}

/// What the folder summary reports for one child. Never opens the child and never follows a
/// link, so a FIFO, a device or a link into a slow or huge tree cannot hold the analysis up.
EntryFacts factsOf(int dirFd, const dirent &entry)
{
    struct stat st;
    switch (entry.d_type) {
    case DT_DIR:
        return {true, 0};
    case DT_LNK:
    case DT_FIFO:
    case DT_SOCK:
    case DT_CHR:
    case DT_BLK:
        // Counted as one entry each, with no bytes of their own.
        return {};
    case DT_REG:
    default:
        // A regular file needs its size; file systems that leave d_type unknown need the mode too.
        // An entry removed since the listing adds nothing but still counts.
        if (fstatat(dirFd, entry.d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            return {};
        return factsFromMode(st);
    }
}

} // namespace

FolderAnalyzer::Analysis FolderAnalyzer::analyze(const QUrl &folderUrl)
{
    Analysis analysis;
    const QString path = folderUrl.toLocalFile();
    if (path.isEmpty())
        return analysis;
    // opendir() opens with O_DIRECTORY, so a FIFO or device at this path fails at once instead of blocking.
    const std::unique_ptr<DIR, int (*)(DIR *)> dir(opendir(QFile::encodeName(path).constData()), closedir);
    if (!dir)
        return analysis;
    const int dirFd = dirfd(dir.get());

    // One pass in the file system's own order; sizes come from fstatat() relative to the open
    // directory, so the kernel resolves one name per entry instead of a whole path.
    while (const dirent *entry = readdir(dir.get())) {
        if (entry->d_name[0] == '.')
            continue; // hidden, and "." and ".."
        const EntryFacts facts = factsOf(dirFd, *entry);
        ++analysis.fileCount;
        analysis.totalBytes += facts.size;
        if (analysis.topFiles.size() < MaxListedEntries) {
            analysis.topFiles.append(FileEntry{QUuid::createUuid(), QFile::decodeName(entry->d_name),
                                               facts.isDirectory, facts.size});
        }
    }
    return analysis;
}
