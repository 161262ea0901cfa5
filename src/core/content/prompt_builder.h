#pragma once

#include "models/semantic_category.h"
#include "models/theme_preset.h"

#include <QString>
#include <QStringList>

#include <optional>

class FolderItem;

/// @brief Turns a folder into the image prompt; pure, deterministic and thread-safe.
namespace PromptBuilder {

QString build(const ThemePreset &theme, SemanticCategory category, const QString &folderName,
              const QStringList &fileHints, const std::optional<QString> &variationKey,
              bool maintainThemeConsistency);

/// The prompt made for `folder` from its name, category, first file names and path: what the inspector
/// offers as the base of a custom prompt ("Use Auto As Base").
QString autoPrompt(const FolderItem &folder, const ThemePreset &theme, bool maintainThemeConsistency);
/// The prompt sent for `folder`: its custom instruction framed with the name, style and render directive
/// when it has one, else autoPrompt(). The only place a folder's prompt is composed.
QString promptFor(const FolderItem &folder, const ThemePreset &theme, bool maintainThemeConsistency);

/// The closing sentence of every prompt: how the icon is to be rendered. Custom prompts end with it too.
const QString &renderDirective();

/// The logo subject of a recognised brand in the folder's name, if any.
std::optional<QString> brandSubject(const QString &folderName);

} // namespace PromptBuilder
