#pragma once

#include "generation_error.h"

#include <QByteArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>
#include <utility>

/// @brief What is sent to OpenRouter and how its answers are read; pure functions, no I/O.
///
/// Kept free of the network and of images so the service and the fuzzer exercise the same code.
namespace OpenRouterProtocol {

inline constexpr char defaultBaseUrl[] = "https://openrouter.ai";
inline constexpr char chatCompletionsPath[] = "/api/v1/chat/completions";
inline constexpr char keyPath[] = "/api/v1/key";
inline constexpr char fastModelId[] = "google/gemini-2.5-flash-image";
inline constexpr char qualityModelId[] = "openai/gpt-5.4-image-2";

using HeaderList = QList<std::pair<QByteArray, QByteArray>>;

/// The four headers of a chat request, and no others.
HeaderList chatRequestHeaders(const QString &apiKey);
/// The compact JSON body: "model", "modalities" and one user message, nothing else.
QByteArray chatRequestBody(const QString &modelId, const QStringList &modalities, const QString &prompt);
/// The two headers of the key check.
HeaderList keyCheckHeaders(const QString &apiKey);

/// Why a key cannot go into an Authorization header ("Invalid API key: it contains a line break",
/// or a NUL character): sent raw, such a key would end the header early or add headers and
/// requests of the server's choosing. Nothing when the key can be sent. A key file written with
/// `echo key > file` ends in a line break: the text says so, so the user knows what to fix.
std::optional<QString> unsendableKeyReason(const QString &apiKey);

/// Either the image reference found in a chat response or the reason there is none.
struct ChatOutcome
{
    QString imageReference;
    std::optional<GenerationError> error;
    /// usage.cost of the answer in US dollars, when it is a plausible amount.
    std::optional<double> cost = std::nullopt;
};

/// Reads a chat-completions answer: status exactly 200, one choice, its message's image reference.
ChatOutcome readChatResponse(int status, const QByteArray &body);

/// A key check's answer is a few hundred bytes; a body larger than this is not read.
inline constexpr qint64 maxKeyAnswerBytes = 64 * 1024;

/// What a key check found.
struct KeyCheck
{
    /// Empty when the key works, else the text shown to the user.
    QString failure;
    /// data.limit_remaining in US dollars, when it is a plausible amount.
    std::optional<double> limitRemaining = std::nullopt;
    /// data.limit_remaining is null: the key has no spending limit.
    bool unlimited = false;
    /// data.usage: what the key has spent, when it is a plausible amount.
    std::optional<double> usage = std::nullopt;
};

/// Reads the answer of GET /api/v1/key. Only 401 and 403 mean the key is invalid ("Invalid API
/// key"); 429 and 5xx say OpenRouter could not check it now; anything else but 200 is an
/// unexpected answer. Credit fields that are absent or malformed are simply not known.
KeyCheck readKeyAnswer(int status, const QByteArray &body);

/// A dollar amount from a JSON value: a finite number from 0 to `max`, nothing otherwise.
std::optional<double> dollarAmount(const QJsonValue &value, double max);

/// The image reference of a response message: "images" first, then image parts of "content".
std::optional<QString> extractImageUrl(const QJsonObject &message);

/// The bytes after the first "base64," when they are strict Base64 (standard alphabet, padded,
/// nothing else); nothing when the marker is missing or the payload is not valid.
std::optional<QByteArray> dataUrlPayload(const QString &reference);

/// Strict Base64: standard alphabet, length a multiple of four, '=' only as final padding.
std::optional<QByteArray> decodeStrictBase64(QStringView text);

/// The URL to download for a reference, or an invalid QUrl when it is not a valid http(s) URL
/// (a reference must never make the program read local files or speak other protocols).
QUrl fetchableImageUrl(const QString &reference);

} // namespace OpenRouterProtocol
