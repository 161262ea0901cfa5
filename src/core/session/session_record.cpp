#include "session/session_record.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include <algorithm>
#include <cmath>

namespace {

const QString kVersion = QStringLiteral("version");
const QString kViewMode = QStringLiteral("viewMode");
const QString kFolders = QStringLiteral("folders");
const QString kUrl = QStringLiteral("url");
const QString kCategory = QStringLiteral("category");
const QString kState = QStringLiteral("state");
const QString kFailureMessage = QStringLiteral("failureMessage");
const QString kFailureKind = QStringLiteral("failureKind");
const QString kCustomPrompt = QStringLiteral("customPrompt");
const QString kLastPrompt = QStringLiteral("lastGeneratedPrompt");
const QString kLastAt = QStringLiteral("lastGeneratedAt");
const QString kFileCount = QStringLiteral("fileCount");
const QString kFolderSize = QStringLiteral("folderSizeBytes");
const QString kImage = QStringLiteral("image");
const QString kSelected = QStringLiteral("selected");

QString stateName(IconState::Kind kind)
{
    switch (kind) {
    case IconState::Kind::placeholder: return QStringLiteral("placeholder");
    case IconState::Kind::generating: return QStringLiteral("generating");
    case IconState::Kind::generated: return QStringLiteral("generated");
    case IconState::Kind::applied: return QStringLiteral("applied");
    case IconState::Kind::failed: return QStringLiteral("failed");
    }
    return {};
}

// `generating` is never stored, so it is never read either: a file saying so was not written by us.
std::optional<IconState> stateFromJson(const QJsonObject &folder)
{
    const QString name = folder.value(kState).toString();
    if (name == u"placeholder")
        return IconState::placeholder();
    if (name == u"generated")
        return IconState::generated();
    if (name == u"applied")
        return IconState::applied();
    if (name == u"failed" && folder.value(kFailureMessage).isString()) {
        // Only the kind the window acts on is kept: a refused key still offers a new one after a restart.
        const bool refusedKey = folder.value(kFailureKind).toString() == u"authentication";
        return IconState::failed(folder.value(kFailureMessage).toString(),
                                 refusedKey ? IconState::Failure::authentication : IconState::Failure::other);
    }
    return std::nullopt;
}

std::optional<qint64> count(const QJsonValue &value)
{
    if (!value.isDouble())
        return std::nullopt;
    const double number = value.toDouble();
    // Whole, not negative, and exactly representable: anything else was not written by us.
    if (number < 0 || number > 9007199254740992.0 || std::floor(number) != number)
        return std::nullopt;
    return qint64(number);
}

std::optional<QString> optionalString(const QJsonObject &object, const QString &key, bool *ok)
{
    const QJsonValue value = object.value(key);
    if (value.isUndefined() || value.isNull())
        return std::nullopt;
    if (!value.isString())
        *ok = false;
    return value.toString();
}

const QString kModel = QStringLiteral("lastGeneratedModel");
const QString kImageApplied = QStringLiteral("imageApplied");
const QString kHistory = QStringLiteral("history");
const QString kHistoryModel = QStringLiteral("model");
const QString kHistoryPrompt = QStringLiteral("prompt");
const QString kHistoryAt = QStringLiteral("generatedAt");
const QString kHistoryApplied = QStringLiteral("applied");
const QString kCost = QStringLiteral("cost");
// An image costs cents; a figure beyond this was not written by us.
constexpr double MaxCost = 1000;

// Optional: absent means not known. Anything but a plausible amount is refused like any other bad field.
std::optional<double> costFromJson(const QJsonObject &object, bool *ok)
{
    const QJsonValue value = object.value(kCost);
    if (value.isUndefined())
        return std::nullopt;
    const double cost = value.toDouble(-1);
    if (!value.isDouble() || !(cost >= 0 && cost <= MaxCost)) {
        *ok = false;
        return std::nullopt;
    }
    return cost;
}
// A folder keeps a dozen images; an index listing many more was not written by us.
constexpr qsizetype MaxHistory = 64;

std::optional<QDateTime> timeFromJson(const QJsonObject &object, const QString &key, bool *ok)
{
    const std::optional<QString> text = optionalString(object, key, ok);
    if (!text)
        return std::nullopt;
    const QDateTime time = QDateTime::fromString(*text, Qt::ISODateWithMs);
    *ok = *ok && time.isValid();
    return time.toLocalTime();
}

// The entry of one checked item; with `check`, whether it is whole and of the expected types and values
// (without, it is taken as checked: the local time of its date is made only then).
std::optional<SessionRecord::HistoryEntry> historyEntryFromJson(const QJsonValue &item, bool check)
{
    if (!item.isObject())
        return std::nullopt;
    const QJsonObject object = item.toObject();
    SessionRecord::HistoryEntry entry;
    bool ok = object.value(kImage).isString() && object.value(kHistoryModel).isString()
              && object.value(kHistoryPrompt).isString() && object.value(kHistoryApplied).isBool();
    entry.imageFile = object.value(kImage).toString();
    if (!check) {
        entry.model = object.value(kHistoryModel).toString();
        entry.prompt = object.value(kHistoryPrompt).toString();
        entry.applied = object.value(kHistoryApplied).toBool();
        entry.generatedAt = timeFromJson(object, kHistoryAt, &ok);
        entry.cost = costFromJson(object, &ok);
        return entry;
    }
    // Only whether the date reads: making its local time is the slow part, left for when it is shown.
    const std::optional<QString> at = optionalString(object, kHistoryAt, &ok);
    ok = ok && (!at || QDateTime::fromString(*at, Qt::ISODateWithMs).isValid());
    costFromJson(object, &ok);
    // Same rule as the current image's file: nothing else is ever opened from an index.
    if (!ok || !SessionRecord::isImageFileName(entry.imageFile))
        return std::nullopt;
    return entry;
}

// Checks every entry, as the rest of the folder is checked, but keeps them as they are in the index:
// a session of a thousand folders with a dozen images each would otherwise spend most of its restore
// on entries nobody looks at.
std::optional<QJsonArray> historyFromJson(const QJsonValue &value)
{
    if (value.isUndefined())
        return QJsonArray();
    if (!value.isArray() || value.toArray().size() > MaxHistory)
        return std::nullopt;
    const QJsonArray history = value.toArray();
    for (const QJsonValue &item : history) {
        if (!historyEntryFromJson(item, true))
            return std::nullopt;
    }
    return history;
}

std::optional<SessionRecord::Folder> folderFromJson(const QJsonValue &value)
{
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject object = value.toObject();
    SessionRecord::Folder folder;

    if (!object.value(kUrl).isString())
        return std::nullopt;
    folder.url = QUrl(object.value(kUrl).toString(), QUrl::StrictMode);
    // Folders are local directory URLs, as the list takes them when they are added.
    if (!folder.url.isValid() || !folder.url.isLocalFile() || !folder.url.path().startsWith(u'/')
        || !folder.url.path().endsWith(u'/'))
        return std::nullopt;

    const std::optional<SemanticCategory> category = semanticCategoryFromRawValue(object.value(kCategory).toString());
    const std::optional<IconState> state = stateFromJson(object);
    if (!category || !state)
        return std::nullopt;
    folder.category = *category;
    folder.state = *state;

    bool ok = object.value(kCustomPrompt).isString();
    folder.customPrompt = object.value(kCustomPrompt).toString();
    folder.lastGeneratedPrompt = optionalString(object, kLastPrompt, &ok);
    if (const std::optional<QString> at = optionalString(object, kLastAt, &ok)) {
        const QDateTime time = QDateTime::fromString(*at, Qt::ISODateWithMs);
        ok = ok && time.isValid();
        folder.lastGeneratedAt = time.toLocalTime();
    }
    const std::optional<qint64> fileCount = count(object.value(kFileCount));
    const std::optional<qint64> folderSize = count(object.value(kFolderSize));
    if (!ok || !fileCount || !folderSize)
        return std::nullopt;
    folder.fileCount = *fileCount;
    folder.folderSizeBytes = *folderSize;

    if (const std::optional<QString> image = optionalString(object, kImage, &ok)) {
        if (!SessionRecord::isImageFileName(*image))
            return std::nullopt;
        folder.imageFile = *image;
    }
    folder.lastGeneratedModel = optionalString(object, kModel, &ok).value_or(QString());
    folder.generationCost = costFromJson(object, &ok);
    const QJsonValue imageApplied = object.value(kImageApplied);
    std::optional<QJsonArray> history = historyFromJson(object.value(kHistory));
    if (!ok || !history || !(imageApplied.isBool() || imageApplied.isUndefined()))
        return std::nullopt;
    folder.imageApplied = imageApplied.toBool();
    folder.storedHistory = std::move(*history);
    const QJsonValue selected = object.value(kSelected);
    if (!ok || !(selected.isBool() || selected.isUndefined()))
        return std::nullopt;
    folder.selected = selected.toBool();
    return folder;
}

} // namespace

