#pragma once

#include <QImage>
#include <QString>

/// A 1024 × 1024 picture drawn for a prompt: colours and shapes seeded by a hash of the prompt, so
/// every folder gets its own recognisable icon from the fake OpenRouter.
QImage fakePicture(const QString &prompt);
