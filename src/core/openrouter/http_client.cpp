#include "http_client.h"

#include <QCoreApplication>
#include <QPromise>

#include <curl/curl.h>
#include <openssl/ssl.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace {

// Headers curl would otherwise add by itself. The requests this program sends are fixed to the
// header, so each of these is removed ("Name:" with no value) unless the caller sets it.
constexpr const char *curlOwnHeaders[] = {"Accept", "Expect", "User-Agent", "Content-Type",
                                          "Transfer-Encoding", "Pragma"};

// How long the streams of HTTP/2 connections may go without a byte before they are nudged.
constexpr std::chrono::milliseconds stallInterval{250};

// The most reserved for a body before its bytes arrive.
constexpr qint64 largestReservation = qint64(8) * 1024 * 1024;

struct CurlGlobal
{
    CurlGlobal() { curl_global_init(CURL_GLOBAL_DEFAULT); }
    ~CurlGlobal() { curl_global_cleanup(); }
};

struct Transfer;

/// What the callbacks of every transfer share: the budget and which transfer may read past it.
struct Reading
{
    std::shared_ptr<MemoryBudget> budget;
    Transfer *leader = nullptr; // reads on while the budget is exhausted, so that something finishes
    const void *lastLeaderConnection = nullptr; // only compared, never followed
    quint64 bytesTaken = 0;     // body bytes handed to the transfers so far: whether anything moves
    bool paused = false;        // a transfer paused since the network loop last looked

    /// Whether this transfer may read while the budget is exhausted: the leader, and every stream
    /// that shares the leader's HTTP/2 connection (see readsOn's definition for why).
    bool readsOn(const Transfer &transfer) const;
};

/// One exchange in flight: owns its easy handle, its header list and the promise of its result.
struct HostProtocols;

struct Transfer
{
    HostProtocols *protocols = nullptr;
    Reading *reading = nullptr;
    // The TLS session of the connection the request went out on, once known: the streams of one
    // HTTP/2 connection share it. Null over plain HTTP, where a connection carries one request.
    const void *connection = nullptr;
    bool multiplexed = false; // the connection speaks HTTP/2, shared with other requests
    qint64 charged = 0; // body bytes charged to the budget and not yet handed on
    bool paused = false;
    HttpRequest request;
    QPromise<HttpResponse> promise;
    CURL *easy = nullptr;
    curl_slist *headerList = nullptr;
    QByteArray received;
    bool overLimit = false;
    int headersStatus = 0; // a statusOnly request's status, once its final headers are in
    char errorBuffer[CURL_ERROR_SIZE] = {};

    ~Transfer()
    {
        if (reading && reading->leader == this)
            reading->leader = nullptr;
        if (reading && reading->budget)
            reading->budget->release(charged);
        if (easy)
            curl_easy_cleanup(easy);
        curl_slist_free_all(headerList);
    }
};

// Over HTTP/2 curl cannot hold back a single stream: pausing one only stops it from taking bytes
// out of the connection, and once the few kilobytes curl keeps per stream are full, every other
// stream of that connection waits behind it too (the server's window for each stream is far larger
// than an answer, so it keeps sending). A leader that must read on therefore takes its whole
// connection with it: the streams that share it read on as well, which the per-connection stream
// limit keeps to a few answers.
bool Reading::readsOn(const Transfer &transfer) const
{
    if (!leader)
        return false;
    return leader == &transfer || (transfer.connection && transfer.connection == leader->connection);
}

size_t writeBody(char *data, size_t size, size_t count, void *userData)
{
    auto *transfer = static_cast<Transfer *>(userData);
    const qint64 bytes = qint64(size * count);
    if (transfer->received.size() + bytes > transfer->request.maxResponseBytes) {
        transfer->overLimit = true;
        return 0; // makes curl abort the transfer with a write error
    }
    if (Reading *reading = transfer->reading; reading->budget) {
        if (reading->budget->isExhausted() && !reading->readsOn(*transfer)) {
            transfer->paused = true; // curl hands the same bytes again once resumed
            reading->paused = true;
            return CURL_WRITEFUNC_PAUSE;
        }
        reading->budget->charge(bytes);
        transfer->charged += bytes;
    }
    if (transfer->received.isEmpty()) {
        // The announced length at once (up to a few megabytes, whatever a server announces): one
        // buffer whose pages fill as the body arrives, instead of a chain of ever larger ones.
        // Hundreds of half-read answers growing step by step leave the heap full of holes.
        curl_off_t announced = -1;
        curl_easy_getinfo(transfer->easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced);
        if (announced > 0)
            transfer->received.reserve(qsizetype(std::min({qint64(announced), transfer->request.maxResponseBytes,
                                                           largestReservation})));
    }
    transfer->received.append(data, bytes);
    transfer->reading->bytesTaken += quint64(bytes);
    return size_t(bytes);
}

