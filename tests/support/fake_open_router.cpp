#include "fake_open_router.h"

#include <algorithm>

#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>
#include <QImageWriter>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMap>

#include <httplib.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

// Enough for 100 simultaneous clients with room to spare; Debian's library listens with a backlog
// of 5 and a pool of a few threads, both far too small for that.
constexpr int listenBacklog = 1024;
constexpr size_t serverThreads = 160;

QJsonObject completion(const QJsonObject &message)
{
    QJsonObject choice;
    choice.insert(QLatin1String("index"), 0);
    choice.insert(QLatin1String("finish_reason"), QStringLiteral("stop"));
    choice.insert(QLatin1String("message"), message);
    QJsonObject root;
    root.insert(QLatin1String("id"), QStringLiteral("gen-fake"));
    root.insert(QLatin1String("object"), QStringLiteral("chat.completion"));
    root.insert(QLatin1String("choices"), QJsonArray{choice});
    return root;
}

QJsonObject assistant()
{
    QJsonObject message;
    message.insert(QLatin1String("role"), QStringLiteral("assistant"));
    return message;
}

QByteArray mimeOf(const char *format)
{
    const QByteArray f = QByteArray(format).toLower();
    return "image/" + (f == "jpg" ? QByteArray("jpeg") : f);
}

} // namespace

FakeReply FakeReply::json(const QJsonObject &object, int status)
{
    FakeReply reply;
    reply.status = status;
    reply.body = QJsonDocument(object).toJson(QJsonDocument::Compact);
    return reply;
}

FakeReply FakeReply::raw(int status, const QByteArray &body, const QByteArray &contentType)
{
    FakeReply reply;
    reply.status = status;
    reply.body = body;
    reply.contentType = contentType;
    return reply;
}

FakeReply FakeReply::redirect(int status, const QString &location)
{
    FakeReply reply = raw(status, QByteArray());
    reply.headers.append({"Location", location.toUtf8()});
    return reply;
}

FakeReply FakeReply::message(const QJsonObject &message)
{
    return json(completion(message));
}

QByteArray FakeReply::encode(const QImage &image, const char *format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.write(image);
    return bytes;
}

QString FakeReply::dataUrl(const QImage &image, const char *format)
{
    return QStringLiteral("data:") + QString::fromLatin1(mimeOf(format)) + QStringLiteral(";base64,")
        + QString::fromLatin1(encode(image, format).toBase64());
}

FakeReply FakeReply::image(const QImage &image, const char *format)
{
    return imageReference(dataUrl(image, format));
}

// {"type": "image_url", "image_url": {"url": reference}}: the same shape in "images" and in "content".
static QJsonObject imageUrlPart(const QString &reference)
{
    return QJsonObject{{QLatin1String("type"), QStringLiteral("image_url")},
                       {QLatin1String("image_url"), QJsonObject{{QLatin1String("url"), reference}}}};
}

FakeReply FakeReply::imageReference(const QString &reference)
{
    QJsonObject message = assistant();
    message.insert(QLatin1String("content"), QStringLiteral("Here is your icon."));
    message.insert(QLatin1String("images"), QJsonArray{imageUrlPart(reference)});
    return FakeReply::message(message);
}

FakeReply FakeReply::contentImage(const QString &reference)
{
    QJsonObject message = assistant();
    message.insert(QLatin1String("content"), QJsonArray{imageUrlPart(reference)});
    return FakeReply::message(message);
}

FakeReply FakeReply::text(const QString &text)
{
    QJsonObject message = assistant();
    message.insert(QLatin1String("content"), text);
    return FakeReply::message(message);
}

FakeReply FakeReply::apiError(int status, const QString &message)
{
    QJsonObject error;
    error.insert(QLatin1String("code"), status);
    error.insert(QLatin1String("message"), message);
    QJsonObject root;
    root.insert(QLatin1String("error"), error);
    return json(root, status);
}

FakeReply FakeReply::after(std::chrono::milliseconds wait) const
{
    FakeReply reply = *this;
    reply.delay = wait;
    return reply;
}

