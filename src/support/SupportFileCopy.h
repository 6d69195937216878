#pragma once

#include <QString>
#include <QStringList>

/// Copies into a support folder: every file owner-only, settings with their secrets masked (and
/// left out when they cannot be read as settings), links never followed. Failures are reported as
/// console lines "Contact Norvane Support: …". Any thread.
class SupportFileCopy {
  public:
    static inline const QString ConsolePrefix = QStringLiteral("Contact Norvane Support: ");

    /// One console line with the prefix.
    static void report(const QString& text);
    /// Copies a file or a folder with everything in it, except the sources in `skipped`; links are
    /// left out (they could lead anywhere).
    static bool copy(const QString& source, const QString& destination, QString* error,
                     const QStringList& skipped = {});
    /// Copies and reports a failure on the console with `what` ("Copy Preferences: Error: …").
    static void copyOrReport(const QString& source, const QString& destination, const QString& what,
                             const QStringList& skipped = {});
    /// A folder or file that may well be absent on this machine: copied when it is there.
    static void copyIfPresent(const QString& source, const QString& destination, const QString& what);
    /// Every file below the folders, each into `destination` under its own name.
    static void copyFilesFlat(const QStringList& folders, const QString& destination, const QString& what);
    /// Writes an owner-only file; a failure is reported.
    static bool write(const QString& path, const QByteArray& bytes);
};
