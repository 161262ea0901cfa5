#pragma once

#include <QByteArray>
#include <QColor>
#include <QFile>
#include <QImage>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <dirent.h>

#include <cstring>

// Small helpers several test files need alike.

/// A folder as the application keeps it: a local file URL ending in a slash.
inline QUrl dirUrl(const QString &path) { return QUrl::fromLocalFile(path + u'/'); }

/// A file's bytes; empty when it cannot be read.
inline QByteArray fileContent(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

/// The PNG the folder's `.directory` names as its icon; empty when it names none.
inline QByteArray directoryIcon(const QUrl &folder)
{
    for (const QByteArray &line : fileContent(folder.toLocalFile() + QStringLiteral(".directory")).split('\n')) {
        if (line.startsWith("Icon="))
            return fileContent(QString::fromUtf8(line.mid(5)));
    }
    return {};
}

/// A square picture of one colour, as the fake OpenRouter hands it back.
inline QImage solidPicture(const QColor &colour, int size = 256)
{
    QImage image(size, size, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

/// Where the API key is stored, under the test's own data directory.
inline QString storedKeyPath()
{
    return qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/com.tavrune.app/com.tavrune.openrouter-api-key");
}

/// Writes `content` over whatever the file held; false when that fails.
inline bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size();
}

/// A directory's entry names in the order readdir() gives them (the file system's own order),
/// without "." and "..", and without hidden entries unless asked for.
inline QStringList listingOrder(const QString &path, bool withHidden = false)
{
    QStringList names;
    DIR *dir = opendir(QFile::encodeName(path).constData());
    if (!dir)
        return names;
    while (const dirent *entry = readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0
            && (withHidden || entry->d_name[0] != '.'))
            names.append(QFile::decodeName(entry->d_name));
    }
    closedir(dir);
    return names;
}
