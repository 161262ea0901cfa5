#include "openrouter/http_client.h"

#include "fake_open_router.h"
#include "http2_proxy.h"
#include "wait_for.h"

#include <QElapsedTimer>
#include <QTest>
#include <QThread>

#include <algorithm>
#include <memory>

using namespace std::chrono_literals;

namespace {

HttpResponse fetch(HttpClient &client, const HttpRequest &request)
{
    QFuture<HttpResponse> future = client.send(request);
    if (!waitFor(future) || future.isCanceled() || future.resultCount() == 0)
        return HttpResponse::transportFailure(QStringLiteral("no result"));
    return future.result();
}

} // namespace

/// The HTTP client against a real server on loopback: headers, limits, timeouts, redirects, threads.
class TestHttpClient final : public QObject
{
    Q_OBJECT

private:
    FakeOpenRouter m_server;
    HttpClient m_client;
    std::unique_ptr<Http2Proxy> m_proxy; // nghttpx in front of m_server, made when first needed

    Http2Proxy &proxy()
    {
        if (!m_proxy)
            m_proxy = std::make_unique<Http2Proxy>(m_server.port());
        return *m_proxy;
    }

private Q_SLOTS:
    void init() { m_server.reset(); }

    void sendsOnlyTheGivenHeaders()
    {
        HttpRequest post;
        post.method = "POST";
        post.url = QUrl(m_server.baseUrl() + "/api/v1/chat/completions");
        post.headers = {{"Authorization", "Bearer k"}, {"Content-Type", "application/json"},
                        {"Cache-Control", "no-store"}, {"X-Title", "Tavrune"}};
        post.body = QByteArray(2 * 1024 * 1024, 'x'); // large enough for curl to want "Expect: 100-continue"
        QCOMPARE(fetch(m_client, post).status, 404); // nothing scripted

        HttpRequest get;
        get.url = QUrl(m_server.baseUrl() + "/anything");
        get.headers = {{"Cache-Control", "no-store"}};
        QCOMPARE(fetch(m_client, get).status, 404);

        const QList<RecordedRequest> requests = m_server.requests();
        QCOMPARE(requests.size(), 2);
        QCOMPARE(requests[0].method, QByteArray("POST"));
        QCOMPARE(requests[0].headerNames(),
                 (QList<QByteArray>{"authorization", "cache-control", "content-length", "content-type", "host",
                                    "x-title"}));
        QCOMPARE(requests[0].body.size(), post.body.size());
        QCOMPARE(requests[1].method, QByteArray("GET"));
        QCOMPARE(requests[1].headerNames(), (QList<QByteArray>{"cache-control", "host"}));
    }

    void bodyBeyondTheLimitFailsTheRequest()
    {
        m_server.serve("/big", FakeReply::raw(200, QByteArray(3 * 1024 * 1024, 'b')));
        HttpRequest request;
        request.url = QUrl(m_server.baseUrl() + "/big");
        request.maxResponseBytes = 1024 * 1024;
        const HttpResponse refused = fetch(m_client, request);
        QVERIFY(refused.isTransportFailure());
        QVERIFY2(refused.transportError.contains("limit"), qPrintable(refused.transportError));
        QVERIFY(refused.body.isEmpty());

        request.maxResponseBytes = 3 * 1024 * 1024;
        const HttpResponse accepted = fetch(m_client, request);
        QCOMPARE(accepted.status, 200);
        QCOMPARE(accepted.body.size(), 3 * 1024 * 1024);
    }

