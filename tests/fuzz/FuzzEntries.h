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
    /// given and every path of the value's inventory is evaluated with JsonKeyPath, and by the
    /// streamed pass, which must agree (and answer nothing for a text that does not parse).
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

/// The data-source library's entries under fuzzing (the conventions above). They never refresh:
/// nothing reaches the network or reads files named by the input.
class DataSourceFuzzEntries {
  public:
    /// A data-source file ("data_source" element) applied to a data source, written, and applied
    /// to a second one, which must end with the same settings and columns.
    static void dataSourceFile(const QByteArray& bytes);
    /// A feed (XML when it starts with "<" after white space, else JSON), optionally followed by
    /// a NUL byte and settings lines: the rows' XPath, then one column per line (an identifier,
    /// or "=" and a format whose tokens name the columns "c0", "c1", ...). Without settings the
    /// rows are the first repeated element and the columns the paths below its first instance.
    /// Node tree, rows, selection, cells and wildcard paths are computed; element paths must be
    /// libxml2's.
    static void dataSourceFeed(const QByteArray& bytes);
};

/// Fuzz entries of the rack tools (the contract above).
class RackFuzzEntries {
  public:
    /// A recording's index.jsonl: parsed; every entry kept passes the checks, every line is kept
    /// or skipped at most once, and a kept entry written back reads the same.
    static void recordingIndex(const QByteArray& bytes);
};

/// What a fuzz target process needs before its first input: a QCoreApplication for the main
/// queue, and XDG folders in a scratch folder so that nothing reaches the user's files.
class FuzzSetup {
  public:
    static void initialize(int* argc, char*** argv);
    /// Aborts with the broken invariant's description when `condition` fails: a finding.
    static void check(bool condition, const char* what);
};
inline constexpr auto check = &FuzzSetup::check;
