#include <QDir>
#include <QDirIterator>
#include <QImageReader>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

struct Result
{
    int exitCode = -1;
    QString output;
};

Result runTool(const QString &program, const QStringList &arguments, int timeoutMs = 180000)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(timeoutMs))
        return {-1, QStringLiteral("%1 did not finish: %2").arg(program, process.errorString())};
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAll())};
}

const QStringList IconSizes{"16", "22", "24", "32", "48", "64", "128", "256", "512"};

QStringList expectedFiles()
{
    QStringList files{
        "bin/tavrune",
        "share/applications/com.tavrune.app.desktop",
        "share/metainfo/com.tavrune.app.metainfo.xml",
        "share/icons/hicolor/scalable/apps/com.tavrune.app.svg",
        "share/kio/servicemenus/com.tavrune.app.generate-folder-icon.desktop",
        "share/nemo/actions/com.tavrune.app.nemo_action",
        "share/man/man1/tavrune.1.gz",
        "share/doc/tavrune/copyright",
        "share/doc/tavrune/changelog.gz",
    };
    for (const QString &size : IconSizes)
        files.append(QStringLiteral("share/icons/hicolor/%1x%1/apps/com.tavrune.app.png").arg(size));
    files.sort();
    return files;
}

QStringList filesUnder(const QString &root)
{
    QStringList files;
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        files.append(QDir(root).relativeFilePath(it.next()));
    files.sort();
    return files;
}

} // namespace

/// The release layout: what `cmake --install` and the Debian package put on a machine.
class TestInstall final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void installsEveryFileAndNothingElse()
    {
        QTemporaryDir prefix;
        const Result install = runTool(QStringLiteral(TAVRUNE_CMAKE),
                                       {"--install", TAVRUNE_BUILD_DIR, "--prefix", prefix.path()});
        QVERIFY2(install.exitCode == 0, qPrintable(install.output));
        QCOMPARE(filesUnder(prefix.path()), expectedFiles());
        QVERIFY(QFileInfo(prefix.filePath("bin/tavrune")).isExecutable());

        // Every theme size is a real PNG of that size, drawn from the SVG.
        for (const QString &size : IconSizes) {
            QImageReader png(prefix.filePath(QStringLiteral("share/icons/hicolor/%1x%1/apps/com.tavrune.app.png").arg(size)));
            QCOMPARE(png.format(), QByteArray("png"));
            QCOMPARE(png.size(), QSize(size.toInt(), size.toInt()));
        }

        const Result desktop = runTool(QStringLiteral("desktop-file-validate"),
                                       {prefix.filePath("share/applications/com.tavrune.app.desktop")});
        QVERIFY2(desktop.exitCode == 0 && desktop.output.isEmpty(), qPrintable(desktop.output));
        const Result metainfo = runTool(QStringLiteral("appstreamcli"),
                                        {"validate", "--no-net", "--explain",
                                         prefix.filePath("share/metainfo/com.tavrune.app.metainfo.xml")});
        QVERIFY2(metainfo.exitCode == 0, qPrintable(metainfo.output));

        // The launcher, the file-manager actions and the metainfo all start the one program by name.
        for (const char *file : {"share/applications/com.tavrune.app.desktop",
                                 "share/kio/servicemenus/com.tavrune.app.generate-folder-icon.desktop",
                                 "share/nemo/actions/com.tavrune.app.nemo_action"}) {
            QFile entry(prefix.filePath(QString::fromLatin1(file)));
            QVERIFY(entry.open(QIODevice::ReadOnly));
            QVERIFY2(entry.readAll().contains("\nExec=tavrune %F\n"), file);
        }

        // The installed program runs from its new home.
        const Result version = runTool(prefix.filePath("bin/tavrune"), {"--version"});
        QCOMPARE(version.output, QStringLiteral("tavrune " TAVRUNE_VERSION "\n"));
    }

    void buildsADebianPackageLintianAccepts()
    {
        QTemporaryDir out;
        const Result cpack = runTool(QStringLiteral(TAVRUNE_CPACK),
                                     {"--config", TAVRUNE_BUILD_DIR "/CPackConfig.cmake", "-B", out.path()});
        QVERIFY2(cpack.exitCode == 0, qPrintable(cpack.output));
        const QString deb = out.filePath(QStringLiteral("tavrune_" TAVRUNE_VERSION "_amd64.deb"));
        QVERIFY2(QFile::exists(deb), qPrintable(cpack.output));

        const Result fields = runTool(QStringLiteral("dpkg-deb"), {"--field", deb});
        QVERIFY2(fields.exitCode == 0, qPrintable(fields.output));
        for (const char *field : {"Package: tavrune\n", "Version: " TAVRUNE_VERSION "\n", "Architecture: amd64\n",
                                  "Section: utils\n"})
            QVERIFY2(fields.output.contains(QLatin1String(field)), qPrintable(fields.output));
        const QString depends = fields.output.section(QStringLiteral("Depends: "), 1).section(u'\n', 0, 0);
        for (const char *package : {"libqt6widgets6", "libqt6dbus6", "libcurl4", "gvfs", "libqt6svg6"})
            QVERIFY2(depends.contains(QLatin1String(package)), qPrintable(depends));
        // Qt's own dialog texts in the user's language.
        const QString recommends = fields.output.section(QStringLiteral("Recommends: "), 1).section(u'\n', 0, 0);
        QVERIFY2(recommends.contains(QLatin1String("qt6-translations-l10n")), qPrintable(fields.output));

        const Result contents = runTool(QStringLiteral("dpkg-deb"), {"--contents", deb});
        QStringList packaged;
        for (const QString &line : contents.output.split(u'\n', Qt::SkipEmptyParts)) {
            const QString path = line.section(u' ', -1);
            if (!line.startsWith(u'd'))
                packaged.append(path.mid(int(qstrlen("./usr/"))));
        }
        packaged.sort();
        QCOMPARE(packaged, expectedFiles());

        const Result lintian = runTool(QStringLiteral("lintian"), {"--fail-on", "error", "--tag-display-limit", "0", deb});
        QVERIFY2(lintian.exitCode == 0, qPrintable(lintian.output));
        QVERIFY2(!lintian.output.contains(QLatin1String("E: ")), qPrintable(lintian.output));
    }
};

QTEST_GUILESS_MAIN(TestInstall)
#include "tst_install.moc"
