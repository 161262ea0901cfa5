#include "desktop/folder_icon_journal.h"

#include "desktop/owner_only_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

// Values are kept as base64: `.directory` text and GIO metadata are bytes, not necessarily UTF-8.
namespace {

QJsonValue encoded(const std::optional<QByteArray> &bytes)
{
    return bytes ? QJsonValue(QString::fromLatin1(bytes->toBase64())) : QJsonValue(QJsonValue::Null);
}

std::optional<QByteArray> decoded(const QJsonValue &value)
{
    if (!value.isString())
        return std::nullopt;
    return QByteArray::fromBase64(value.toString().toLatin1());
}

} // namespace

FolderIconJournal FolderIconJournal::load(const QString &path, const QString &folderPath)
{
    FolderIconJournal journal;
    journal.folderPath = folderPath;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return journal;
    const QJsonObject root = QJsonDocument::fromJson(file.readAll()).object();
    // Two folders whose names hash alike must never trade records.
    if (root.value(QLatin1String("folder")).toString() != folderPath)
        return journal;
    const QJsonValue directory = root.value(QLatin1String("directoryFile"));
    if (directory.isObject()) {
        const QJsonObject object = directory.toObject();
        journal.directoryFile = DirectoryFile{object.value(QLatin1String("existed")).toBool(),
                                              decoded(object.value(QLatin1String("content"))).value_or(QByteArray())};
    }
    const auto metadataOf = [](const QJsonObject &object) {
        return Metadata{decoded(object.value(QLatin1String("customIcon"))),
                        decoded(object.value(QLatin1String("thunarIcon")))};
    };
    const QJsonValue metadata = root.value(QLatin1String("metadata"));
    if (metadata.isObject())
        journal.metadata = metadataOf(metadata.toObject());
    const QJsonArray links = root.value(QLatin1String("links")).toArray();
    for (const QJsonValue &link : links) {
        const QJsonObject object = link.toObject();
        const QString path = object.value(QLatin1String("path")).toString();
        if (!path.isEmpty())
            journal.links.insert(path, metadataOf(object));
    }
    return journal;
}

bool FolderIconJournal::store(const QString &path) const
{
    if (isEmpty())
        return !QFileInfo::exists(path) || QFile::remove(path);
    QJsonObject root{{QLatin1String("folder"), folderPath}};
    if (directoryFile) {
        root.insert(QLatin1String("directoryFile"),
                    QJsonObject{{QLatin1String("existed"), directoryFile->existed},
                                {QLatin1String("content"), encoded(directoryFile->content)}});
    }
    const auto metadataObject = [](const Metadata &values) {
        return QJsonObject{{QLatin1String("customIcon"), encoded(values.customIcon)},
                           {QLatin1String("thunarIcon"), encoded(values.thunarIcon)}};
    };
    if (metadata)
        root.insert(QLatin1String("metadata"), metadataObject(*metadata));
    if (!links.isEmpty()) {
        QJsonArray array;
        for (auto link = links.cbegin(); link != links.cend(); ++link) {
            QJsonObject object = metadataObject(link.value());
            object.insert(QLatin1String("path"), link.key());
            array.append(object);
        }
        root.insert(QLatin1String("links"), array);
    }
    // The user's `.directory` text may say more than they want others to read.
    return QDir().mkpath(QFileInfo(path).absolutePath())
        && OwnerOnlyFile::replace(path, QJsonDocument(root).toJson(QJsonDocument::Compact));
}

bool FolderIconJournal::move(const QString &fromPath, const QString &fromFolder, const QString &toPath,
                             const QString &toFolder)
{
    if (fromPath == toPath)
        return true;
    FolderIconJournal journal = load(fromPath, fromFolder);
    journal.folderPath = toFolder;
    return journal.store(toPath) && (!QFileInfo::exists(fromPath) || QFile::remove(fromPath));
}
