#include "desktop/folder_watcher.h"

#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QFileSystemWatcher>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <utility>

#include <sys/stat.h>

namespace {
QString localPathOf(const QUrl &url)
{
    return url.isLocalFile() ? QDir::cleanPath(url.toLocalFile()) : QString();
}
} // namespace

FolderWatcher::FolderWatcher(const QUrl &directoryUrl, Callback onNewFolders, QObject *parent)
    : QObject(parent)
    , m_directoryUrl(directoryUrl)
    , m_onNewFolders(std::move(onNewFolders))
{
    m_reportTimer.setSingleShot(true);
    m_reportTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_reportTimer, &QTimer::timeout, this, [this] { reportIfStillThere(std::exchange(m_pending, {})); });
}

// Pending reports are timers owned by this object, so releasing the watcher silences them.
FolderWatcher::~FolderWatcher()
{
    stop();
}

void FolderWatcher::start()
{
    stop();
    const QString path = localPathOf(m_directoryUrl);
    m_knownSubfolders = subfolders(path);
    if (path.isEmpty())
        return;
    auto *source = new QFileSystemWatcher(this);
    if (!source->addPath(path)) {
        delete source;
        return;
    }
    connect(source, &QFileSystemWatcher::directoryChanged, this, &FolderWatcher::directoryChanged);
    m_source = source;
}

void FolderWatcher::stop()
{
    delete m_source;
    m_source = nullptr;
}

// The source drops a directory that is deleted or moved away; from then on nothing is watched.
bool FolderWatcher::isWatching() const
{
    return m_source != nullptr && !m_source->directories().isEmpty();
}

void FolderWatcher::directoryChanged()
{
    const QString path = localPathOf(m_directoryUrl);
    const QHash<QString, Identity> current = subfolders(path);
    QStringList newNames;
    QStringList vanishedNames;
    for (auto entry = current.cbegin(); entry != current.cend(); ++entry) {
        if (!m_knownSubfolders.contains(entry.key()))
            newNames.append(entry.key());
    }
    for (auto entry = m_knownSubfolders.cbegin(); entry != m_knownSubfolders.cend(); ++entry) {
        if (!current.contains(entry.key()))
            vanishedNames.append(entry.key());
    }
    // A rename is a name that vanished and one that appeared for the same directory. Matching by
    // identity, not by event order, also pairs renames that several change events report together.
    QList<std::pair<QString, QString>> renames;
    for (const QString &name : std::as_const(newNames)) {
        const Identity identity = current.value(name);
        for (qsizetype i = 0; i < vanishedNames.size(); ++i) {
            if (m_knownSubfolders.value(vanishedNames[i]) == identity) {
                renames.append({vanishedNames.takeAt(i), name});
                break;
            }
        }
    }
    // Forget vanished names at once: a folder moved out and back in later counts as new again.
    m_knownSubfolders = current;

    for (const auto &[from, to] : std::as_const(renames)) {
        const QUrl fromUrl = urlOf(from);
        // Not reported yet: it is still a new folder, reported under its latest name.
        if (m_pending.contains(fromUrl) || !m_onRenamed)
            continue;
        // A copy, and a guard, because the receiver may release this watcher from inside the call.
        const RenameCallback onRenamed = m_onRenamed;
        const QPointer<FolderWatcher> self(this);
        const bool followed = onRenamed(fromUrl, urlOf(to));
        if (!self)
            return;
        if (followed)
            newNames.removeOne(to);
    }
    if (newNames.isEmpty())
        return;

    // Hashes have no order; sorting makes one event's report the same on every run.
    std::sort(newNames.begin(), newNames.end());
    QList<QUrl> candidates;
    for (const QString &name : std::as_const(newNames))
        candidates.append(urlOf(name));

    // One report per burst: what arrives while a report is pending joins it and postpones it, so
    // folders made over many change events (an archive unpacked) are one report once the directory
    // has been quiet for the delay, and each has kept its name for at least the delay. A stream that
    // never pauses is still reported after four delays. The timer is this watcher's: still held
    // (even when stopped), it reports; released, it does not.
    if (m_pending.isEmpty())
        m_burstStart.start();
    for (const QUrl &candidate : std::as_const(candidates)) {
        if (!m_pending.contains(candidate))
            m_pending.append(candidate);
    }
    const auto sinceStart = std::chrono::milliseconds(m_burstStart.elapsed());
    m_reportTimer.start(std::max(std::chrono::milliseconds(0), std::min(m_reportDelay, 4 * m_reportDelay - sinceStart)));
}

QUrl FolderWatcher::urlOf(const QString &name) const
{
    return QUrl::fromLocalFile(localPathOf(m_directoryUrl) + QLatin1Char('/') + name + QLatin1Char('/'));
}

// A folder created under a default name and renamed at once is reported once, under its final name: by
// now its first name is gone and the rename has brought the new name in through an event of its own.
void FolderWatcher::reportIfStillThere(const QList<QUrl> &candidates)
{
    QList<QUrl> remaining;
    for (const QUrl &candidate : candidates) {
        const QString path = QDir::cleanPath(candidate.toLocalFile());
        if (QFileInfo::exists(path) && m_knownSubfolders.contains(QFileInfo(path).fileName()))
            remaining.append(candidate);
    }
    if (remaining.isEmpty() || !m_onNewFolders)
        return;
    // A copy, because the receiver may release this watcher (and its callback) from inside the call.
    const Callback onNewFolders = m_onNewFolders;
    onNewFolders(remaining);
}

// Direct, visible sub-folders. Symbolic links are not sub-folders, and neither are application bundles
// ("Tool.app"; the test is case-sensitive, so "Tool.APP" is an ordinary folder).
QHash<QString, FolderWatcher::Identity> FolderWatcher::subfolders(const QString &directoryPath)
{
    QHash<QString, Identity> folders;
    if (directoryPath.isEmpty())
        return folders;
    const QStringList entries =
        QDir(directoryPath).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks, QDir::NoSort);
    for (const QString &name : entries) {
        if (name.startsWith(QLatin1Char('.')))
            continue;
        const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
        if (dot > 0 && QStringView(name).mid(dot + 1) == QLatin1String("app"))
            continue;
        struct stat status = {};
        // Gone between the listing and here: it is not there.
        if (::lstat(QFile::encodeName(directoryPath + QLatin1Char('/') + name).constData(), &status) != 0)
            continue;
        folders.insert(name, Identity{quint64(status.st_dev), quint64(status.st_ino)});
    }
    return folders;
}
