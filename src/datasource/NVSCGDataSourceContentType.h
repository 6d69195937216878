#pragma once

#include <QByteArray>
#include <QString>

/// The content type of a feed file, where the platform offers no type service: by the file's
/// extension first, and for any other extension by its first significant character.
class NVSCGDataSourceContentType {
  public:
    enum Kind { Unknown, XML, JSON };

    /// Unknown when the file cannot be read or is neither XML nor JSON.
    static Kind ofFile(const QString& path);
    static Kind ofExtension(const QString& suffix);
    /// '<' is XML, '{' or '[' JSON, after a byte-order mark and white space.
    static Kind ofContent(const QByteArray& head);
};
