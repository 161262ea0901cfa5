#include "open_router_protocol.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>

#include <QCoreApplication>

#include <algorithm>
#include <cmath>

namespace OpenRouterProtocol {
namespace {

/// The array when every element is an object; an array holding anything else does not count.
std::optional<QJsonArray> arrayOfObjects(const QJsonValue &value)
{
    if (!value.isArray())
        return std::nullopt;
    const QJsonArray array = value.toArray();
    for (const QJsonValue &element : array) {
        if (!element.isObject())
            return std::nullopt;
    }
    return array;
}

/// error.message of an object, when "error" is an object and its "message" a string.
std::optional<QString> errorMessage(const QJsonObject &object)
{
    const QJsonValue error = object.value(QLatin1String("error"));
    if (!error.isObject())
        return std::nullopt;
    const QJsonValue message = error.toObject().value(QLatin1String("message"));
    if (!message.isString())
        return std::nullopt;
    return message.toString();
}

/// "image_url" as an object with a string "url", else as a string itself.
std::optional<QString> imageUrlOf(const QJsonObject &element)
{
    const QJsonValue imageUrl = element.value(QLatin1String("image_url"));
    if (imageUrl.isObject()) {
        const QJsonValue url = imageUrl.toObject().value(QLatin1String("url"));
        if (url.isString())
            return url.toString();
    }
    if (imageUrl.isString())
        return imageUrl.toString();
    return std::nullopt;
}

/// The most one picture can plausibly cost, and the most a key can plausibly hold or have spent,
/// in US dollars: a larger figure is a server's mistake, not something to show.
constexpr double maxImageCost = 100.0;
constexpr double maxKeyAmount = 1.0e9;

/// Error bodies up to this size are parsed whole; an error is a few hundred bytes.
constexpr qsizetype wholeErrorBodyLimit = 64 * 1024;
/// Bytes of a message string read from a larger body: enough for the characters kept of it.
constexpr qsizetype boundedMessageBytes = 4 * GenerationError::maxServerTextLength + 64;

/// The first "message" string of a body too large to parse whole, read from at most
/// boundedMessageBytes of it: a server's 50 MB message costs no more than a short one.
std::optional<QString> boundedErrorMessage(const QByteArray &body)
{
    static const QByteArray key = QByteArrayLiteral("\"message\"");
    const qsizetype at = body.indexOf(key);
    if (at < 0)
        return std::nullopt;
    qsizetype i = at + key.size();
    auto skipSpace = [&] {
        while (i < body.size() && (body[i] == ' ' || body[i] == '\t' || body[i] == '\n' || body[i] == '\r'))
            ++i;
    };
    skipSpace();
    if (i >= body.size() || body[i] != ':')
        return std::nullopt;
    ++i;
    skipSpace();
    if (i >= body.size() || body[i] != '"')
        return std::nullopt;
    const qsizetype start = ++i;
    const qsizetype stop = std::min(body.size(), start + boundedMessageBytes);
    bool closed = false;
    for (; i < stop; ++i) {
        if (body[i] == '\\') {
            ++i;
        } else if (body[i] == '"') {
            closed = true;
            break;
        }
    }
    QByteArray slice = body.mid(start, std::min(i, stop) - start);
    if (!closed) {
        // Drop an escape cut in half; a UTF-8 sequence cut in half becomes one replacement character.
        const qsizetype escape = slice.lastIndexOf('\\');
        if (escape >= 0 && slice.size() - escape < 6)
            slice.truncate(escape);
    }
    const QJsonDocument wrapped = QJsonDocument::fromJson("[\"" + slice + "\"]");
    if (!wrapped.isArray() || !wrapped.array().at(0).isString())
        return std::nullopt;
    QString message = wrapped.array().at(0).toString();
    if (!closed) // longer than what was read: the cut shows
        message = message.size() > GenerationError::maxServerTextLength ? GenerationError::cutText(message)
                                                                         : message + QChar(0x2026);
    return message;
}

ChatOutcome failure(GenerationError error)
{
    return ChatOutcome{QString(), std::move(error)};
}

/// Each UTF-16 unit's Base64 value, -1 for anything else.
struct Base64Table
{
    qint8 values[128];

