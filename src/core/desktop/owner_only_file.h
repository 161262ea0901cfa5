#pragma once

#include <QByteArray>
#include <QString>

/// @brief Writes small secrets so that no other user can read them at any moment, and no reader sees half a file.
namespace OwnerOnlyFile {

/// Creates a new, empty file with a unique name starting with `namePrefix` in `directory`, readable
/// and writable by the owner only from the moment it exists (whatever the umask). Returns the open
/// descriptor, which the caller closes, and stores the file's path in `createdPath`; -1 on failure.
int createExclusive(const QString &directory, const QString &namePrefix, QString *createdPath);

/// Replaces the file at `path` with `bytes` in one step: a private temporary file in the same
/// directory is written, flushed to disk and renamed over `path`, then the directory is flushed.
/// The result has mode 0600. On failure the previous file is left whole and no temporary remains.
bool replace(const QString &path, const QByteArray &bytes);

/// Crash tests only: runs right before replace() renames its finished temporary file over `path`
/// (a hook that kills the process leaves exactly what a crash at that moment would).
using BeforeRenameHook = void (*)(const QString &path);
void setBeforeRenameHook(BeforeRenameHook hook);

} // namespace OwnerOnlyFile
