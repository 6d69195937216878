#pragma once

#include <QByteArray>

/// Fuzz entries of the rack tools (see FuzzEntries for the contract).
class RackFuzzEntries {
  public:
    /// A recording's index.jsonl: parsed; every entry kept passes the checks, every line is kept
    /// or skipped at most once, and a kept entry written back reads the same.
    static void recordingIndex(const QByteArray& bytes);
};
