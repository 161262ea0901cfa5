#pragma once

#include "imaging/icon_image.h"
#include "open_router_protocol.h"

#include <QFuture>
#include <QString>

#include <memory>
#include <mutex>
#include <vector>
#include <optional>

class HttpClient;
class MemoryBudget;
struct GenerationJob;

using OpenRouterProtocol::KeyCheck;

/// A generated icon, the model that answered with it (the other one, after a fallback) and, when
/// OpenRouter said so, what it cost in US dollars.
struct GeneratedIcon
{
    IconImage image;
    std::optional<double> cost;
    QString model;
};

/// @brief Turns a prompt and the user's key into a styled app icon through OpenRouter.
///
/// Two models, the other tried when the first fails. The network runs on its own thread and
/// decoding, styling and PNG encoding on the image work pool (ImageWorkPool); nothing blocks the
/// caller.
///
/// The OpenRouter base URL is "https://openrouter.ai", or the value of the environment variable
/// TAVRUNE_OPENROUTER_URL read once, at the first call of shared(): tests and developers pointing
/// the app at a local server must set it before that.
class ImageGenerationService final
{
public:
    static ImageGenerationService &shared();

    /// Resolves with the 1024 × 1024 icon (with its PNG encoding) or fails with GenerationError.
    QFuture<IconImage> generate(const QString &prompt, const QString &apiKey, bool fast);
    /// generate(), with what OpenRouter says the answer cost.
    QFuture<GeneratedIcon> generateIcon(const QString &prompt, const QString &apiKey, bool fast);

    /// Ends every generation whose future was cancelled: its request is aborted at once (taken out
    /// of curl, its connection closed) and no later step of it runs. Cancel the futures, then call
    /// this once. Whatever OpenRouter had already started may still be billed.
    void abortCanceled();

    /// Checks a key for the onboarding sheet: resolves with an empty string when it works,
    /// else the reason (OpenRouterProtocol::readKeyAnswer, or "Connection failed"). Asks
    /// GET /api/v1/key, which rejects a bad key (the model list answers 200 to anyone), with a
    /// 10 s timeout, over a connection of its own: however many generations are running, the
    /// answer comes within those 10 s.
    QFuture<QString> testConnection(const QString &apiKey);
    /// testConnection(), with the credit the key has left when OpenRouter says so.
    QFuture<KeyCheck> checkKey(const QString &apiKey);

    /// The base URL in use (scheme and host, no trailing slash).
    QString baseUrl() const { return m_baseUrl; }

    ~ImageGenerationService();

private:
    ImageGenerationService();

    HttpClient &keyCheckClient();

    std::shared_ptr<MemoryBudget> m_budget;
    std::unique_ptr<HttpClient> m_http;
    std::unique_ptr<HttpClient> m_keyCheckHttp;
    std::once_flag m_keyCheckOnce;
    std::mutex m_jobsMutex;
    std::vector<std::weak_ptr<GenerationJob>> m_jobs; // guarded by m_jobsMutex
    QString m_baseUrl;
};