QByteArray RecordedRequest::header(const QByteArray &name) const
{
    for (const auto &[key, value] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return QByteArray();
}

QList<QByteArray> RecordedRequest::headerNames() const
{
    QList<QByteArray> names;
    for (const auto &header : headers)
        names.append(header.first.toLower());
    std::sort(names.begin(), names.end());
    return names;
}

QJsonObject RecordedRequest::json() const
{
    return QJsonDocument::fromJson(body).object();
}

QString RecordedRequest::model() const
{
    return json().value(QLatin1String("model")).toString();
}

namespace {

using namespace std::chrono_literals;

/// Whether the server's end of the loopback connection from `clientPort` is in CLOSE_WAIT: the
/// client closed it while the server still holds it.
bool clientHungUp(int serverPort, int clientPort)
{
    QFile table(QStringLiteral("/proc/net/tcp"));
    if (!table.open(QIODevice::ReadOnly))
        return false;
    const QByteArray local = QByteArray::number(serverPort, 16).toUpper().rightJustified(4, '0');
    const QByteArray remote = QByteArray::number(clientPort, 16).toUpper().rightJustified(4, '0');
    for (const QByteArray &line : table.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() < 4 || !fields.at(1).endsWith(':' + local) || !fields.at(2).endsWith(':' + remote))
            continue;
        return fields.at(3) == "08"; // TCP_CLOSE_WAIT
    }
    return false;
}

} // namespace

struct FakeOpenRouter::Private
{
    httplib::Server server;
    std::thread thread;
    QElapsedTimer clock;
    int port = 0;
    int listenSocket = -1;

    mutable std::mutex mutex;
    std::condition_variable stopped; // wakes delayed replies when the server goes away or releases them
    bool stopping = false;
    int releases = 0; // bumped by releaseDelayed()
    QMap<QString, FakeReply> scripts;
    QMap<QString, FakeReply> served;
    FakeReply defaultReply;
    bool hasDefaultReply = false;
    Generator generator;
    QString validKey = QStringLiteral("sk-or-valid");
    std::chrono::milliseconds keyCheckDelay{0};
    QJsonObject keyData;
    std::optional<FakeReply> keyCheckReply;
    QJsonValue generationCost = QJsonValue::Undefined;
    QList<RecordedRequest> requests;
    int inFlight = 0;     // counted since the last reset()
    int mostInFlight = 0;
    int generation = 0;   // of reset(): requests from before it no longer count

    void record(const httplib::Request &request);
    void answer(const FakeReply &reply, httplib::Response &response, int clientPort = -1);
    int closedWhileWaiting = 0;
    void handleChat(const httplib::Request &request, httplib::Response &response);
    void handleGet(const httplib::Request &request, httplib::Response &response);
};

void FakeOpenRouter::Private::record(const httplib::Request &request)
{
    RecordedRequest recorded;
    recorded.method = QByteArray::fromStdString(request.method);
    recorded.path = QByteArray::fromStdString(request.path);
    for (const auto &[name, value] : request.headers) {
        // The library adds the peer's and its own address as pseudo-headers; they were not sent.
        if (name == "REMOTE_ADDR" || name == "REMOTE_PORT" || name == "LOCAL_ADDR" || name == "LOCAL_PORT")
            continue;
        recorded.headers.append({QByteArray::fromStdString(name), QByteArray::fromStdString(value)});
    }
    recorded.body = QByteArray::fromStdString(request.body);
    recorded.receivedAtMs = clock.elapsed();
    std::lock_guard lock(mutex);
    requests.append(recorded);
}

void FakeOpenRouter::Private::answer(const FakeReply &reply, httplib::Response &response, int clientPort)
{
    {
        std::unique_lock lock(mutex);
        const int arrivedIn = generation;
        mostInFlight = std::max(mostInFlight, ++inFlight);
        if (reply.delay.count() > 0) {
            const int release = releases;
            const auto until = std::chrono::steady_clock::now() + reply.delay;
            // Looks at the connection every few milliseconds: a client that hung up is not answered.
            while (!stopped.wait_until(lock, std::min(until, std::chrono::steady_clock::now() + 20ms),
                                       [this, release] { return stopping || releases != release; })
                   && std::chrono::steady_clock::now() < until) {
                lock.unlock();
                const bool hungUp = clientPort > 0 && clientHungUp(port, clientPort);
                lock.lock();
                if (hungUp) {
                    ++closedWhileWaiting;
                    break;
                }
            }
        }
        if (arrivedIn == generation)
            --inFlight;
    }
    response.status = reply.status;
    for (const auto &[name, value] : reply.headers)
        response.set_header(name.toStdString(), value.toStdString());
    response.set_content(reply.body.toStdString(), reply.contentType.toStdString());
}

