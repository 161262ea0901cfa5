#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

/// @brief nghttpx on 127.0.0.1 speaking HTTP/2 over TLS in front of a local HTTP/1.1 server.
///
/// The certificate authority and the server's certificate (for 127.0.0.1) are made for every
/// instance with the openssl command; hand certificateAuthority() to HttpClient to trust it.
/// isRunning() is false when nghttpx or openssl is missing or the proxy did not come up.
class Http2Proxy final
{
public:
    explicit Http2Proxy(quint16 backendPort);
    ~Http2Proxy();

    bool isRunning() const { return m_running; }
    /// What went wrong when it is not running.
    QString error() const { return m_error; }
    QString baseUrl() const;
    QByteArray certificateAuthority() const { return m_authority; }

private:
    bool makeCertificates();

    QTemporaryDir m_dir;
    QProcess m_process;
    quint16 m_port = 0;
    bool m_running = false;
    QString m_error;
    QByteArray m_authority;
};
