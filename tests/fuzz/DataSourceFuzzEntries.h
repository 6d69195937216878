#pragma once

#include <QByteArray>

/// The data-source library's entries under fuzzing (see FuzzEntries for the conventions). They
/// never refresh: nothing reaches the network or reads files named by the input.
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