void FakeOpenRouter::Private::handleChat(const httplib::Request &request, httplib::Response &response)
{
    record(request);
    const QJsonObject body = QJsonDocument::fromJson(QByteArray::fromStdString(request.body)).object();
    const QString model = body.value(QLatin1String("model")).toString();
    const QString prompt = body.value(QLatin1String("messages"))
                               .toArray()
                               .at(0) // Undefined, not a crash, for a request without messages
                               .toObject()
                               .value(QLatin1String("content"))
                               .toString();
    FakeReply reply;
    Generator make;
    {
        std::lock_guard lock(mutex);
        if (scripts.contains(model))
            reply = scripts.value(model);
        else if (generator)
            make = generator;
        else if (hasDefaultReply)
            reply = defaultReply;
        else
            reply = FakeReply::apiError(404, QStringLiteral("No endpoints found for %1.").arg(model));
    }
    if (make)
        reply = make(model, prompt); // outside the lock: drawing a picture takes a while
    QJsonValue cost;
    {
        std::lock_guard lock(mutex);
        cost = generationCost;
    }
    if (!cost.isUndefined() && reply.status == 200 && reply.contentType == "application/json") {
        QJsonObject root = QJsonDocument::fromJson(reply.body).object();
        if (!root.isEmpty()) {
            QJsonObject usage = root.value(QLatin1String("usage")).toObject();
            usage.insert(QLatin1String("cost"), cost);
            root.insert(QLatin1String("usage"), usage);
            reply.body = QJsonDocument(root).toJson(QJsonDocument::Compact);
        }
    }
    answer(reply, response, request.remote_port);
}

void FakeOpenRouter::Private::handleGet(const httplib::Request &request, httplib::Response &response)
{
    record(request);
    const QString path = QString::fromStdString(request.path);
    FakeReply reply;
    {
        std::lock_guard lock(mutex);
        if (path == QLatin1String("/api/v1/key")) {
            const QByteArray authorization = QByteArray::fromStdString(request.get_header_value("Authorization"));
            const bool accepted = validKey.isEmpty() ? authorization.size() > int(qstrlen("Bearer "))
                                                     : authorization == "Bearer " + validKey.toUtf8();
            if (keyCheckReply) {
                reply = *keyCheckReply;
            } else if (accepted && authorization.startsWith("Bearer ")) {
                QJsonObject data = keyData;
                data.insert(QLatin1String("label"), QStringLiteral("sk-or-...fake"));
                QJsonObject root;
                root.insert(QLatin1String("data"), data);
                reply = FakeReply::json(root);
            } else {
                reply = FakeReply::apiError(401, QStringLiteral("User not found."));
            }
            reply.delay = keyCheckDelay;
        } else if (served.contains(path)) {
            reply = served.value(path);
        } else {
            reply = FakeReply::raw(404, "<html><body><h1>404 Not Found</h1></body></html>", "text/html");
        }
    }
    answer(reply, response);
}

FakeOpenRouter::FakeOpenRouter()
    : d(std::make_unique<Private>())
{
    d->server.new_task_queue = [] { return new httplib::ThreadPool(serverThreads); };
    d->server.set_keep_alive_max_count(1000);
    // A client under load may stop reading an answer for a while (it does, to bound its memory);
    // the library's 5 s would drop such a connection where a real server waits much longer.
    d->server.set_write_timeout(120, 0);
    d->server.set_payload_max_length(size_t(64) * 1024 * 1024);
    d->server.set_socket_options([this](socket_t socket) {
        httplib::default_socket_options(socket);
        d->listenSocket = socket;
    });
    d->server.Post("/api/v1/chat/completions", [this](const httplib::Request &request, httplib::Response &response) {
        d->handleChat(request, response);
    });
    d->server.Get(".*", [this](const httplib::Request &request, httplib::Response &response) {
        d->handleGet(request, response);
    });
    d->clock.start();
    d->port = d->server.bind_to_any_port("127.0.0.1");
    if (d->port <= 0 || d->listenSocket < 0)
        qFatal("The fake OpenRouter could not listen on 127.0.0.1");
    // listen() again on a listening socket only changes its backlog.
    ::listen(d->listenSocket, listenBacklog);
    d->thread = std::thread([this] { d->server.listen_after_bind(); });
}

