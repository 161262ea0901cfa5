#pragma once

#include "models/folder_item.h"
#include "models/toast.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonArray>
#include <QList>
#include <QString>
#include <QUrl>

#include <optional>

/// @brief What the session keeps of the folder list, as plain values: the index file's content.
///
/// Images are not in here, only the names of the PNG files beside the index that hold them.
struct SessionRecord
{
    /// The index format written by this version. A larger number is a newer program's file.
    static constexpr int currentVersion = 1;

    /// An earlier image of a folder.
    struct HistoryEntry
    {
        /// File name of its PNG in the session directory.
        QString imageFile;
        std::optional<QDateTime> generatedAt;
        QString model;
        QString prompt;
        bool applied = false;
        /// What it cost in US dollars, when OpenRouter said.
        std::optional<double> cost;

        friend bool operator==(const HistoryEntry &, const HistoryEntry &) = default;
    };

    struct Folder
    {
        QUrl url;
        SemanticCategory category = SemanticCategory::personal;
        /// Never `generating`: a generation cut short by quitting goes back to what it started from.
        IconState state;
        QString customPrompt;
        std::optional<QString> lastGeneratedPrompt;
        std::optional<QDateTime> lastGeneratedAt;
        qint64 fileCount = 0;
        qint64 folderSizeBytes = 0;
        /// File name of the icon's PNG in the session directory; empty without an image.
        QString imageFile;
        /// The model that answered with the current image; empty when not known.
        QString lastGeneratedModel;
        /// What the current image cost in US dollars, when OpenRouter said.
        std::optional<double> generationCost;
        /// The current image is the one the folder shows, though generated on since.
        bool imageApplied = false;
        /// Earlier images, newest first.
        QList<HistoryEntry> history;
        /// Earlier images as an index read holds them (then `history` is empty): checked like every
        /// other field, but made into entries only by historyEntries(), when they are needed. Written
        /// back as they are.
        QJsonArray storedHistory;
        bool selected = false;

        friend bool operator==(const Folder &, const Folder &) = default;
    };

    QList<Folder> folders;
    ViewMode viewMode = ViewMode::grid;

    friend bool operator==(const SessionRecord &, const SessionRecord &) = default;

    QByteArray toJson() const;
    /// Nothing unless the text is a whole index of a version this program reads, with every field of the
    /// expected type and value: a truncated, corrupt, newer or hand-broken file is refused as a whole.
    static std::optional<SessionRecord> fromJson(const QByteArray &json);
    /// Whether a name is one the store gives image files: nothing else is ever opened from an index.
    static bool isImageFileName(const QString &name);
    /// The entries of a folder's `storedHistory`, as fromJson() read and checked it.
    static QList<HistoryEntry> historyEntries(const QJsonArray &storedHistory);
    /// The image files a folder's history names (`history` and `storedHistory`).
    static QStringList historyFiles(const Folder &folder);
};
