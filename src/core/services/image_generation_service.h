#pragma once

#include "models/icon_image.h"

#include <QFuture>
#include <QString>

/// @brief Turns a prompt and the user's key into a styled app icon through OpenRouter.
///
/// Two models, the other tried when the first fails. The network runs on its own thread and
/// decoding, styling and PNG encoding on Qt's thread pool; nothing blocks the caller.
class ImageGenerationService final
{
public:
    static ImageGenerationService &shared();

    /// Resolves with the 1024 × 1024 icon (with its PNG encoding) or fails with GenerationError.
    QFuture<IconImage> generate(const QString &prompt, const QString &apiKey, bool fast);

    /// Checks a key for the onboarding sheet: resolves with an empty string when it works,
    /// else "Invalid API key" or "Connection failed".
    QFuture<QString> testConnection(const QString &apiKey);

private:
    ImageGenerationService();
};