size_t readHeader(char *data, size_t size, size_t count, void *userData)
{
    auto *transfer = static_cast<Transfer *>(userData);
    const size_t bytes = size * count;
    const bool blankLine = (bytes == 2 && data[0] == '\r' && data[1] == '\n') || (bytes == 1 && data[0] == '\n');
    if (blankLine && transfer->request.statusOnly) {
        long status = 0;
        curl_easy_getinfo(transfer->easy, CURLINFO_RESPONSE_CODE, &status);
        if (status >= 200) { // not an interim 1xx answer: this is the status wanted
            transfer->headersStatus = int(status);
            return 0; // ends the exchange before any body is read
        }
    }
    return bytes;
}

int progress(void *userData, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    // A caller that cancelled its future no longer wants the bytes: abort the transfer.
    return static_cast<Transfer *>(userData)->promise.isCanceled() ? 1 : 0;
}

/// Requests to the same scheme, host and port share the connection limit.
QString hostKey(const QUrl &url)
{
    return url.scheme() + QLatin1Char(':') + url.host() + QLatin1Char(':') + QString::number(url.port());
}

/// What the network thread has learnt of each host's protocol.
struct HostProtocols
{
    // Hosts seen to speak HTTP/2: their requests share connections, so none waits in the client.
    std::set<QString> multiplexing;
    bool learned = false; // a host was added since the network loop last looked

    void learn(Transfer &transfer)
    {
        const QString host = hostKey(transfer.request.url);
        SSL *tls = tlsOf(transfer.easy);
        transfer.connection = tls;
        transfer.multiplexed = speaksHttp2(tls);
        if (transfer.multiplexed)
            learned |= multiplexing.insert(host).second;
        else
            multiplexing.erase(host); // the host changed its mind: one request per connection again
    }

    /// The TLS session of the transfer's current connection (curl reports no other identity of a
    /// connection while a transfer is under way).
    static SSL *tlsOf(CURL *easy)
    {
        curl_tlssessioninfo *session = nullptr;
        if (curl_easy_getinfo(easy, CURLINFO_TLS_SSL_PTR, &session) != CURLE_OK || !session
            || session->backend != CURLSSLBACKEND_OPENSSL)
            return nullptr;
        return static_cast<SSL *>(session->internals);
    }

    /// Whether the connection agreed on HTTP/2 in its TLS handshake. curl itself reports the
    /// version only once a response arrives, which may be minutes away.
    static bool speaksHttp2(SSL *tls)
    {
        if (!tls)
            return false;
        const unsigned char *protocol = nullptr;
        unsigned int length = 0;
        SSL_get0_alpn_selected(tls, &protocol, &length);
        return length == 2 && std::memcmp(protocol, "h2", 2) == 0;
    }
};

/// Called by curl on a connected connection, just before the request goes out: the moment the
/// protocol the host speaks is known.
int connectionReady(void *userData, char *, char *, int, int)
{
    auto *transfer = static_cast<Transfer *>(userData);
    transfer->protocols->learn(*transfer);
    return CURL_PREREQFUNC_OK;
}

bool hasHeader(const HttpRequest &request, const char *name)
{
    return std::any_of(request.headers.cbegin(), request.headers.cend(), [name](const auto &header) {
        return header.first.compare(name, Qt::CaseInsensitive) == 0;
    });
}

bool isToken(const QByteArray &name)
{
    if (name.isEmpty())
        return false;
    return std::all_of(name.cbegin(), name.cend(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')
            || (c != '\0' && std::strchr("!#$%&'*+-.^_`|~", c) != nullptr);
    });
}

