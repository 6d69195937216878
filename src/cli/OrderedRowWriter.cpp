#include "cli/OrderedRowWriter.h"

#include <QThread>
#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace cli {

namespace {

constexpr std::size_t ChunkRows = 64;
constexpr int MaximumThreads = 4;
// Chunks a thread may be ahead of the writing: enough that no thread waits for another's chunk
// to be written while the writer is busy.
constexpr std::size_t ChunksAheadPerThread = 4;

} // namespace

OrderedRowWriter::OrderedRowWriter(int threads) : m_threads(std::clamp(threads, 1, MaximumThreads)) {}

int OrderedRowWriter::defaultThreads() {
    return std::clamp(QThread::idealThreadCount(), 1, MaximumThreads);
}

void OrderedRowWriter::run(std::size_t rowCount, const MakeRow& make, const Write& write) const {
    const std::size_t chunks = (rowCount + ChunkRows - 1) / ChunkRows;
    const auto makeChunk = [&](std::size_t chunk, QByteArray& text) {
        const std::size_t end = std::min(rowCount, (chunk + 1) * ChunkRows);
        for (std::size_t row = chunk * ChunkRows; row < end; ++row)
            make(row, text);
    };
    const std::size_t window = std::size_t(m_threads) * ChunksAheadPerThread;
    std::mutex mutex;
    std::condition_variable changed;
    std::size_t claimed = 0; // chunks handed to a thread
    std::size_t written = 0; // chunks written, all of them in order
    std::vector<QByteArray> texts(chunks);
    std::vector<bool> made(chunks, false);
    // With the lock held: the next chunk a thread may make now, or `chunks` when none.
    const auto claim = [&] { return claimed < chunks && claimed < written + window ? claimed++ : chunks; };
    const auto makeAndKeep = [&](std::unique_lock<std::mutex>& lock, std::size_t chunk) {
        lock.unlock();
        QByteArray text;
        makeChunk(chunk, text);
        lock.lock();
        texts[chunk] = std::move(text);
        made[chunk] = true;
        changed.notify_all();
    };

    const auto help = [&] {
        std::unique_lock lock(mutex);
        for (;;) {
            std::size_t chunk = chunks;
            changed.wait(lock, [&] { return claimed == chunks || (chunk = claim()) != chunks; });
            if (chunk == chunks)
                return;
            makeAndKeep(lock, chunk);
        }
    };
    // No helper for a listing of one chunk: this thread makes it at once.
    const std::size_t helperCount = chunks > 0 ? std::min(std::size_t(m_threads - 1), chunks - 1) : 0;
    std::vector<std::thread> helpers;
    for (std::size_t i = 0; i < helperCount; ++i) {
        try {
            helpers.emplace_back(help);
        } catch (const std::system_error&) {
            break; // no more threads to be had: the ones started and this one make every chunk
        }
    }
    // This thread writes the chunks in order and makes one itself whenever the next to write is
    // not ready yet.
    std::unique_lock lock(mutex);
    while (written < chunks) {
        if (made[written]) {
            QByteArray text = std::move(texts[written]);
            ++written;
            changed.notify_all();
            lock.unlock();
            write(text);
            lock.lock();
        } else if (const std::size_t chunk = claim(); chunk != chunks) {
            makeAndKeep(lock, chunk);
        } else {
            changed.wait(lock);
        }
    }
    lock.unlock();
    for (std::thread& helper : helpers)
        helper.join();
}

} // namespace cli
