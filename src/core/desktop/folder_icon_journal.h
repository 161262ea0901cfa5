#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>

#include <optional>

/// @brief What a folder held before its first icon was applied, so that removing the icon gives it back.
///
/// Each mechanism is recorded just before it is first changed and forgotten once it is given back, so a
/// later apply never overwrites the user's original state with one of our own values.
struct FolderIconJournal final
{
    struct DirectoryFile
    {
        bool existed = false;
        QByteArray content;
    };
    struct Metadata
    {
        std::optional<QByteArray> customIcon;
        std::optional<QByteArray> thunarIcon;
    };

    QString folderPath;
    std::optional<DirectoryFile> directoryFile;
    std::optional<Metadata> metadata;
    /// The metadata of symbolic links to the folder that the icon was applied through, by the link's path.
    QMap<QString, Metadata> links;

    bool isEmpty() const { return !directoryFile && !metadata && links.isEmpty(); }

    /// The record at `path`; an empty one (for `folderPath`) when there is none or it cannot be read.
    static FolderIconJournal load(const QString &path, const QString &folderPath);
    /// Writes the record to `path` readable by its owner only, or removes the file when nothing is recorded.
    bool store(const QString &path) const;
    /// The folder `fromFolder` was renamed to `toFolder`: its record moves from `fromPath` to `toPath`,
    /// unchanged, replacing whatever `toPath` held (a record left by a folder that vanished from there).
    /// The new record is written before the old one goes, so a crash loses neither.
    static bool move(const QString &fromPath, const QString &fromFolder, const QString &toPath, const QString &toFolder);
};