/// Why a request cannot be sent as it stands; empty when it can.
QString refusalOf(const HttpRequest &request)
{
    for (const auto &[name, value] : request.headers) {
        if (!isToken(name))
            return QCoreApplication::translate("HttpClient", "Refused to send a header whose name is not a valid token");
        if (!HttpClient::isSendableHeaderValue(value))
            return QCoreApplication::translate("HttpClient", "Refused to send header %1: its value contains a line break or NUL character")
                .arg(QString::fromLatin1(name));
    }
    return QString();
}

QString limitText(qint64 bytes)
{
    return QCoreApplication::translate("HttpClient", "Response body exceeds the limit of %1 bytes").arg(bytes);
}

void resolve(Transfer &transfer, HttpResponse response)
{
    transfer.promise.addResult(std::move(response));
    transfer.promise.finish();
}

} // namespace

struct HttpClient::Private
{
    CurlGlobal global;
    CURLM *multi = nullptr;
    Reading reading;
    std::thread thread;

    std::mutex mutex;
    std::vector<std::unique_ptr<Transfer>> queued; // guarded by mutex
    bool stopping = false;                         // guarded by mutex
    bool aborting = false;                         // guarded by mutex: abortCanceled() was called
    std::once_flag shutdownOnce;

    // Only touched by the network thread.
    std::map<CURL *, std::unique_ptr<Transfer>> active;
    // Requests wait here, not inside curl, for a free connection to their host: curl counts a
    // request's timeout from the moment it is added, so a request queued behind 32 slow ones
    // would time out without ever having been sent.
    std::deque<std::unique_ptr<Transfer>> waiting;
    std::map<QString, int> activePerHost;
    HostProtocols protocols;
    QByteArray certificateAuthorities;

    // When bytes last moved, and how many had moved: see nudgeStalledStreams.
    quint64 bytesSeen = 0;
    std::chrono::steady_clock::time_point lastMovement;

    void run();
    void nudgeStalledStreams(const void *connection);
    void resumePaused();
    void startWaiting();
    void start(std::unique_ptr<Transfer> transfer);
    void complete(CURL *easy, CURLcode code);
    void cancelAll(std::vector<std::unique_ptr<Transfer>> &transfers);
    void dropCanceled();
};

HttpClient::HttpClient(std::shared_ptr<MemoryBudget> budget)
    : HttpClient(std::move(budget), QByteArray())
{
}

HttpClient::HttpClient(std::shared_ptr<MemoryBudget> budget, const QByteArray &certificateAuthorities)
    : d(std::make_unique<Private>())
{
    d->certificateAuthorities = certificateAuthorities;
    d->multi = curl_multi_init();
    d->reading.budget = std::move(budget);
    if (d->reading.budget)
        d->reading.budget->setOnRelease([multi = d->multi] { curl_multi_wakeup(multi); });
    curl_multi_setopt(d->multi, CURLMOPT_MAX_HOST_CONNECTIONS, maxConnectionsPerHost);
    curl_multi_setopt(d->multi, CURLMOPT_MAX_CONCURRENT_STREAMS, maxStreamsPerConnection);
    curl_multi_setopt(d->multi, CURLMOPT_PIPELINING, long(CURLPIPE_MULTIPLEX));
    d->thread = std::thread([p = d.get()] { p->run(); });
}

HttpClient::~HttpClient()
{
    shutdown();
    curl_multi_cleanup(d->multi);
}

void HttpClient::shutdown()
{
    std::call_once(d->shutdownOnce, [this] {
        {
            std::lock_guard lock(d->mutex);
            d->stopping = true;
        }
        if (d->reading.budget)
            d->reading.budget->setOnRelease(nullptr);
        curl_multi_wakeup(d->multi);
        d->thread.join();
    });
}

void HttpClient::abortCanceled()
{
    {
        std::lock_guard lock(d->mutex);
        d->aborting = true;
    }
    curl_multi_wakeup(d->multi);
}

bool HttpClient::isSendableHeaderValue(const QByteArray &value)
{
    return !value.contains('\r') && !value.contains('\n') && !value.contains('\0');
}