    constexpr Base64Table() : values()
    {
        for (qint8 &value : values)
            value = -1;
        for (int i = 0; i < 26; ++i) {
            values['A' + i] = qint8(i);
            values['a' + i] = qint8(26 + i);
        }
        for (int i = 0; i < 10; ++i)
            values['0' + i] = qint8(52 + i);
        values[int('+')] = 62;
        values[int('/')] = 63;
    }

    int operator()(char16_t u) const { return u < 128 ? values[u] : -1; }
};
constexpr Base64Table base64Value;

} // namespace

HeaderList chatRequestHeaders(const QString &apiKey)
{
    return {
        {"Authorization", "Bearer " + apiKey.toUtf8()},
        {"Content-Type", "application/json"},
        {"Cache-Control", "no-store"},
        {"X-Title", "Tavrune"},
    };
}

HeaderList keyCheckHeaders(const QString &apiKey)
{
    return {
        {"Authorization", "Bearer " + apiKey.toUtf8()},
        {"X-Title", "Tavrune"},
    };
}

std::optional<QString> unsendableKeyReason(const QString &apiKey)
{
    if (apiKey.contains(QLatin1Char('\r')) || apiKey.contains(QLatin1Char('\n')))
        return QCoreApplication::translate("OpenRouter", "Invalid API key: it contains a line break");
    if (apiKey.contains(QChar(u'\0')))
        return QCoreApplication::translate("OpenRouter", "Invalid API key: it contains a NUL character");
    return std::nullopt;
}

QByteArray chatRequestBody(const QString &modelId, const QStringList &modalities, const QString &prompt)
{
    QJsonObject message;
    message.insert(QLatin1String("role"), QStringLiteral("user"));
    message.insert(QLatin1String("content"), prompt);
    QJsonObject body;
    body.insert(QLatin1String("model"), modelId);
    body.insert(QLatin1String("modalities"), QJsonArray::fromStringList(modalities));
    body.insert(QLatin1String("messages"), QJsonArray{message});
    return QJsonDocument(body).toJson(QJsonDocument::Compact);
}

ChatOutcome readChatResponse(int status, const QByteArray &body)
{
    if (status >= 100 && status <= 999 && status != 200 && body.size() > wholeErrorBodyLimit) {
        if (const auto message = boundedErrorMessage(body))
            return failure(GenerationError::apiError(status, *message));
        return failure(GenerationError::apiError(status, QStringLiteral("HTTP ") + QString::number(status)));
    }
    const QJsonDocument document = QJsonDocument::fromJson(body);
    const QJsonObject root = document.object(); // empty when the body is not a JSON object

    if (status < 100 || status > 999) // no HTTP status line at all
        return failure(GenerationError::invalidResponse());
    if (status != 200) {
        if (const auto message = errorMessage(root))
            return failure(GenerationError::apiError(status, *message));
        return failure(GenerationError::apiError(status, QStringLiteral("HTTP ") + QString::number(status)));
    }

    // OpenRouter may answer 200 and still report a failure, as a top-level "error" object or in the
    // first choice. Without an image that message explains more than a generic failure would.
    std::optional<QString> reportedError = errorMessage(root);
    auto failWith = [&reportedError](GenerationError error) {
        return reportedError ? failure(GenerationError::apiError(*reportedError)) : failure(std::move(error));
    };

    if (!document.isObject())
        return failWith(GenerationError::invalidResponse());
    const std::optional<QJsonArray> choices = arrayOfObjects(root.value(QLatin1String("choices")));
    if (!choices || choices->isEmpty())
        return failWith(GenerationError::invalidResponse());
    const QJsonObject firstChoice = choices->first().toObject();
    if (!reportedError)
        reportedError = errorMessage(firstChoice);
    const QJsonValue message = firstChoice.value(QLatin1String("message"));
    if (!message.isObject())
        return failWith(GenerationError::invalidResponse());
    const std::optional<QString> reference = extractImageUrl(message.toObject());
    if (!reference)
        return failWith(GenerationError::imageDecoding());
    const QJsonValue usage = root.value(QLatin1String("usage"));
    return ChatOutcome{*reference, std::nullopt,
                       dollarAmount(usage.toObject().value(QLatin1String("cost")), maxImageCost)};
}

std::optional<double> dollarAmount(const QJsonValue &value, double max)
{
    if (!value.isDouble())
        return std::nullopt;
    const double amount = value.toDouble();
    if (!std::isfinite(amount) || amount < 0 || amount > max)
        return std::nullopt;
    return amount;
}

KeyCheck readKeyAnswer(int status, const QByteArray &body)
{
    const QString code = QString::number(status);
    if (status == 401 || status == 403)
        return KeyCheck{QCoreApplication::translate("OpenRouter", "Invalid API key")};
    if (status == 429 || (status >= 500 && status <= 599))
        return KeyCheck{QCoreApplication::translate("OpenRouter", "OpenRouter could not check the key (HTTP %1); try again")
                            .arg(code)};
    if (status != 200)
        return KeyCheck{QCoreApplication::translate("OpenRouter", "Unexpected answer from OpenRouter (HTTP %1)").arg(code)};

    KeyCheck check;
    if (body.size() > maxKeyAnswerBytes)
        return check;
    const QJsonValue data = QJsonDocument::fromJson(body).object().value(QLatin1String("data"));
    if (!data.isObject())
        return check;
    const QJsonObject fields = data.toObject();
    const QJsonValue remaining = fields.value(QLatin1String("limit_remaining"));
    check.unlimited = remaining.isNull(); // present and null; an absent field is undefined
    check.limitRemaining = dollarAmount(remaining, maxKeyAmount);
    check.usage = dollarAmount(fields.value(QLatin1String("usage")), maxKeyAmount);
    return check;
}

std::optional<QString> extractImageUrl(const QJsonObject &message)
{
    if (const auto images = arrayOfObjects(message.value(QLatin1String("images")))) {
        for (const QJsonValue &element : *images) {
            if (const auto url = imageUrlOf(element.toObject()))
                return url;
        }
    }
    if (const auto parts = arrayOfObjects(message.value(QLatin1String("content")))) {
        for (const QJsonValue &value : *parts) {
            const QJsonObject part = value.toObject();
            const QJsonValue type = part.value(QLatin1String("type"));
            if (!type.isString() || type.toString() != QLatin1String("image_url"))
                continue;
            if (const auto url = imageUrlOf(part))
                return url;
        }
    }
    return std::nullopt;
}

std::optional<QByteArray> decodeStrictBase64(QStringView text)
{
    if (text.size() % 4 != 0)
        return std::nullopt;
    qsizetype padding = 0;
    if (text.endsWith(QLatin1String("==")))
        padding = 2;
    else if (text.endsWith(QLatin1Char('=')))
        padding = 1;
    const qsizetype dataLength = text.size() - padding;
    // One pass that checks and decodes: a picture's data URL is several hundred kilobytes.
    QByteArray bytes(dataLength * 3 / 4, Qt::Uninitialized);
    auto *out = reinterpret_cast<uchar *>(bytes.data());
    const char16_t *in = text.utf16();
    quint32 group = 0;
    int filled = 0;
    for (qsizetype i = 0; i < dataLength; ++i) {
        const int value = base64Value(in[i]);
        if (value < 0)
            return std::nullopt;
        group = (group << 6) | quint32(value);
        if (++filled == 4) {
            out[0] = uchar(group >> 16);
            out[1] = uchar(group >> 8);
            out[2] = uchar(group);
            out += 3;
            group = 0;
            filled = 0;
        }
    }
    // A padded last group: two characters carry one byte, three carry two.
    if (filled == 2) {
        *out++ = uchar(group >> 4);
    } else if (filled == 3) {
        *out++ = uchar(group >> 10);
        *out++ = uchar(group >> 2);
    }
    return bytes;
}

std::optional<QByteArray> dataUrlPayload(const QString &reference)
{
    static const QString marker = QStringLiteral("base64,");
    const qsizetype at = reference.indexOf(marker);
    if (at < 0)
        return std::nullopt;
    return decodeStrictBase64(QStringView(reference).mid(at + marker.size()));
}

QUrl fetchableImageUrl(const QString &reference)
{
    const QUrl url(reference, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty())
        return QUrl();
    const QString scheme = url.scheme();
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https"))
        return QUrl();
    return url;
}

} // namespace OpenRouterProtocol
