#pragma once

#include <QByteArray>
#include <QString>

/// Files and folders that only their owner can read or enter from the moment they exist
/// (files rw-------, folders rwx------), whatever the process's umask. What the support
/// gathering writes never passes through a moment where another account could read it, and it
/// never needs a pass over a folder afterwards to lock it down.
///
/// Any thread. Symbolic links are never followed at the destination.
class OwnerOnlyFiles {
  public:
    /// Makes the folder and its missing parents, each rwx------. True when it is there.
    static bool makeFolder(const QString& path);
    /// Opens `path` for writing (made rw-------, emptied when it is there); the file
    /// descriptor, or -1 with `error` set. The caller closes it.
    static int create(const QString& path, QString* error);
    /// Writes the whole file (made rw-------).
    static bool write(const QString& path, const QByteArray& bytes, QString* error);
    /// Copies a regular file's bytes into a new file rw-------, in chunks.
    static bool copy(const QString& source, const QString& destination, QString* error);
};
