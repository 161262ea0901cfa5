#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

/// @brief A temporary directory that tests fill with files and folders by relative path.
class TempTree final
{
public:
    TempTree();

    bool isValid() const { return m_dir.isValid(); }
    QString path() const { return m_dir.path(); }
    QString filePath(const QString &relative) const { return m_dir.filePath(relative); }

    /// Creates a folder (and its parents); returns its absolute path.
    QString makeDir(const QString &relative) const;
    /// Writes a file (creating its folder); returns its absolute path.
    QString makeFile(const QString &relative, const QByteArray &content = {}) const;

private:
    QTemporaryDir m_dir;
};
