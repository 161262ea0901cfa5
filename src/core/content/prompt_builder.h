#pragma once

#include "models/semantic_category.h"
#include "models/theme_preset.h"

#include <QString>
#include <QStringList>

#include <optional>

/// @brief Turns a folder into the image prompt; pure, deterministic and thread-safe.
namespace PromptBuilder {

QString build(const ThemePreset &theme, SemanticCategory category, const QString &folderName,
              const QStringList &fileHints, const std::optional<QString> &variationKey,
              bool maintainThemeConsistency);

/// The closing sentence of every prompt: how the icon is to be rendered. Custom prompts end with it too.
const QString &renderDirective();

/// The logo subject of a recognised brand in the folder's name, if any.
std::optional<QString> brandSubject(const QString &folderName);

} // namespace PromptBuilder