QFuture<HttpResponse> HttpClient::send(const HttpRequest &request)
{
    if (const QString refusal = refusalOf(request); !refusal.isEmpty())
        return QtFuture::makeReadyFuture(HttpResponse::transportFailure(refusal));
    auto transfer = std::make_unique<Transfer>();
    transfer->request = request;
    transfer->promise.start();
    QFuture<HttpResponse> future = transfer->promise.future();
    {
        std::lock_guard lock(d->mutex);
        if (!d->stopping) {
            d->queued.push_back(std::move(transfer));
        }
    }
    if (transfer) {
        // Shut down: nobody is left to serve it.
        transfer->promise.future().cancel();
        transfer->promise.finish();
        return future;
    }
    curl_multi_wakeup(d->multi);
    return future;
}

void HttpClient::Private::run()
{
    for (;;) {
        std::vector<std::unique_ptr<Transfer>> incoming;
        bool abort = false;
        {
            std::lock_guard lock(mutex);
            if (stopping)
                break; // what is still queued is cancelled below
            incoming.swap(queued);
            abort = std::exchange(aborting, false);
        }
        for (auto &transfer : incoming)
            waiting.push_back(std::move(transfer));
        if (abort)
            dropCanceled();
        startWaiting();
        resumePaused();

        int running = 0;
        curl_multi_perform(multi, &running);
        int remaining = 0;
        bool slotsFreed = false;
        while (CURLMsg *message = curl_multi_info_read(multi, &remaining)) {
            if (message->msg == CURLMSG_DONE) {
                complete(message->easy_handle, message->data.result);
                slotsFreed = true;
            }
        }
        const auto now = std::chrono::steady_clock::now();
        if (slotsFreed || reading.bytesTaken != bytesSeen) {
            bytesSeen = reading.bytesTaken;
            lastMovement = now;
        } else if (now - lastMovement >= stallInterval) {
            nudgeStalledStreams(nullptr);
            lastMovement = now;
        }
        const bool learned = std::exchange(protocols.learned, false);
        if ((slotsFreed || learned) && !waiting.empty())
            continue; // start the next waiting requests now, not after the next poll
        // If half-read answers alone fill the budget now, one of them must read on: nothing would
        // wake the poll for that.
        if (std::exchange(reading.paused, false))
            continue;
        const bool sharing = std::any_of(active.cbegin(), active.cend(),
                                         [](const auto &entry) { return entry.second->multiplexed; });
        curl_multi_poll(multi, nullptr, 0, sharing ? int(stallInterval.count()) : 1000, nullptr);
    }

    // Leaving: whatever is still pending is cancelled, so its continuations are dropped instead of
    // running into a half torn-down application.
    std::vector<std::unique_ptr<Transfer>> pending;
    {
        std::lock_guard lock(mutex);
        for (auto &transfer : queued)
            pending.push_back(std::move(transfer));
        queued.clear();
    }
    for (auto &transfer : waiting)
        pending.push_back(std::move(transfer));
    waiting.clear();
    for (auto &[easy, transfer] : active) {
        curl_multi_remove_handle(multi, easy);
        pending.push_back(std::move(transfer));
    }
    active.clear();
    cancelAll(pending);
}

void HttpClient::Private::cancelAll(std::vector<std::unique_ptr<Transfer>> &transfers)
{
    for (auto &transfer : transfers) {
        if (!transfer)
            continue;
        transfer->promise.future().cancel();
        transfer->promise.finish();
    }
    transfers.clear();
}

void HttpClient::Private::dropCanceled()
{
    std::erase_if(waiting, [](const std::unique_ptr<Transfer> &transfer) {
        if (!transfer->promise.isCanceled())
            return false;
        transfer->promise.finish();
        return true;
    });
    std::vector<CURL *> canceled;
    for (const auto &[easy, transfer] : active) {
        if (transfer->promise.isCanceled())
            canceled.push_back(easy);
    }
    for (CURL *easy : canceled) {
        auto found = active.find(easy);
        std::unique_ptr<Transfer> transfer = std::move(found->second);
        active.erase(found);
        if (reading.leader == transfer.get())
            reading.leader = nullptr;
        // Removing an unfinished transfer makes curl close its connection (over HTTP/2, reset its
        // stream); the easy handle goes with the transfer.
        curl_multi_remove_handle(multi, easy);
        --activePerHost[hostKey(transfer->request.url)];
        if (transfer->multiplexed)
            nudgeStalledStreams(transfer->connection);
        transfer->promise.finish();
    }
}

