#include "temp_tree.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

TempTree::TempTree() = default;

QString TempTree::makeDir(const QString &relative) const
{
    const QString path = m_dir.filePath(relative);
    QDir().mkpath(path);
    return path;
}

QString TempTree::makeFile(const QString &relative, const QByteArray &content) const
{
    const QString path = m_dir.filePath(relative);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(content);
    return path;
}
