#pragma once

#include "models/folder_item.h"

#include <QList>
#include <QUrl>

/// @brief The shallow content summary of a folder: its own level only, never its sub-folders.
namespace FolderAnalyzer {

struct Analysis
{
    QList<FileEntry> topFiles; ///< the first 20 children met, in the file system's order
    qint64 fileCount = 0;      ///< every non-hidden child
    qint64 totalBytes = 0;     ///< sum of the children's file sizes
};

/// Never fails: a missing, unreadable or non-directory path gives an empty analysis.
Analysis analyze(const QUrl &folderUrl);

} // namespace FolderAnalyzer
