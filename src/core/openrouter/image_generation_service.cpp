#include "image_generation_service.h"

#include "generation_error.h"
#include "http_client.h"
#include "imaging/icon_styler.h"
#include "imaging/image_decoder.h"
#include "imaging/image_work_pool.h"
#include "open_router_protocol.h"

#include <QCoreApplication>
#include <QPromise>
#include <QUrl>

#include <exception>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace {

using namespace std::chrono_literals;

/// Answers and image bytes held at once, beyond which the network stops reading more answers until
/// image work catches up. Room for dozens of generated pictures, or several answers near the body
/// limit; a burst never holds more, however many generations it starts.
constexpr qint64 answerMemoryBudget = qint64(256) * 1024 * 1024;

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

} // namespace

/// One call of generate(): the attempts still to make and what went wrong so far.
struct GenerationJob
{
    HttpClient *http = nullptr;
    MemoryBudget *budget = nullptr;
    QUrl chatUrl;
    QString prompt;
    QString apiKey;
    QList<ModelCandidate> candidates;
    int attempt = 0;
    QList<GenerationError::Attempt> failures;
    /// What the answer that brought the image says it cost.
    std::optional<double> cost;
    QPromise<GeneratedIcon> promise;

    std::mutex exchangeMutex;
    QFuture<HttpResponse> exchange; // the request in flight, guarded by exchangeMutex

    /// Keeps the request now in flight, so that stopping the generation can abort it.
    void track(const QFuture<HttpResponse> &reply)
    {
        std::lock_guard lock(exchangeMutex);
        exchange = reply;
        // Stopped while it was being sent: abortCanceled() may already have looked.
        if (promise.isCanceled()) {
            exchange.cancel();
            http->abortCanceled();
        }
    }
    /// The answer is in: nothing left to abort, and the job no longer holds the future that holds it.
    void untrack()
    {
        std::lock_guard lock(exchangeMutex);
        exchange = QFuture<HttpResponse>();
    }
    void cancelExchange()
    {
        std::lock_guard lock(exchangeMutex);
        exchange.cancel();
    }
};


