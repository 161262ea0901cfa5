// Feeds arbitrary bytes to the reading of chat-completions answers, of image references and of the
// image bytes they carry: the first byte picks the HTTP status, the rest is the body.
#include "imaging/image_decoder.h"
#include "openrouter/open_router_protocol.h"

#include <cstddef>
#include <cstdint>

namespace {

/// Only the four raster formats decode, never a cut-off JPEG, never beyond the size limits.
void decodeAndCheck(const QByteArray &bytes)
{
    const QImage image = ImageDecoder::decode(bytes);
    if (image.isNull())
        return;
    const char *format = ImageDecoder::formatOf(bytes);
    if (!format)
        __builtin_trap();
    if (qstrcmp(format, "jpeg") == 0 && !ImageDecoder::isCompleteJpeg(bytes))
        __builtin_trap();
    if (image.width() > ImageDecoder::maxSide || image.height() > ImageDecoder::maxSide
        || qint64(image.width()) * image.height() > ImageDecoder::maxPixels)
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    static const int statuses[] = {200, 200, 200, 200, 201, 204, 400, 401, 429, 500};
    const int status = statuses[data[0] % (sizeof statuses / sizeof statuses[0])];
    const QByteArray body(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));

    const OpenRouterProtocol::ChatOutcome outcome = OpenRouterProtocol::readChatResponse(status, body);
    if (outcome.error) {
        // Every failure has one of the fixed descriptions.
        if (outcome.error->description().isEmpty())
            __builtin_trap();
        if (status != 200 && outcome.error->kind() != GenerationError::Kind::apiError)
            __builtin_trap();
    } else {
        if (status != 200)
            __builtin_trap();
        if (const auto bytes = OpenRouterProtocol::dataUrlPayload(outcome.imageReference))
            decodeAndCheck(*bytes);
        OpenRouterProtocol::fetchableImageUrl(outcome.imageReference);
    }

    // The reference decoders on the raw text too, whatever the JSON made of it.
    const QString text = QString::fromUtf8(body);
    if (const auto bytes = OpenRouterProtocol::dataUrlPayload(text)) {
        // Strict Base64 is padded: the payload is exactly as long as the encoding of its bytes.
        const QString payload = text.mid(text.indexOf(QLatin1String("base64,")) + 7);
        if (bytes->toBase64().size() != payload.size())
            __builtin_trap();
    }
    // And the body as image bytes itself: a downloaded reference is decoded as it comes.
    decodeAndCheck(body);

    const QUrl url = OpenRouterProtocol::fetchableImageUrl(text);
    if (url.isValid() && url.scheme() != QLatin1String("http") && url.scheme() != QLatin1String("https"))
        __builtin_trap();
    return 0;
}
