#include "content/category_detector.h"

#include "models/folder_item.h"

#include <QFile>
#include <QHash>

#include <dirent.h>

#include <cstring>
#include <memory>
#include <optional>

namespace {

// A folder can hold millions of entries; its first 200 are a fair sample and keep adding it instant.
constexpr int MaxExaminedEntries = 200;

struct ExtensionGroup
{
    SemanticCategory category;
    std::initializer_list<const char *> extensions;
};

// The order is the tie-break order: on equal scores the earlier group wins.
const ExtensionGroup ExtensionGroups[] = {
    {SemanticCategory::code,
     {"swift", "py", "js", "ts", "tsx", "jsx", "rs", "go", "java", "c", "cpp", "h", "rb", "php", "json", "yaml",
      "yml", "toml", "xml", "html", "css", "scss"}},
    {SemanticCategory::music, {"mp3", "wav", "flac", "aac", "ogg", "m4a", "aiff"}},
    {SemanticCategory::photos,
     {"jpg", "jpeg", "png", "gif", "heic", "heif", "webp", "tiff", "bmp", "svg", "raw", "cr2", "nef"}},
    {SemanticCategory::video, {"mp4", "mov", "avi", "mkv", "wmv", "flv", "webm", "m4v", "prproj"}},
    {SemanticCategory::documents, {"pdf", "doc", "docx", "txt", "md", "rtf", "pages", "odt"}},
    {SemanticCategory::design, {"fig", "sketch", "psd", "ai", "xd", "indd"}},
};

std::optional<SemanticCategory> detectFromName(const QString &name)
{
    const QString lowered = name.toLower();
    for (SemanticCategory category : allSemanticCategories()) {
        for (const QString &keyword : keywords(category)) {
            if (lowered.contains(keyword))
                return category;
        }
    }
    return std::nullopt;
}

/// The lower-cased text after the last dot of a directory entry's name; empty when there is none.
QString extensionOf(const char *name)
{
    const char *dot = std::strrchr(name, '.');
    if (!dot || dot[1] == '\0')
        return {};
    return QFile::decodeName(dot + 1).toLower();
}

std::optional<SemanticCategory> detectFromContents(const QUrl &folderUrl)
{
    const QString path = folderUrl.toLocalFile();
    if (path.isEmpty())
        return std::nullopt;
    // opendir() opens with O_DIRECTORY, so a FIFO or device at this path fails at once instead of blocking.
    const std::unique_ptr<DIR, int (*)(DIR *)> dir(opendir(QFile::encodeName(path).constData()), closedir);
    if (!dir)
        return std::nullopt;

    // Only names are needed here, so there is no stat() per entry: directories count by their
    // extension too ("Tool.app" counts as "app").
    QHash<QString, int> extensionCounts;
    int examined = 0;
    while (examined < MaxExaminedEntries) {
        const dirent *entry = readdir(dir.get());
        if (!entry)
            break;
        if (entry->d_name[0] == '.')
            continue; // hidden, and "." and ".."
        const QString extension = extensionOf(entry->d_name);
        if (!extension.isEmpty())
            ++extensionCounts[extension];
        ++examined;
    }

    std::optional<SemanticCategory> best;
    int bestScore = 0;
    for (const ExtensionGroup &group : ExtensionGroups) {
        int score = 0;
        for (const char *extension : group.extensions)
            score += extensionCounts.value(QString::fromLatin1(extension));
        if (score > bestScore) {
            bestScore = score;
            best = group.category;
        }
    }
    return best;
}

} // namespace

SemanticCategory CategoryDetector::detect(const QUrl &folderUrl)
{
    if (const auto byName = detectFromName(folderDisplayName(folderUrl)))
        return *byName;
    return detectFromContents(folderUrl).value_or(SemanticCategory::documents);
}
