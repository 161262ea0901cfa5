#pragma once

// A benchmark runs in a scratch HOME with XDG directories of its own: it never reads or writes the
// user's files, and starts from nothing stored.

#include <QDir>
#include <QTemporaryDir>

namespace BenchScratchHome {

/// Points HOME and the XDG config, data and cache directories into `scratch`, and makes them.
/// Call before the application object exists.
inline void use(const QTemporaryDir &scratch)
{
    const QByteArray root = scratch.path().toUtf8();
    qputenv("HOME", root);
    for (const char *name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"}) {
        const QByteArray dir = root + '/' + name;
        QDir().mkpath(QString::fromUtf8(dir));
        qputenv(name, dir);
    }
}

} // namespace BenchScratchHome
