#pragma once

#include <QByteArray>
#include <QFuture>
#include <QList>
#include <QString>
#include <QUrl>

#include "memory_budget.h"

#include <chrono>
#include <memory>
#include <utility>

/// One HTTP request, as a plain value.
struct HttpRequest
{
    QByteArray method = QByteArrayLiteral("GET");
    QUrl url;
    /// Sent exactly as given; the client adds only what the protocol needs (Host, Content-Length)
    /// and suppresses every header curl would add on its own (Accept, Expect, User-Agent, ...).
    QList<std::pair<QByteArray, QByteArray>> headers;
    QByteArray body;
    std::chrono::milliseconds timeout{std::chrono::seconds(30)};
    /// Redirects are followed only when asked, and never to a scheme other than http or https.
    bool followRedirects = false;
    /// A body longer than this fails the request instead of filling memory.
    qint64 maxResponseBytes = qint64(64) * 1024 * 1024;
    /// Only the status is wanted: the exchange ends as soon as the final response's headers are in,
    /// and no body is read or kept, however large the server says it is.
    bool statusOnly = false;
};

/// What came back: a status and a body, or the transport failure that prevented them.
struct HttpResponse
{
    int status = 0;
    QByteArray body;
    /// curl's own description of a transport failure; empty when a response arrived.
    QString transportError;
    /// The body's share of the client's memory budget, given back when the last copy of the
    /// response is gone (or passed on with what the body is reduced to). Null without a budget.
    MemoryBudget::HoldPointer hold;

    bool isTransportFailure() const { return !transportError.isEmpty(); }
    static HttpResponse transportFailure(const QString &description)
    {
        HttpResponse response;
        response.transportError = description;
        return response;
    }
};

/// @brief An HTTP client over the libcurl multi interface running on its own network thread.
///
/// At most 32 connections per host, HTTP/2 where the server offers it over TLS, no cache, TLS
/// verification on, a timeout per request. Over HTTP/1.1 that is at most 32 requests in flight per
/// host; the others wait in the client, and a request's timeout starts only when it is sent. Once a
/// host has answered over HTTP/2, its requests go out as streams multiplexed over those
/// connections, at most 10 on each (320 in flight per host). Results come back as futures
/// completed from the network thread; callers continue on their own thread with
/// `.then(context, ...)` or on the thread pool, never on the network thread, which does nothing
/// but move bytes.
class HttpClient final
{
public:
    /// With a budget, bodies are charged to it as they arrive, and while it is exhausted answers
    /// wait, unread, until bytes are given back (only when half-read answers alone fill it does one
    /// of them read on, and over HTTP/2 the other streams of its connection with it: beyond the
    /// budget, memory then holds at most the answers of one connection). Whoever keeps a response
    /// must therefore let it go without waiting for another answer of the same client.
    explicit HttpClient(std::shared_ptr<MemoryBudget> budget = nullptr);
    /// A client that verifies servers against these certificate authorities (PEM) instead of the
    /// system's bundle: for tests against a local TLS server. Verification itself stays on.
    HttpClient(std::shared_ptr<MemoryBudget> budget, const QByteArray &certificateAuthorities);
    /// Stops the network thread; requests still pending are cancelled.
    ~HttpClient();

    /// A request with a header that cannot be sent as it stands (a name that is not a token, a value
    /// with CR, LF or NUL, which would end the header early or smuggle in more) never reaches the
    /// socket: it fails at once with a transport error saying so.
    QFuture<HttpResponse> send(const HttpRequest &request);

    /// Whether a header value can go on the wire as it is: no CR, LF or NUL.
    static bool isSendableHeaderValue(const QByteArray &value);

    /// Ends at once every request whose future was cancelled: waiting ones are dropped, running
    /// transfers are taken out of curl, which closes their connections (a half-sent or half-read
    /// exchange leaves nothing reusable), and their futures finish cancelled. Without this call a
    /// cancelled request ends at curl's next progress report, up to a second later.
    void abortCanceled();

    /// Stops the network thread and cancels pending requests; later sends fail at once.
    /// Safe to call more than once. Used at application exit, before Qt's own teardown.
    void shutdown();

    static constexpr long maxConnectionsPerHost = 32;
    /// Streams of one HTTP/2 connection. An exhausted budget can hold back a connection but not a
    /// single stream of it, so this bounds what may be read past the budget.
    static constexpr long maxStreamsPerConnection = 10;

private:
    struct Private;
    std::unique_ptr<Private> d;

    HttpClient(const HttpClient &) = delete;
    HttpClient &operator=(const HttpClient &) = delete;
};
