#pragma once

#include "models/semantic_category.h"

#include <QUrl>

/// @brief Picks a folder's category: name keywords first, then the extensions at its top level.
namespace CategoryDetector {

/// Always returns a category; reads at most 200 top-level entries of the folder.
SemanticCategory detect(const QUrl &folderUrl);

} // namespace CategoryDetector