void HttpClient::Private::resumePaused()
{
    if (!reading.budget)
        return;
    if (!reading.budget->isExhausted()) {
        bool shared = false;
        for (auto &[easy, transfer] : active) {
            if (!transfer->paused)
                continue;
            transfer->paused = false;
            shared |= transfer->multiplexed;
            curl_easy_pause(easy, CURLPAUSE_CONT); // may pause it again at once, which is fine
        }
        if (shared)
            nudgeStalledStreams(nullptr);
        return;
    }
    if (reading.leader)
        return;
    // Still exhausted and no answer reading on. While answers already read are waiting to be worked
    // off, their release will wake this thread again. When half-read answers alone fill the budget,
    // nothing else would: one of them must read on, the one furthest along as it frees it soonest.
    // The streams of the last leader's HTTP/2 connection come first: they read on with it, so
    // finishing them before another connection's keeps half-read answers to a single connection.
    Transfer *next = nullptr;
    qint64 halfRead = 0;
    const auto rank = [this](const Transfer &transfer) {
        const bool sameConnection = transfer.connection && transfer.connection == reading.lastLeaderConnection;
        return std::pair(sameConnection, transfer.received.size());
    };
    for (auto &[easy, transfer] : active) {
        halfRead += transfer->charged;
        if (transfer->paused && (!next || rank(*transfer) > rank(*next)))
            next = transfer.get();
    }
    if (halfRead < reading.budget->used())
        return;
    if (!next)
        return;
    reading.leader = next;
    reading.lastLeaderConnection = next->connection;
    // Over HTTP/2 the leader's connection may be waiting behind any of its paused streams: they all
    // read on with it.
    for (auto &[easy, transfer] : active) {
        if (!transfer->paused || !reading.readsOn(*transfer))
            continue;
        transfer->paused = false;
        curl_easy_pause(easy, CURLPAUSE_CONT);
    }
    if (next->multiplexed)
        nudgeStalledStreams(next->connection);
}

// curl 7.88 can leave bytes it has already read from an HTTP/2 connection unprocessed in its own
// buffer: when the stream that was taking them pauses or ends halfway, the socket stays quiet and
// nothing makes curl look at that buffer again, so the other streams wait there until their
// timeouts. Resuming a stream makes curl read its connection again; a stream paused and resumed
// at once loses nothing.
void HttpClient::Private::nudgeStalledStreams(const void *connection)
{
    for (auto &[easy, transfer] : active) {
        if (!transfer->multiplexed || transfer->paused || (connection && transfer->connection != connection))
            continue;
        curl_easy_pause(easy, CURLPAUSE_RECV);
        curl_easy_pause(easy, CURLPAUSE_CONT);
    }
}

void HttpClient::Private::startWaiting()
{
    for (auto it = waiting.begin(); it != waiting.end();) {
        Transfer &transfer = **it;
        if (transfer.promise.isCanceled()) {
            transfer.promise.finish();
            it = waiting.erase(it);
            continue;
        }
        const QString host = hostKey(transfer.request.url);
        int &count = activePerHost[host];
        const long limit = protocols.multiplexing.contains(host) ? maxConnectionsPerHost * maxStreamsPerConnection
                                                                 : maxConnectionsPerHost;
        if (count >= limit) {
            ++it;
            continue;
        }
        ++count;
        std::unique_ptr<Transfer> next = std::move(*it);
        it = waiting.erase(it);
        start(std::move(next));
    }
}

