#pragma once

#include <QByteArray>
#include <QImage>
#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

/// One scripted answer of the fake OpenRouter: status, body, content type and a delay.
struct FakeReply
{
    int status = 200;
    QByteArray body;
    QByteArray contentType = "application/json";
    std::chrono::milliseconds delay{0};
    /// Extra response headers.
    QList<std::pair<QByteArray, QByteArray>> headers;

    /// Any JSON object with a status.
    static FakeReply json(const QJsonObject &object, int status = 200);
    /// Any bytes: malformed JSON, HTML pages, image files.
    static FakeReply raw(int status, const QByteArray &body, const QByteArray &contentType = "text/plain");
    /// A 200 completion whose first choice carries this message.
    static FakeReply message(const QJsonObject &message);
    /// A completion with the image as a data URL in message.images (PNG, JPEG, WEBP, ...).
    static FakeReply image(const QImage &image, const char *format = "PNG");
    /// A completion whose message.images[0].image_url.url is this reference (remote URL, data URL, ...).
    static FakeReply imageReference(const QString &reference);
    /// A completion whose message.content is one "image_url" part with this reference.
    static FakeReply contentImage(const QString &reference);
    /// A completion whose message.content is plain text, without any image.
    static FakeReply text(const QString &text);
    /// An error status with {"error": {"code": status, "message": message}}.
    static FakeReply apiError(int status, const QString &message);

    /// A redirect to `location`.
    static FakeReply redirect(int status, const QString &location);

    /// The same reply, answered only after this delay.
    FakeReply after(std::chrono::milliseconds wait) const;

    static QString dataUrl(const QImage &image, const char *format = "PNG");
    static QByteArray encode(const QImage &image, const char *format = "PNG");
};

/// One request as the server received it.
struct RecordedRequest
{
    QByteArray method;
    QByteArray path;
    /// Header names as sent (the order is the server's, sorted by name).
    QList<std::pair<QByteArray, QByteArray>> headers;
    QByteArray body;
    /// When the request was complete, in milliseconds since the server started.
    qint64 receivedAtMs = 0;

    QByteArray header(const QByteArray &name) const;
    /// Header names, lower-cased (they are case-insensitive) and sorted.
    QList<QByteArray> headerNames() const;
    QJsonObject json() const;
    /// The "model" of a chat request's body.
    QString model() const;
};

/// @brief A local stand-in for OpenRouter: a real HTTP server on 127.0.0.1, scriptable per model.
///
/// Listens on a random port from construction to destruction, serves 100 and more requests at
/// once, and records every request. Point the application at it by setting
/// TAVRUNE_OPENROUTER_URL to baseUrl() before ImageGenerationService::shared() is first called.
///
///     FakeOpenRouter server;
///     server.script("google/gemini-2.5-flash-image", FakeReply::image(picture));
///     qputenv("TAVRUNE_OPENROUTER_URL", server.baseUrl().toUtf8());
///
/// Chat requests for a model without a script get the default reply (404, "No endpoints found
/// for <model>." unless set). GET /api/v1/key answers 200 for the valid key, 401 otherwise.
class FakeOpenRouter final
{
public:
    using Generator = std::function<FakeReply(const QString &model, const QString &prompt)>;

    FakeOpenRouter();
    ~FakeOpenRouter();

    QString baseUrl() const;
    quint16 port() const;

    /// Milliseconds since the server started: the clock of RecordedRequest::receivedAtMs.
    qint64 elapsedMs() const;

    /// A loopback port nobody listens on (for connection failures).
    static quint16 closedPort();

    /// Every chat request for this model gets this reply, until scripted again or reset.
    void script(const QString &model, const FakeReply &reply);
    /// Replies for models without a script; a generator sees the prompt too.
    void setDefaultReply(const FakeReply &reply);
    void setGenerator(Generator generator);
    /// Serves GET `path` with this reply (remote images, 404 pages); returns the full URL.
    QString serve(const QString &path, const FakeReply &reply);
    /// The key /api/v1/key accepts (as "Bearer <key>"); an empty key accepts any non-empty one.
    void setValidKey(const QString &key);
    /// Fields added to the key check's "data" (limit_remaining, usage, …); kept across reset().
    void setKeyData(const QJsonObject &fields);
    /// Answers every key check with this reply instead (any status); nothing to go back.
    void setKeyCheckReply(const std::optional<FakeReply> &reply);
    /// usage.cost added to every 200 JSON chat answer (any JSON value, for malformed ones);
    /// undefined (the default) adds none. Kept across reset().
    void setGenerationCost(const QJsonValue &cost);
    /// How long /api/v1/key takes to answer (none by default); kept across reset().
    void setKeyCheckDelay(std::chrono::milliseconds delay);

    /// Answers at once every reply still waiting out its delay (held requests are let go).
    void releaseDelayed();

    /// Chat requests whose client closed the connection while their reply was still being held.
    int connectionsClosedWhileWaiting() const;

    QList<RecordedRequest> requests() const;
    /// The most requests that were being answered at the same moment (each one counts from its
    /// arrival until its reply, delay included, is ready), since the last reset().
    int mostRequestsInFlight() const;
    QList<RecordedRequest> chatRequests() const;
    /// Forgets scripts, served paths, the generator and recorded requests.
    void reset();

private:
    struct Private;
    std::unique_ptr<Private> d;

    FakeOpenRouter(const FakeOpenRouter &) = delete;
    FakeOpenRouter &operator=(const FakeOpenRouter &) = delete;
};
