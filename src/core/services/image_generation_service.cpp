#include "image_generation_service.h"

#include "generation_error.h"
#include "http_client.h"
#include "icon_styler.h"
#include "image_decoder.h"
#include "open_router_protocol.h"

#include <QCoreApplication>
#include <QPromise>
#include <QThreadPool>
#include <QUrl>

#include <exception>

#include <malloc.h>

namespace {

using namespace std::chrono_literals;

/// One model to ask: its OpenRouter id and the output modalities requested from it.
struct ModelCandidate
{
    QString id;
    QStringList modalities;
};

const ModelCandidate &fastModel()
{
    static const ModelCandidate model{QString::fromLatin1(OpenRouterProtocol::fastModelId),
                                      {QStringLiteral("image"), QStringLiteral("text")}};
    return model;
}

const ModelCandidate &qualityModel()
{
    static const ModelCandidate model{QString::fromLatin1(OpenRouterProtocol::qualityModelId),
                                      {QStringLiteral("image"), QStringLiteral("text")}};
    return model;
}

/// One call of generate(): the attempts still to make and what went wrong so far.
struct GenerationJob
{
    HttpClient *http = nullptr;
    QUrl chatUrl;
    QString prompt;
    QString apiKey;
    QList<ModelCandidate> candidates;
    int attempt = 0;
    QStringList failures;
    QPromise<IconImage> promise;
};
using JobPointer = std::shared_ptr<GenerationJob>;

void startAttempt(const JobPointer &job);

void finishWithFailure(const JobPointer &job)
{
    job->promise.setException(GenerationError::apiError(QStringLiteral("All models failed: ")
                                                         + job->failures.join(QStringLiteral(" | "))));
    job->promise.finish();
}

void attemptFailed(const JobPointer &job, const QString &description)
{
    job->failures.append(QLatin1Char('[') + job->candidates.at(job->attempt).id + QStringLiteral("] ")
                         + description);
    ++job->attempt;
    if (job->attempt < job->candidates.size())
        startAttempt(job);
    else
        finishWithFailure(job);
}

/// Runs one step of an attempt; anything it throws fails the attempt with its description.
template<typename Step>
void guarded(const JobPointer &job, Step step)
{
    if (job->promise.isCanceled()) {
        job->promise.finish();
        return;
    }
    try {
        step();
    } catch (const GenerationError &error) {
        attemptFailed(job, error.description());
    } catch (const std::exception &error) {
        attemptFailed(job, QString::fromLocal8Bit(error.what()));
    }
}

void succeed(const JobPointer &job, const QImage &decoded)
{
    {
        const QImage styled = IconStyler::appIconStyled(decoded);
        job->promise.addResult(IconImage(styled, IconStyler::encodePng(styled)));
    }
    job->promise.finish();
}

/// The full-size images an icon needed stay in the pool thread's malloc arena once freed, and a
/// batch would leave every arena at its high-water mark: hand the memory back to the system.
void releaseFreedMemory()
{
    malloc_trim(0);
}

void handleDownload(const JobPointer &job, const HttpResponse &response)
{
    if (response.isTransportFailure()) {
        // The download's transport error ends the attempt as it is, not as a "Network error".
        attemptFailed(job, response.transportError);
        return;
    }
    // The status is not looked at: a body that is an image is the image, anything else is not.
    const QImage image = ImageDecoder::decode(response.body);
    if (image.isNull())
        throw GenerationError::imageDecoding();
    succeed(job, image);
}

void handleChatResponse(const JobPointer &job, const HttpResponse &response)
{
    if (response.isTransportFailure())
        throw GenerationError::networkError(response.transportError);

    const OpenRouterProtocol::ChatOutcome outcome =
        OpenRouterProtocol::readChatResponse(response.status, response.body);
    if (outcome.error)
        throw *outcome.error;

    if (const auto payload = OpenRouterProtocol::dataUrlPayload(outcome.imageReference)) {
        const QImage image = ImageDecoder::decode(*payload);
        if (!image.isNull()) {
            succeed(job, image);
            return;
        }
    }

    const QUrl url = OpenRouterProtocol::fetchableImageUrl(outcome.imageReference);
    if (!url.isValid())
        throw GenerationError::imageDecoding();
    HttpRequest download;
    download.url = url;
    download.headers = {{"Cache-Control", "no-store"}};
    download.timeout = 60s;
    download.followRedirects = true;
    job->http->send(download).then(QThreadPool::globalInstance(), [job](const HttpResponse &reply) {
        guarded(job, [&] { handleDownload(job, reply); });
        releaseFreedMemory();
    });
}

void startAttempt(const JobPointer &job)
{
    const ModelCandidate &model = job->candidates.at(job->attempt);
    HttpRequest request;
    request.method = QByteArrayLiteral("POST");
    request.url = job->chatUrl;
    request.headers = OpenRouterProtocol::chatRequestHeaders(job->apiKey);
    request.body = OpenRouterProtocol::chatRequestBody(model.id, model.modalities, job->prompt);
    request.timeout = 300s;
    // Parsing, decoding and styling continue on the thread pool, never on the network thread.
    job->http->send(request).then(QThreadPool::globalInstance(), [job](const HttpResponse &response) {
        guarded(job, [&] { handleChatResponse(job, response); });
        releaseFreedMemory();
    });
}

QString baseUrlFromEnvironment()
{
    QString base = qEnvironmentVariable("TAVRUNE_OPENROUTER_URL").trimmed();
    if (base.isEmpty())
        base = QString::fromLatin1(OpenRouterProtocol::defaultBaseUrl);
    while (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    return base;
}

} // namespace

ImageGenerationService::ImageGenerationService()
    : m_http(std::make_unique<HttpClient>())
    , m_baseUrl(baseUrlFromEnvironment())
{
}

ImageGenerationService::~ImageGenerationService() = default;

ImageGenerationService &ImageGenerationService::shared()
{
    static ImageGenerationService instance;
    static const bool shutdownRegistered = [] {
        // Stop the network thread while Qt is still whole: requests pending at exit are cancelled,
        // so none of their continuations runs into a torn-down application.
        if (QCoreApplication::instance())
            qAddPostRoutine([] { instance.m_http->shutdown(); });
        return true;
    }();
    Q_UNUSED(shutdownRegistered);
    return instance;
}

QFuture<IconImage> ImageGenerationService::generate(const QString &prompt, const QString &apiKey, bool fast)
{
    auto job = std::make_shared<GenerationJob>();
    job->http = m_http.get();
    job->chatUrl = QUrl(m_baseUrl + QLatin1String(OpenRouterProtocol::chatCompletionsPath));
    job->prompt = prompt;
    job->apiKey = apiKey;
    job->candidates = fast ? QList<ModelCandidate>{fastModel(), qualityModel()}
                           : QList<ModelCandidate>{qualityModel(), fastModel()};
    job->promise.start();
    QFuture<IconImage> future = job->promise.future();
    startAttempt(job);
    return future;
}

QFuture<QString> ImageGenerationService::testConnection(const QString &apiKey)
{
    // The model list answers 200 to anyone; the key endpoint is the one that rejects a bad key.
    HttpRequest request;
    request.url = QUrl(m_baseUrl + QLatin1String(OpenRouterProtocol::keyPath));
    request.headers = OpenRouterProtocol::keyCheckHeaders(apiKey);
    request.timeout = 10s;
    return m_http->send(request).then(QThreadPool::globalInstance(), [](const HttpResponse &response) {
        if (response.isTransportFailure())
            return QStringLiteral("Connection failed");
        return response.status == 200 ? QString() : QStringLiteral("Invalid API key");
    });
}