void HttpClient::Private::start(std::unique_ptr<Transfer> transfer)
{
    if (!transfer)
        return;
    const HttpRequest &request = transfer->request;
    CURL *easy = curl_easy_init();
    if (!easy) {
        --activePerHost[hostKey(request.url)];
        resolve(*transfer, HttpResponse::transportFailure(QCoreApplication::translate("HttpClient", "Could not create a transfer")));
        return;
    }
    transfer->easy = easy;
    transfer->reading = &reading;

    const QByteArray url = request.url.toEncoded();
    curl_easy_setopt(easy, CURLOPT_URL, url.constData()); // curl copies strings it is given
    curl_easy_setopt(easy, CURLOPT_PRIVATE, transfer.get());
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, transfer->errorBuffer);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_2TLS));
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, long(request.timeout.count()));
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, request.followRedirects ? 1L : 0L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 10L);
    if (!request.statusOnly) // no body is read, so its announced size does not matter
        curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE, curl_off_t(request.maxResponseBytes));
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &writeBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, transfer.get());
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &readHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, transfer.get());
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &progress);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, transfer.get());
    // Wait for the host's first connection rather than opening many: if it speaks HTTP/2, every
    // request goes over it.
    if (request.url.scheme() == QLatin1String("https"))
        curl_easy_setopt(easy, CURLOPT_PIPEWAIT, 1L);
    transfer->protocols = &protocols;
    curl_easy_setopt(easy, CURLOPT_PREREQFUNCTION, &connectionReady);
    curl_easy_setopt(easy, CURLOPT_PREREQDATA, transfer.get());
    if (!certificateAuthorities.isEmpty()) {
        curl_blob authorities{const_cast<char *>(certificateAuthorities.constData()),
                              size_t(certificateAuthorities.size()), CURL_BLOB_COPY};
        curl_easy_setopt(easy, CURLOPT_CAINFO_BLOB, &authorities);
    }

    if (request.method == "GET") {
        curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    } else {
        if (request.method != "POST")
            curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, request.method.constData());
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(request.body.size()));
        curl_easy_setopt(easy, CURLOPT_POSTFIELDS, request.body.constData()); // not copied: lives in transfer
    }

    for (const auto &[name, value] : request.headers) {
        // "Name;" is curl's way to send a header with an empty value.
        const QByteArray line = value.isEmpty() ? name + ';' : name + ": " + value;
        transfer->headerList = curl_slist_append(transfer->headerList, line.constData());
    }
    for (const char *name : curlOwnHeaders) {
        if (!hasHeader(request, name))
            transfer->headerList = curl_slist_append(transfer->headerList, (QByteArray(name) + ':').constData());
    }
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, transfer->headerList);

    if (curl_multi_add_handle(multi, easy) != CURLM_OK) {
        --activePerHost[hostKey(request.url)];
        resolve(*transfer, HttpResponse::transportFailure(QCoreApplication::translate("HttpClient", "Could not start the transfer")));
        return;
    }
    active.emplace(easy, std::move(transfer));
}

void HttpClient::Private::complete(CURL *easy, CURLcode code)
{
    auto found = active.find(easy);
    if (found == active.end())
        return;
    std::unique_ptr<Transfer> transfer = std::move(found->second);
    active.erase(found);
    if (reading.leader == transfer.get())
        reading.leader = nullptr;
    curl_multi_remove_handle(multi, easy);
    --activePerHost[hostKey(transfer->request.url)];
    if (transfer->multiplexed) // what it leaves in the connection's buffer may be for the others
        nudgeStalledStreams(transfer->connection);

    if (transfer->promise.isCanceled()) {
        transfer->promise.finish();
        return;
    }

    HttpResponse response;
    if (transfer->headersStatus != 0) {
        response.status = transfer->headersStatus; // ended on purpose once the status was known
    } else if (code == CURLE_OK) {
        long status = 0;
        curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
        response.status = int(status);
        response.body = std::move(transfer->received);
        if (reading.budget && transfer->charged > 0) {
            // The charge travels with the body; the hold gives it back.
            response.hold = std::make_shared<const MemoryBudget::Hold>(reading.budget, transfer->charged);
            transfer->charged = 0;
        }
    } else if (transfer->overLimit || code == CURLE_FILESIZE_EXCEEDED) {
        response.transportError = limitText(transfer->request.maxResponseBytes);
    } else {
        // The error buffer has the detailed text ("Failed to connect to ... : Connection refused");
        // the generic one only when curl left the buffer empty.
        response.transportError = transfer->errorBuffer[0] ? QString::fromUtf8(transfer->errorBuffer)
                                                            : QString::fromUtf8(curl_easy_strerror(code));
    }
    resolve(*transfer, std::move(response));
}
