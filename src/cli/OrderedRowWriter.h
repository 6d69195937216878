#pragma once

#include <QByteArray>
#include <cstddef>
#include <functional>

namespace cli {

/// Writes the text of many rows in their order while several threads make it: the rows go in
/// chunks to the calling thread and to helpers, and the calling thread writes each chunk as soon
/// as it and every chunk before it are made. Helpers run at most a few chunks ahead of the
/// writing, so the memory held stays that of a few chunks however long the listing.
///
/// `make` appends the text of one row; it is called from several threads at once, each row once.
/// `write` is called on the calling thread only, with the text of whole rows in their order.
class OrderedRowWriter {
  public:
    using MakeRow = std::function<void(std::size_t row, QByteArray& text)>;
    using Write = std::function<void(QByteArray& text)>; // may empty `text`

    /// `threads` in all, the calling one included; one makes every row on the calling thread.
    explicit OrderedRowWriter(int threads = defaultThreads());

    void run(std::size_t rowCount, const MakeRow& make, const Write& write) const;

    /// As many threads as the machine has cores, up to four.
    static int defaultThreads();

  private:
    int m_threads;
};

} // namespace cli