bool SessionRecord::isImageFileName(const QString &name)
{
    // Plain names only: no directory part, no dot file, nothing an edited index could point elsewhere
    // with: 1 to 80 of [A-Za-z0-9_-], then ".png".
    const QStringView suffix = u".png";
    if (!name.endsWith(suffix) || name.size() <= suffix.size() || name.size() > 80 + suffix.size())
        return false;
    const QStringView stem = QStringView(name).chopped(suffix.size());
    return std::all_of(stem.begin(), stem.end(), [](QChar c) {
        return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'_'
               || c == u'-';
    });
}

QList<SessionRecord::HistoryEntry> SessionRecord::historyEntries(const QJsonArray &storedHistory)
{
    QList<HistoryEntry> entries;
    entries.reserve(storedHistory.size());
    for (const QJsonValue &item : storedHistory) {
        if (std::optional<HistoryEntry> entry = historyEntryFromJson(item, false))
            entries.append(std::move(*entry));
    }
    return entries;
}

QStringList SessionRecord::historyFiles(const Folder &folder)
{
    QStringList files;
    files.reserve(folder.history.size() + folder.storedHistory.size());
    for (const HistoryEntry &entry : folder.history)
        files.append(entry.imageFile);
    for (const QJsonValue &item : folder.storedHistory)
        files.append(item.toObject().value(kImage).toString());
    return files;
}