namespace {

using JobPointer = std::shared_ptr<GenerationJob>;

void startAttempt(const JobPointer &job);

void finishWithFailure(const JobPointer &job)
{
    job->promise.setException(GenerationError::allModelsFailed(job->failures));
    job->promise.finish();
}

void attemptFailed(const JobPointer &job, GenerationError::Kind kind, const QString &description)
{
    job->failures.append({job->candidates.at(job->attempt).id, kind, GenerationError::cutText(description)});
    ++job->attempt;
    if (job->attempt < job->candidates.size())
        startAttempt(job);
    else
        finishWithFailure(job);
}

/// Runs one step of an attempt; anything it throws fails the attempt with its description.
template<typename Step>
void guarded(const JobPointer &job, Step &&step)
{
    if (job->promise.isCanceled()) {
        job->promise.finish();
        return;
    }
    try {
        step();
    } catch (const GenerationError &error) {
        attemptFailed(job, error.kind(), error.description());
    } catch (const std::exception &error) {
        attemptFailed(job, GenerationError::Kind::apiError, QString::fromLocal8Bit(error.what()));
    }
}

void succeed(const JobPointer &job, const QImage &decoded)
{
    {
        const QImage styled = IconStyler::appIconStyled(decoded);
        job->promise.addResult(GeneratedIcon{IconImage(styled, IconStyler::encodePng(styled)), job->cost,
                                             job->candidates.at(job->attempt).id});
    }
    job->promise.finish();
}

/// The response of a finished exchange. The copy shares the body with the future's result store,
/// which is let go as soon as the network thread is done with the exchange.
HttpResponse responseOf(const QFuture<HttpResponse> &reply)
{
    if (reply.resultCount() == 0)
        return HttpResponse::transportFailure(QCoreApplication::translate("OpenRouter", "No response"));
    return reply.result();
}

/// Runs a step of the attempt on the image pool. Called on the network thread, which only hands
/// the work over.
template<typename Step>
void onImagePool(int priority, const JobPointer &job, Step step)
{
    ImageWorkPool::instance().start([job, step = std::move(step)]() mutable { guarded(job, step); }, priority);
}

void download(const JobPointer &job, const QUrl &url);

/// Image work: decoding, styling and encoding. `fallbackUrl` is downloaded instead when the bytes
/// are not an image.
void decodeAndStyle(const JobPointer &job, const QByteArray &bytes, const QUrl &fallbackUrl)
{
    const QImage image = ImageDecoder::decode(bytes);
    if (!image.isNull()) {
        succeed(job, image);
        return;
    }
    if (!fallbackUrl.isValid())
        throw GenerationError::imageDecoding();
    download(job, fallbackUrl);
}

void handleDownload(const JobPointer &job, const HttpResponse &response)
{
    if (response.isTransportFailure()) {
        // The download's transport error ends the attempt as it is, not as a "Network error".
        attemptFailed(job, GenerationError::Kind::networkError, response.transportError);
        return;
    }
    // The status is not looked at: a body that is an image is the image, anything else is not.
    const QImage image = ImageDecoder::decode(response.body);
    if (image.isNull())
        throw GenerationError::imageDecoding();
    succeed(job, image);
}

void download(const JobPointer &job, const QUrl &url)
{
    HttpRequest request;
    request.url = url;
    request.headers = {{"Cache-Control", "no-store"}};
    request.timeout = 60s;
    request.followRedirects = true;
    QFuture<HttpResponse> reply = job->http->send(request);
    job->track(reply);
    reply.then(QtFuture::Launch::Sync, [job](const QFuture<HttpResponse> &reply) {
        job->untrack();
        // A downloaded body is already nothing but the image bytes: it waits as image work.
        onImagePool(ImageWorkPool::imagePriority, job,
                    [job, response = responseOf(reply)] { handleDownload(job, response); });
    });
}

/// Reads a finished chat answer down to what it carries, at once: the whole answer (tens of
/// megabytes for a large image with text around it) is let go before any image work is waited for.
void reduceChatResponse(const JobPointer &job, HttpResponse response)
{
    if (response.isTransportFailure())
        throw GenerationError::networkError(response.transportError);

    QByteArray imageBytes;
    QUrl fallbackUrl;
    {
        const OpenRouterProtocol::ChatOutcome outcome =
            OpenRouterProtocol::readChatResponse(response.status, response.body);
        response.body = QByteArray();
        if (outcome.error)
            throw *outcome.error;
        job->cost = outcome.cost;
        if (auto payload = OpenRouterProtocol::dataUrlPayload(outcome.imageReference))
            imageBytes = std::move(*payload);
        // A data URL can never be downloaded; parsing megabytes of one as a URL would only say so.
        if (!outcome.imageReference.startsWith(QLatin1String("data:"), Qt::CaseInsensitive))
            fallbackUrl = OpenRouterProtocol::fetchableImageUrl(outcome.imageReference);
    }
    if (imageBytes.isEmpty()) {
        decodeAndStyle(job, imageBytes, fallbackUrl); // nothing to decode: download or fail now
        return;
    }
    // The answer's charge is given back when this step ends; the image bytes keep one of their own
    // until their image work is done.
    MemoryBudget::HoldPointer hold = job->budget->hold(imageBytes.size());
    onImagePool(ImageWorkPool::imagePriority, job,
                [job, hold = std::move(hold), imageBytes = std::move(imageBytes), fallbackUrl = std::move(fallbackUrl)] {
                    decodeAndStyle(job, imageBytes, fallbackUrl);
                });
}

void startAttempt(const JobPointer &job)
{
    if (const auto reason = OpenRouterProtocol::unsendableKeyReason(job->apiKey)) {
        // Refused here, before anything is sent; the text tells the window the key is the problem.
        attemptFailed(job, GenerationError::Kind::authentication, GenerationError::apiError(*reason).description());
        return;
    }
    const ModelCandidate &model = job->candidates.at(job->attempt);
    HttpRequest request;
    request.method = QByteArrayLiteral("POST");
    request.url = job->chatUrl;
    request.headers = OpenRouterProtocol::chatRequestHeaders(job->apiKey);
    request.body = OpenRouterProtocol::chatRequestBody(model.id, model.modalities, job->prompt);
    request.timeout = 300s;
    // The network thread only hands the answer over; it is read on the image pool ahead of waiting
    // image work, so answers do not pile up whole while pictures are being decoded.
    QFuture<HttpResponse> reply = job->http->send(request);
    job->track(reply);
    reply.then(QtFuture::Launch::Sync, [job](const QFuture<HttpResponse> &reply) {
        job->untrack();
        onImagePool(ImageWorkPool::reducePriority, job,
                    [job, response = responseOf(reply)]() mutable { reduceChatResponse(job, std::move(response)); });
    });
}

/// Answers, pictures and icons are buffers of megabytes, allocated on one thread and freed on
/// another. After the first such buffer is freed glibc raises its mmap threshold and serves the
/// next ones from per-thread heaps, which keep the memory once a burst is over (measured: a third
/// of the peak). A fixed threshold gives each its own mapping, returned to the system when freed.
void keepLargeBuffersMapped()
{
#if defined(__GLIBC__)
    mallopt(M_MMAP_THRESHOLD, 1024 * 1024);
#endif
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
    : m_budget(MemoryBudget::create(answerMemoryBudget))
    , m_http(std::make_unique<HttpClient>(m_budget))
    , m_baseUrl(baseUrlFromEnvironment())
{
    keepLargeBuffersMapped();
}

ImageGenerationService::~ImageGenerationService() = default;

ImageGenerationService &ImageGenerationService::shared()
{
    static ImageGenerationService instance;
    static const bool shutdownRegistered = [] {
        // Stop the network thread while Qt is still whole: requests pending at exit are cancelled,
        // so none of their continuations runs into a torn-down application.
        if (QCoreApplication::instance())
            qAddPostRoutine([] {
                instance.m_http->shutdown();
                if (instance.m_keyCheckHttp)
                    instance.m_keyCheckHttp->shutdown();
            });
        return true;
    }();
    Q_UNUSED(shutdownRegistered);
    return instance;
}

QFuture<IconImage> ImageGenerationService::generate(const QString &prompt, const QString &apiKey, bool fast)
{
    return generateIcon(prompt, apiKey, fast).then(QtFuture::Launch::Sync,
                                                   [](const GeneratedIcon &icon) { return icon.image; });
}

QFuture<GeneratedIcon> ImageGenerationService::generateIcon(const QString &prompt, const QString &apiKey, bool fast)
{
    auto job = std::make_shared<GenerationJob>();
    job->http = m_http.get();
    job->budget = m_budget.get();
    job->chatUrl = QUrl(m_baseUrl + QLatin1String(OpenRouterProtocol::chatCompletionsPath));
    job->prompt = prompt;
    job->apiKey = apiKey;
    job->candidates = fast ? QList<ModelCandidate>{fastModel(), qualityModel()}
                           : QList<ModelCandidate>{qualityModel(), fastModel()};
    job->promise.start();
    QFuture<GeneratedIcon> future = job->promise.future();
    {
        std::lock_guard lock(m_jobsMutex);
        std::erase_if(m_jobs, [](const std::weak_ptr<GenerationJob> &entry) { return entry.expired(); });
        m_jobs.push_back(job);
    }
    startAttempt(job);
    return future;
}

void ImageGenerationService::abortCanceled()
{
    std::vector<JobPointer> jobs;
    {
        std::lock_guard lock(m_jobsMutex);
        for (const std::weak_ptr<GenerationJob> &entry : m_jobs) {
            if (JobPointer job = entry.lock(); job && job->promise.isCanceled())
                jobs.push_back(std::move(job));
        }
    }
    for (const JobPointer &job : jobs)
        job->cancelExchange();
    m_http->abortCanceled();
}

QFuture<QString> ImageGenerationService::testConnection(const QString &apiKey)
{
    return checkKey(apiKey).then(QtFuture::Launch::Sync, [](const KeyCheck &check) { return check.failure; });
}

QFuture<KeyCheck> ImageGenerationService::checkKey(const QString &apiKey)
{
    // A key that cannot be sent is not sent: the answer is the one a rejected key gets.
    if (OpenRouterProtocol::unsendableKeyReason(apiKey))
        return QtFuture::makeReadyFuture(KeyCheck{QCoreApplication::translate("OpenRouter", "Invalid API key"), {}});
    // The model list answers 200 to anyone; the key endpoint is the one that rejects a bad key.
    HttpRequest request;
    request.url = QUrl(m_baseUrl + QLatin1String(OpenRouterProtocol::keyPath));
    request.headers = OpenRouterProtocol::keyCheckHeaders(apiKey);
    request.timeout = 10s;
    // The answer is a few hundred bytes; a larger one is not an answer to read.
    request.maxResponseBytes = OpenRouterProtocol::maxKeyAnswerBytes;
    // Its own client: its own connection, never queued behind generations waiting for theirs. The
    // continuation reads a body of at most a few kilobytes, so it runs where the answer arrives.
    return keyCheckClient().send(request).then(QtFuture::Launch::Sync, [](const HttpResponse &response) {
        if (response.isTransportFailure())
            return KeyCheck{QCoreApplication::translate("OpenRouter", "Connection failed"), {}};
        return OpenRouterProtocol::readKeyAnswer(response.status, response.body);
    });
}

HttpClient &ImageGenerationService::keyCheckClient()
{
    std::call_once(m_keyCheckOnce, [this] { m_keyCheckHttp = std::make_unique<HttpClient>(); });
    return *m_keyCheckHttp;
}
