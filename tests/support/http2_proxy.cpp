#include "http2_proxy.h"

#include <QFile>
#include <QThread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

/// A loopback port free at the moment of asking.
quint16 freePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    quint16 port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr *>(&address), length) == 0
        && ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
    ::close(fd);
    return port;
}

bool accepts(quint16 port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    const bool connected = ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    ::close(fd);
    return connected;
}

} // namespace

Http2Proxy::Http2Proxy(quint16 backendPort)
{
    if (!m_dir.isValid() || !makeCertificates())
        return;
    m_port = freePort();
    const QString key = m_dir.filePath(QStringLiteral("server.key"));
    const QString certificate = m_dir.filePath(QStringLiteral("server.crt"));
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(QStringLiteral("nghttpx"),
                    {QStringLiteral("--conf=/dev/null"), QStringLiteral("--workers=1"),
                     QStringLiteral("--frontend=127.0.0.1,%1").arg(m_port),
                     QStringLiteral("--backend=127.0.0.1,%1").arg(backendPort),
                     // More streams per connection than a batch of 100 needs.
                     QStringLiteral("--frontend-http2-max-concurrent-streams=128"),
                     QStringLiteral("--backend-connections-per-frontend=0"), QStringLiteral("--no-ocsp"),
                     QStringLiteral("--errorlog-file=%1").arg(m_dir.filePath(QStringLiteral("error.log"))),
                     key, certificate});
    if (!m_process.waitForStarted(5000)) {
        m_error = QStringLiteral("nghttpx did not start: ") + m_process.errorString();
        return;
    }
    for (int attempt = 0; attempt < 200 && m_process.state() == QProcess::Running; ++attempt) {
        if (accepts(m_port)) {
            m_running = true;
            return;
        }
        QThread::msleep(25);
    }
    m_error = QStringLiteral("nghttpx did not listen on port %1").arg(m_port);
}

Http2Proxy::~Http2Proxy()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        if (!m_process.waitForFinished(5000))
            m_process.kill();
        m_process.waitForFinished(5000);
    }
}

QString Http2Proxy::baseUrl() const
{
    return QStringLiteral("https://127.0.0.1:%1").arg(m_port);
}

bool Http2Proxy::makeCertificates()
{
    auto openssl = [this](const QStringList &arguments) {
        QProcess process;
        process.setWorkingDirectory(m_dir.path());
        process.start(QStringLiteral("openssl"), arguments);
        if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
            m_error = QStringLiteral("openssl %1 failed: %2").arg(arguments.join(u' '),
                                                                   QString::fromLocal8Bit(process.readAllStandardError()));
            return false;
        }
        return true;
    };
    QFile extensions(m_dir.filePath(QStringLiteral("server.ext")));
    if (!extensions.open(QIODevice::WriteOnly)
        || extensions.write("subjectAltName=IP:127.0.0.1\nbasicConstraints=CA:FALSE\n") < 0)
        return false;
    extensions.close();
    const QString ecKey = QStringLiteral("ec:") + m_dir.filePath(QStringLiteral("params.pem"));
    if (!openssl({QStringLiteral("ecparam"), QStringLiteral("-name"), QStringLiteral("prime256v1"),
                  QStringLiteral("-out"), QStringLiteral("params.pem")})
        || !openssl({QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"), ecKey,
                     QStringLiteral("-nodes"), QStringLiteral("-keyout"), QStringLiteral("ca.key"),
                     QStringLiteral("-out"), QStringLiteral("ca.crt"), QStringLiteral("-days"), QStringLiteral("2"),
                     QStringLiteral("-subj"), QStringLiteral("/CN=Tavrune test CA")})
        || !openssl({QStringLiteral("req"), QStringLiteral("-newkey"), ecKey, QStringLiteral("-nodes"),
                     QStringLiteral("-keyout"), QStringLiteral("server.key"), QStringLiteral("-out"),
                     QStringLiteral("server.csr"), QStringLiteral("-subj"), QStringLiteral("/CN=127.0.0.1")})
        || !openssl({QStringLiteral("x509"), QStringLiteral("-req"), QStringLiteral("-in"), QStringLiteral("server.csr"),
                     QStringLiteral("-CA"), QStringLiteral("ca.crt"), QStringLiteral("-CAkey"), QStringLiteral("ca.key"),
                     QStringLiteral("-CAcreateserial"), QStringLiteral("-days"), QStringLiteral("2"),
                     QStringLiteral("-extfile"), QStringLiteral("server.ext"), QStringLiteral("-out"),
                     QStringLiteral("server.crt")})) {
        return false;
    }
    QFile authority(m_dir.filePath(QStringLiteral("ca.crt")));
    if (!authority.open(QIODevice::ReadOnly))
        return false;
    m_authority = authority.readAll();
    return !m_authority.isEmpty();
}