QByteArray SessionRecord::toJson() const
{
    QJsonArray list;
    for (const Folder &folder : folders) {
        QJsonObject object{
            {kUrl, folder.url.toString(QUrl::FullyEncoded)},
            {kCategory, rawValue(folder.category)},
            {kState, stateName(folder.state.kind())},
            {kCustomPrompt, folder.customPrompt},
            {kFileCount, double(folder.fileCount)},
            {kFolderSize, double(folder.folderSizeBytes)},
            {kSelected, folder.selected},
        };
        if (folder.state.is(IconState::Kind::failed))
            object.insert(kFailureMessage, folder.state.message());
        if (folder.state.failure() == IconState::Failure::authentication)
            object.insert(kFailureKind, QStringLiteral("authentication"));
        if (folder.lastGeneratedPrompt)
            object.insert(kLastPrompt, *folder.lastGeneratedPrompt);
        if (folder.lastGeneratedAt)
            object.insert(kLastAt, folder.lastGeneratedAt->toUTC().toString(Qt::ISODateWithMs));
        if (!folder.imageFile.isEmpty())
            object.insert(kImage, folder.imageFile);
        if (!folder.lastGeneratedModel.isEmpty())
            object.insert(kModel, folder.lastGeneratedModel);
        if (folder.imageApplied)
            object.insert(kImageApplied, true);
        if (folder.generationCost)
            object.insert(kCost, *folder.generationCost);
        if (!folder.history.isEmpty()) {
            QJsonArray history;
            for (const HistoryEntry &entry : folder.history) {
                QJsonObject item{
                    {kImage, entry.imageFile},
                    {kHistoryModel, entry.model},
                    {kHistoryPrompt, entry.prompt},
                    {kHistoryApplied, entry.applied},
                };
                if (entry.generatedAt)
                    item.insert(kHistoryAt, entry.generatedAt->toUTC().toString(Qt::ISODateWithMs));
                if (entry.cost)
                    item.insert(kCost, *entry.cost);
                history.append(item);
            }
            object.insert(kHistory, history);
        } else if (!folder.storedHistory.isEmpty()) {
            object.insert(kHistory, folder.storedHistory);
        }
        list.append(object);
    }
    const QJsonObject root{
        {kVersion, currentVersion},
        {kViewMode, viewMode == ViewMode::list ? QStringLiteral("list") : QStringLiteral("grid")},
        {kFolders, list},
    };
    return QJsonDocument(root).toJson(QJsonDocument::Compact);
}

std::optional<SessionRecord> SessionRecord::fromJson(const QByteArray &json)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject root = document.object();
    if (!root.value(kVersion).isDouble() || root.value(kVersion).toDouble() != currentVersion)
        return std::nullopt;

    SessionRecord record;
    const QString viewMode = root.value(kViewMode).toString();
    if (viewMode == u"list")
        record.viewMode = ViewMode::list;
    else if (viewMode != u"grid")
        return std::nullopt;

    if (!root.value(kFolders).isArray())
        return std::nullopt;
    const QJsonArray list = root.value(kFolders).toArray();
    QSet<QUrl> urls;
    QSet<QString> images;
    record.folders.reserve(list.size());
    for (const QJsonValue &value : list) {
        std::optional<Folder> folder = folderFromJson(value);
        // The list never holds a folder twice, and no two images share one file.
        if (!folder || urls.contains(folder->url) || (!folder->imageFile.isEmpty() && images.contains(folder->imageFile)))
            return std::nullopt;
        urls.insert(folder->url);
        if (!folder->imageFile.isEmpty())
            images.insert(folder->imageFile);
        for (const QString &file : historyFiles(*folder)) {
            if (images.contains(file))
                return std::nullopt;
            images.insert(file);
        }
        record.folders.append(std::move(*folder));
    }
    return record;
}
