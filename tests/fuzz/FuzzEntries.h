#pragma once

#include <QByteArray>
#include <cstddef>
#include <cstdint>

/// One entry per parser under fuzzing. The libFuzzer targets and the corpus regression test both
/// call these, so a corpus file replays exactly what the fuzzer ran. Each entry must never crash
/// or leak; a broken invariant aborts with a message on stderr.
///
/// The entries that build documents need a QCoreApplication on the calling thread, with the
/// XDG folders pointing at a scratch folder.
class FuzzEntries {
  public:
    /// CSV text as UTF-8 and as UTF-16 (byte pairs) through NVSCSVUtilities.
    static void csv(const QByteArray& bytes);
    /// JSON text, optionally followed by a NUL byte and newline-separated key paths: every path
    /// given and every path of the value's inventory is evaluated with JsonKeyPath.
    static void jsonKeyPath(const QByteArray& bytes);
    /// A JSONPath query, then after a NUL byte the JSON it runs on.
    static void jsonPath(const QByteArray& bytes);
    /// An XML feed: parsed, inventoried, and each inventoried path looked up both through the
    /// evaluator's child index and through libxml2's XPath, which must agree.
    static void xmlInventory(const QByteArray& bytes);
    /// A Graflink document file read by the document (unless reading it would fetch a feed over
    /// the network), then written and read back.
    static void documentFile(const QByteArray& bytes);

    static QByteArray bytesOf(const uint8_t* data, size_t size) {
        return QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    }
};
