#include "temp_tree.h"

#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

/// Tavrune read and driven by a real AT-SPI client, as a screen reader would: an X server of its
/// own, the accessibility bus on the test's session bus, the real program with three folders, and
/// screen_reader_client.py (pyatspi) doing the reading.
class TestScreenReader final : public QObject
{
    Q_OBJECT

private:
    TempTree m_tree;
    QProcess m_xserver;
    QProcess m_bus;
    QProcess m_app;
    QString m_display;

    static void stop(QProcess &process)
    {
        if (process.state() == QProcess::NotRunning)
            return;
        process.terminate();
        if (!process.waitForFinished(5000))
            process.kill();
        process.waitForFinished(2000);
    }

private Q_SLOTS:
    void initTestCase()
    {
        for (const char *tool : {"Xvfb", "/usr/libexec/at-spi-bus-launcher", "/usr/bin/python3"}) {
            if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty() && !QFile::exists(QString::fromLatin1(tool)))
                QFAIL(qPrintable(QStringLiteral("%1 is missing (scripts/lib.sh lists its package)").arg(QString::fromLatin1(tool))));
        }
        // The server picks a free display and writes its number to the given descriptor (1: stdout).
        m_xserver.start(QStringLiteral("Xvfb"), {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                                                 QStringLiteral("0"), QStringLiteral("1400x900x24"), QStringLiteral("-nolisten"),
                                                 QStringLiteral("tcp")});
        QVERIFY(m_xserver.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(m_xserver.canReadLine(), 10000);
        m_display = u':' + QString::fromLatin1(m_xserver.readLine().trimmed());

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), m_display);
        m_bus.setProcessEnvironment(env);
        m_bus.start(QStringLiteral("/usr/libexec/at-spi-bus-launcher"), {QStringLiteral("--launch-immediately")});
        QVERIFY(m_bus.waitForStarted());
    }

    void cleanupTestCase()
    {
        stop(m_app);
        stop(m_bus);
        stop(m_xserver);
    }

    void readsSelectsAndHearsTheFolders()
    {
        QStringList folders;
        for (const QString &name : {QStringLiteral("Alpha"), QStringLiteral("Beta"), QStringLiteral("Gamma")})
            folders.append(m_tree.makeDir(name));

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), m_display);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), QStringLiteral("1"));
        m_app.setProcessEnvironment(env);
        m_app.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_app.start(QStringLiteral(TAVRUNE_BINARY), folders);
        QVERIFY(m_app.waitForStarted());

        QProcess client;
        client.setProcessEnvironment(env);
        client.setProcessChannelMode(QProcess::MergedChannels);
        client.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral(SCREEN_READER_CLIENT)});
        QVERIFY(client.waitForStarted());
        const bool finished = client.waitForFinished(150000);
        const QString output = QString::fromUtf8(client.readAll());
        qInfo().noquote() << output;
        QVERIFY2(finished, "the client did not finish");
        QVERIFY2(client.exitStatus() == QProcess::NormalExit && client.exitCode() == 0, qPrintable(output));
        QVERIFY(m_app.state() == QProcess::Running);
    }
};

QTEST_GUILESS_MAIN(TestScreenReader)
#include "tst_screen_reader.moc"