    void headersThatWouldSplitTheRequestAreRefused_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QByteArray>("value");
        QTest::newRow("CR LF in a value") << QByteArray("Authorization")
                                          << QByteArray("Bearer k\r\nX-Injected: yes\r\n\r\nGET /smuggled HTTP/1.1");
        QTest::newRow("LF at the end of a value") << QByteArray("Authorization") << QByteArray("Bearer k\n");
        QTest::newRow("CR alone") << QByteArray("X-Title") << QByteArray("a\rb");
        QTest::newRow("NUL in a value") << QByteArray("X-Title") << QByteArray("a\0b", 3);
        QTest::newRow("colon in a name") << QByteArray("X-A: b\r\nX-B") << QByteArray("c");
        QTest::newRow("empty name") << QByteArray() << QByteArray("c");
    }

    void headersThatWouldSplitTheRequestAreRefused()
    {
        QFETCH(QByteArray, name);
        QFETCH(QByteArray, value);
        HttpRequest request;
        request.url = QUrl(m_server.baseUrl() + "/anything");
        request.headers = {{"Cache-Control", "no-store"}, {name, value}};
        const HttpResponse response = fetch(m_client, request);
        QVERIFY(response.isTransportFailure());
        QVERIFY2(response.transportError.startsWith("Refused"), qPrintable(response.transportError));
        QCOMPARE(m_server.requests().size(), 0);
    }

    void statusOnlyRequestReadsNoBody()
    {
        // Beyond the body limit, so reading it would fail the request.
        m_server.serve("/huge", FakeReply::raw(200, QByteArray(70 * 1024 * 1024, 'h')));
        m_server.serve("/denied", FakeReply::raw(401, "{\"error\": {}}"));
        HttpRequest request;
        request.url = QUrl(m_server.baseUrl() + "/huge");
        request.statusOnly = true;
        const HttpResponse huge = fetch(m_client, request);
        QCOMPARE(huge.transportError, QString());
        QCOMPARE(huge.status, 200);
        QVERIFY(huge.body.isEmpty());
        request.url = QUrl(m_server.baseUrl() + "/denied");
        const HttpResponse denied = fetch(m_client, request);
        QCOMPARE(denied.status, 401);
        QVERIFY(denied.body.isEmpty());
    }

    void answersWaitUnreadWhileTheBudgetIsHeld_data()
    {
        QTest::addColumn<bool>("http2");
        QTest::newRow("HTTP/1.1: one connection each") << false;
        QTest::newRow("HTTP/2: streams of one connection") << true;
    }

    void answersWaitUnreadWhileTheBudgetIsHeld()
    {
        QFETCH(bool, http2);
        const QString base = http2 ? proxy().baseUrl() : m_server.baseUrl();
        // Each answer alone is larger than the budget: one must still read on, or nothing would end.
        const auto budget = MemoryBudget::create(1024 * 1024);
        HttpClient client(budget, http2 ? proxy().certificateAuthority() : QByteArray());
        const QByteArray body(2 * 1024 * 1024, 'a');
        m_server.serve("/a", FakeReply::raw(200, body));
        m_server.serve("/b", FakeReply::raw(200, body));
        HttpRequest request;
        request.url = QUrl(base + "/a");
        QFuture<HttpResponse> first = client.send(request);
        request.url = QUrl(base + "/b");
        QFuture<HttpResponse> second = client.send(request);
        QTRY_VERIFY(first.isFinished() || second.isFinished());
        if (second.isFinished())
            std::swap(first, second);
        HttpResponse held = first.result();
        QCOMPARE(held.body, body);
        QVERIFY(budget->used() >= body.size());

        // While the first answer is held, an answer asked for now stays unread, and so does the
        // second over HTTP/1.1 (over HTTP/2 it shares the first's connection, so it was read along
        // with it). Let go, they are read to the end.
        request.url = QUrl(base + "/a");
        QFuture<HttpResponse> third = client.send(request);
        QTest::qWait(300);
        QVERIFY(!third.isFinished());
        if (!http2)
            QVERIFY(!second.isFinished());
        held = HttpResponse();
        first = QFuture<HttpResponse>();
        for (QFuture<HttpResponse> *future : {&second, &third}) {
            QVERIFY(waitFor(*future));
            QCOMPARE(future->result().body, body);
            *future = QFuture<HttpResponse>();
        }
        QCOMPARE(budget->used(), 0);

        // A burst whose answers are let go as they come all arrive, and give everything back.
        // Over HTTP/2 they are all in flight at once, on more than one connection, and read a few at
        // a time: in a slow (sanitizer) build the last ones would outlive the default 30 s timeout
        // while they wait their turn.
        request.timeout = std::chrono::minutes(3);
        QList<QFuture<HttpResponse>> burst;
        for (int i = 0; i < HttpClient::maxStreamsPerConnection + 2; ++i)
            burst.append(client.send(request));
        int finished = 0, whole = 0;
        const bool allFinished = QTest::qWaitFor([&] {
            for (QFuture<HttpResponse> &future : burst) {
                if (!future.isValid() || !future.isFinished())
                    continue;
                ++finished;
                whole += future.result().body == body ? 1 : 0;
                future = QFuture<HttpResponse>();
            }
            return finished == burst.size();
        }, 60000);
        QVERIFY(allFinished);
        QCOMPARE(whole, burst.size());
        // The network thread lets go of its last reference to an answer just after delivering it.
        QTRY_COMPARE_WITH_TIMEOUT(budget->used(), 0, 5000);
    }

    void slowAnswerTimesOutWithCurlsDescription()
    {
        m_server.serve("/slow", FakeReply::raw(200, "late").after(5s));
        HttpRequest request;
        request.url = QUrl(m_server.baseUrl() + "/slow");
        request.timeout = 300ms;
        QElapsedTimer timer;
        timer.start();
        const HttpResponse response = fetch(m_client, request);
        QVERIFY(response.isTransportFailure());
        QVERIFY2(response.transportError.contains("timed out"), qPrintable(response.transportError));
        QVERIFY(timer.elapsed() < 4000);
    }

    void requestsWaitingForAConnectionKeepTheirWholeTimeout()
    {
        // 40 requests, 32 connections: 8 wait 2 s for a free one. Their 3.5 s timeout counts from
        // when they are sent, so they still succeed.
        m_server.serve("/slow", FakeReply::raw(200, "ok").after(2s));
        QList<QFuture<HttpResponse>> futures;
        for (int i = 0; i < 40; ++i) {
            HttpRequest request;
            request.url = QUrl(m_server.baseUrl() + "/slow");
            request.timeout = 3500ms;
            futures.append(m_client.send(request));
        }
        for (QFuture<HttpResponse> &future : futures) {
            QVERIFY(waitFor(future));
            QCOMPARE(future.result().transportError, QString());
            QCOMPARE(future.result().status, 200);
        }
        // Never more than 32 at once: the last 8 reached the server a whole answer later.
        QList<qint64> arrivals;
        for (const RecordedRequest &request : m_server.requests())
            arrivals.append(request.receivedAtMs);
        std::sort(arrivals.begin(), arrivals.end());
        QCOMPARE(arrivals.size(), 40);
        QVERIFY2(arrivals[32] - arrivals[0] >= 1900, qPrintable(QString::number(arrivals[32] - arrivals[0])));
    }

    void batchIsInFlightUpToTheConnectionLimit_data()
    {
        QTest::addColumn<bool>("http2");
        QTest::addColumn<int>("inFlight");
        QTest::addColumn<std::chrono::milliseconds>("delay");
        // A delay long enough for the whole batch to arrive while the first answers are held back.
        QTest::newRow("HTTP/2: every request a stream") << true << 100 << std::chrono::milliseconds(3s);
        QTest::newRow("HTTP/1.1: one request per connection") << false << 32 << std::chrono::milliseconds(500ms);
    }

    void batchIsInFlightUpToTheConnectionLimit()
    {
        QFETCH(bool, http2);
        QFETCH(int, inFlight);
        QFETCH(std::chrono::milliseconds, delay);
        if (http2)
            QVERIFY2(proxy().isRunning(), qPrintable(proxy().error()));
        HttpClient client(nullptr, http2 ? proxy().certificateAuthority() : QByteArray());
        const QString base = http2 ? proxy().baseUrl() : m_server.baseUrl();
        m_server.serve("/batch", FakeReply::raw(200, "ok").after(delay));

        QList<QFuture<HttpResponse>> futures;
        for (int i = 0; i < 100; ++i) {
            HttpRequest request;
            request.url = QUrl(base + "/batch");
            futures.append(client.send(request));
        }
        for (QFuture<HttpResponse> &future : futures) {
            QVERIFY(waitFor(future));
            QCOMPARE(future.result().transportError, QString());
            QCOMPARE(future.result().status, 200);
        }
        QCOMPARE(m_server.requests().size(), 100);
        QCOMPARE(m_server.mostRequestsInFlight(), inFlight);
    }

    void unknownCertificateAuthorityIsRefused()
    {
        QVERIFY2(proxy().isRunning(), qPrintable(proxy().error()));
        HttpRequest request;
        request.url = QUrl(proxy().baseUrl() + "/anything");
        const HttpResponse refused = fetch(m_client, request); // the system's authorities only
        QVERIFY(refused.isTransportFailure());
        QVERIFY2(refused.transportError.contains("certificate", Qt::CaseInsensitive), qPrintable(refused.transportError));
        QVERIFY(m_server.requests().isEmpty());
    }

    void refusedConnectionIsATransportFailure()
    {
        const quint16 closedPort = FakeOpenRouter::closedPort();
        HttpRequest request;
        request.url = QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(closedPort));
        const HttpResponse response = fetch(m_client, request);
        QVERIFY(response.isTransportFailure());
        QVERIFY2(response.transportError.contains("connect", Qt::CaseInsensitive), qPrintable(response.transportError));
    }

    void redirectsAreFollowedOnlyWhenAskedAndOnlyToHttp()
    {
        m_server.serve("/target", FakeReply::raw(200, "arrived"));
        m_server.serve("/moved", FakeReply::redirect(302, m_server.baseUrl() + "/target"));
        m_server.serve("/to-file", FakeReply::redirect(302, "file:///etc/hostname"));
        HttpRequest request;
        request.url = QUrl(m_server.baseUrl() + "/moved");
        QCOMPARE(fetch(m_client, request).status, 302);

        request.followRedirects = true;
        const HttpResponse followed = fetch(m_client, request);
        QCOMPARE(followed.status, 200);
        QCOMPARE(followed.body, QByteArray("arrived"));

        request.url = QUrl(m_server.baseUrl() + "/to-file");
        const HttpResponse refused = fetch(m_client, request);
        QVERIFY2(refused.isTransportFailure(), refused.body.constData());

        request.url = QUrl("file:///etc/hostname");
        QVERIFY(fetch(m_client, request).isTransportFailure());
    }

    void resultArrivesOnTheCallersThreadThroughAContext()
    {
        // Answered late, so that both continuations are attached before the result arrives.
        m_server.serve("/hello", FakeReply::raw(200, "hi").after(300ms));
        HttpRequest request;
        request.url = QUrl(m_server.baseUrl() + "/hello");
        QThread *networkThread = nullptr;
        QThread *continuationThread = nullptr;
        QObject context;
        // A future takes one continuation: the first link records where the result was delivered.
        auto done = m_client.send(request)
                        .then(QtFuture::Launch::Sync,
                              [&](const HttpResponse &response) {
                                  networkThread = QThread::currentThread();
                                  return response;
                              })
                        .then(&context, [&](const HttpResponse &) { continuationThread = QThread::currentThread(); });
        QVERIFY(waitFor(done));
        QCOMPARE(continuationThread, QThread::currentThread());
        QVERIFY(networkThread && networkThread != QThread::currentThread());
    }

    void shutdownCancelsPendingRequests()
    {
        HttpClient client;
        m_server.serve("/slow", FakeReply::raw(200, "late").after(10s));
        HttpRequest request;
        request.url = QUrl(m_server.baseUrl() + "/slow");
        QFuture<HttpResponse> pending = client.send(request);
        QTest::qWait(200);
        QElapsedTimer timer;
        timer.start();
        client.shutdown();
        QVERIFY(pending.isFinished());
        QVERIFY(pending.isCanceled());
        QVERIFY(timer.elapsed() < 5000);
        QFuture<HttpResponse> later = client.send(request);
        QVERIFY(later.isFinished() && later.isCanceled());
        client.shutdown(); // twice is harmless
    }
};

QTEST_GUILESS_MAIN(TestHttpClient)
#include "tst_http_client.moc"