FakeOpenRouter::~FakeOpenRouter()
{
    {
        std::lock_guard lock(d->mutex);
        d->stopping = true;
    }
    d->stopped.notify_all();
    d->server.stop();
    d->thread.join();
}

int FakeOpenRouter::mostRequestsInFlight() const
{
    std::lock_guard lock(d->mutex);
    return d->mostInFlight;
}

QString FakeOpenRouter::baseUrl() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(d->port);
}

int FakeOpenRouter::connectionsClosedWhileWaiting() const
{
    std::lock_guard lock(d->mutex);
    return d->closedWhileWaiting;
}

quint16 FakeOpenRouter::closedPort()
{
    // Bound but never listened on: connecting to it is refused, and keeping it bound for the whole
    // process keeps anyone else from taking the port meanwhile.
    static const quint16 port = [] {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0)
            qFatal("No loopback port could be bound");
        socklen_t length = sizeof address;
        ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length);
        return ntohs(address.sin_port);
    }();
    return port;
}

qint64 FakeOpenRouter::elapsedMs() const
{
    return d->clock.elapsed();
}

quint16 FakeOpenRouter::port() const
{
    return quint16(d->port);
}

void FakeOpenRouter::script(const QString &model, const FakeReply &reply)
{
    std::lock_guard lock(d->mutex);
    d->scripts.insert(model, reply);
}

void FakeOpenRouter::setDefaultReply(const FakeReply &reply)
{
    std::lock_guard lock(d->mutex);
    d->defaultReply = reply;
    d->hasDefaultReply = true;
}

void FakeOpenRouter::setGenerator(Generator generator)
{
    std::lock_guard lock(d->mutex);
    d->generator = std::move(generator);
}

QString FakeOpenRouter::serve(const QString &path, const FakeReply &reply)
{
    std::lock_guard lock(d->mutex);
    d->served.insert(path, reply);
    return baseUrl() + path;
}

void FakeOpenRouter::setValidKey(const QString &key)
{
    std::lock_guard lock(d->mutex);
    d->validKey = key;
}

void FakeOpenRouter::setKeyData(const QJsonObject &fields)
{
    std::lock_guard lock(d->mutex);
    d->keyData = fields;
}

void FakeOpenRouter::setKeyCheckReply(const std::optional<FakeReply> &reply)
{
    std::lock_guard lock(d->mutex);
    d->keyCheckReply = reply;
}

void FakeOpenRouter::setGenerationCost(const QJsonValue &cost)
{
    std::lock_guard lock(d->mutex);
    d->generationCost = cost;
}

void FakeOpenRouter::setKeyCheckDelay(std::chrono::milliseconds delay)
{
    std::lock_guard lock(d->mutex);
    d->keyCheckDelay = delay;
}

void FakeOpenRouter::releaseDelayed()
{
    {
        std::lock_guard lock(d->mutex);
        ++d->releases;
    }
    d->stopped.notify_all();
}

QList<RecordedRequest> FakeOpenRouter::requests() const
{
    std::lock_guard lock(d->mutex);
    return d->requests;
}

QList<RecordedRequest> FakeOpenRouter::chatRequests() const
{
    QList<RecordedRequest> chats;
    for (const RecordedRequest &request : requests()) {
        if (request.path == "/api/v1/chat/completions")
            chats.append(request);
    }
    return chats;
}

void FakeOpenRouter::reset()
{
    std::lock_guard lock(d->mutex);
    d->scripts.clear();
    d->served.clear();
    d->generator = nullptr;
    d->hasDefaultReply = false;
    d->requests.clear();
    d->inFlight = 0;
    d->mostInFlight = 0;
    d->closedWhileWaiting = 0;
    ++d->generation;
}
