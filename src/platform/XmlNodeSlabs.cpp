#include "platform/XmlNodeSlabs.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <libxml/tree.h>
#include <libxml/xmlmemory.h>
#include <mutex>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <thread>

namespace platform {

namespace {

constexpr std::size_t NodeBytes = sizeof(xmlNode);
constexpr std::size_t ChunkBytes = std::size_t(256) * 1024;
constexpr std::size_t SlotsPerChunk = ChunkBytes / NodeBytes;
constexpr std::size_t HugePageBytes = std::size_t(2) * 1024 * 1024;
// About 35 million nodes, a feed of several hundred megabytes; past that, nodes come from malloc.
constexpr std::size_t RangeBytes = std::size_t(4) * 1024 * 1024 * 1024;
constexpr std::size_t ChunkCount = RangeBytes / ChunkBytes;
// Added to a chunk's count while a thread cuts nodes from it, so that frees on other threads
// cannot bring the count to zero before the thread has added what it cut.
constexpr std::int64_t Owned = std::int64_t(1) << 40;

// Set once by install(), before libxml2 is given the functions that read them.
char* g_range = nullptr;
std::atomic<std::int64_t> g_live[ChunkCount];
std::atomic<std::size_t> g_fresh{0}; // chunks from here on were never cut from
std::atomic<std::size_t> g_inUse{0};
std::mutex g_returnedMutex;
std::uint32_t g_returned[ChunkCount]; // chunks whose nodes were all freed, to be cut again
std::size_t g_returnedCount = 0;

// Faults in the chunks a large tree takes next, on another core: the kernel clears every fresh
// page, which on a virtual machine is the larger part of a large parse. One huge page ahead of the
// chunks taken; what a finished tree left unused goes back (trim). The chunks of the first huge
// page (small trees) are left alone.
class Prefault {
  public:
    static constexpr std::size_t Ahead = HugePageBytes / ChunkBytes;

    static void ahead(std::size_t chunk) {
        // Never destroyed: its thread outlives the exit.
        std::call_once(s_started, [] { s_instance = new Prefault; });
        s_instance.load()->request(chunk + 1 + Ahead);
    }

    // The chunks faulted in ahead that no thread has taken are taken here and handed back.
    static void trim() {
        Prefault* prefault = s_instance.load();
        if (!prefault || !g_range)
            return;
        std::lock_guard lock(prefault->m_mutex);
        std::size_t fresh = g_fresh.load(std::memory_order_relaxed);
        const std::size_t end = prefault->m_requested;
        if (end <= fresh || !g_fresh.compare_exchange_strong(fresh, end, std::memory_order_relaxed))
            return;
        prefault->m_skipTo = end; // not to be faulted in after all
        madvise(g_range + fresh * ChunkBytes, (end - fresh) * ChunkBytes, MADV_DONTNEED);
        std::lock_guard returnedLock(g_returnedMutex);
        for (std::size_t chunk = end; chunk-- > fresh;)
            g_returned[g_returnedCount++] = std::uint32_t(chunk);
    }

  private:
    static inline std::once_flag s_started;
    static inline std::atomic<Prefault*> s_instance{nullptr};

    Prefault() {
        std::thread([this] { run(); }).detach();
    }

    void request(std::size_t end) {
        {
            std::lock_guard lock(m_mutex);
            if (end <= m_requested)
                return;
            m_requested = std::min(end, ChunkCount);
        }
        m_wake.notify_one();
    }

    [[noreturn]] void run() {
        pthread_setname_np(pthread_self(), "XML prefault");
        std::size_t done = Ahead; // the first huge page stays in small pages
        for (;;) {
            std::size_t end;
            {
                std::unique_lock lock(m_mutex);
                m_wake.wait(lock, [&] { return m_requested > std::max(done, m_skipTo); });
                done = std::max(done, m_skipTo);
                end = m_requested;
            }
            // Populating changes no byte: pages already in use are left as they are.
            madvise(g_range + done * ChunkBytes, (end - done) * ChunkBytes, MADV_POPULATE_WRITE);
            done = end;
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::size_t m_requested = 0;
    std::size_t m_skipTo = 0;
};

struct Cursor {
    char* next = nullptr;
    char* end = nullptr;
    std::size_t chunk = 0;
    std::int64_t cut = 0;
};

// Read on every node allocation: kept in the static TLS block (the library is never loaded late).
thread_local Cursor t_cursor __attribute__((tls_model("initial-exec")));
thread_local bool t_ended __attribute__((tls_model("initial-exec"))) = false;

bool inRange(const void* memory) {
    return g_range && std::uintptr_t(memory) - std::uintptr_t(g_range) < RangeBytes;
}

void giveBack(std::size_t chunk) {
    // Whatever the chunk held is garbage now; its pages go back zeroed to the system.
    madvise(g_range + chunk * ChunkBytes, ChunkBytes, MADV_DONTNEED);
    g_inUse.fetch_sub(1, std::memory_order_relaxed);
    std::lock_guard lock(g_returnedMutex);
    g_returned[g_returnedCount++] = std::uint32_t(chunk);
}

void retire(Cursor& cursor) {
    if (!cursor.end)
        return;
    const std::int64_t change = cursor.cut - Owned;
    const std::size_t chunk = cursor.chunk;
    cursor = Cursor{};
    if (g_live[chunk].fetch_add(change, std::memory_order_acq_rel) + change == 0)
        giveBack(chunk);
}

// The thread's chunk is retired when the thread ends; nodes it allocates after that (from other
// thread-local destructors) come from malloc.
struct ThreadEnd {
    ~ThreadEnd() {
        retire(t_cursor);
        t_ended = true;
    }
};

void* cutFromNextChunk(Cursor& cursor) {
    if (!g_range || t_ended)
        return nullptr;
    retire(cursor);
    std::size_t chunk = ChunkCount;
    {
        std::lock_guard lock(g_returnedMutex);
        if (g_returnedCount > 0)
            chunk = g_returned[--g_returnedCount];
    }
    if (chunk == ChunkCount) {
        chunk = g_fresh.fetch_add(1, std::memory_order_relaxed);
        if (chunk >= ChunkCount)
            return nullptr;
        if (chunk >= Prefault::Ahead)
            Prefault::ahead(chunk);
    }
    static thread_local ThreadEnd threadEnd;
    (void)threadEnd;
    g_live[chunk].store(Owned, std::memory_order_relaxed);
    g_inUse.fetch_add(1, std::memory_order_relaxed);
    char* base = g_range + chunk * ChunkBytes;
    cursor = Cursor{base + NodeBytes, base + SlotsPerChunk * NodeBytes, chunk, 1};
    return base;
}

} // namespace

void XmlNodeSlabs::install() {
#if !defined(__SANITIZE_ADDRESS__)
    // The range is reserved, not committed; still, under a limit on the address space it would
    // count in full.
    rlimit limit{};
    if (g_range || getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur != RLIM_INFINITY)
        return;
    void* reserved = mmap(nullptr, RangeBytes + HugePageBytes, PROT_READ | PROT_WRITE,
                          MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (reserved == MAP_FAILED)
        return;
    // Chunks on the huge-page grid: past the first few (the small trees of documents and settings,
    // which should not cost 2 MiB), a large tree faults its memory in 2 MiB at a time, as the
    // general allocator's own segments do, instead of 4 KiB at a time.
    const std::uintptr_t aligned =
        (std::uintptr_t(reserved) + HugePageBytes - 1) & ~std::uintptr_t(HugePageBytes - 1);
    g_range = reinterpret_cast<char*>(aligned);
    madvise(g_range + HugePageBytes, RangeBytes - HugePageBytes, MADV_HUGEPAGE);
    xmlMemSetup(&release, &allocate, &reallocate, &duplicate);
#endif
}

void XmlNodeSlabs::trimAhead() {
    Prefault::trim();
}

bool XmlNodeSlabs::installed() {
    return g_range != nullptr;
}

std::size_t XmlNodeSlabs::chunksInUse() {
    return g_inUse.load(std::memory_order_relaxed);
}

void* XmlNodeSlabs::allocate(std::size_t size) {
    if (size == NodeBytes) {
        Cursor& cursor = t_cursor;
        if (cursor.next != cursor.end) {
            void* node = cursor.next;
            cursor.next += NodeBytes;
            ++cursor.cut;
            return node;
        }
        if (void* node = cutFromNextChunk(cursor))
            return node;
    }
    return std::malloc(size);
}

void XmlNodeSlabs::release(void* memory) {
    if (!inRange(memory)) {
        std::free(memory);
        return;
    }
    const std::size_t chunk = std::size_t(static_cast<char*>(memory) - g_range) / ChunkBytes;
    if (g_live[chunk].fetch_sub(1, std::memory_order_acq_rel) == 1)
        giveBack(chunk);
}

void* XmlNodeSlabs::reallocate(void* memory, std::size_t size) {
    if (!inRange(memory))
        return std::realloc(memory, size);
    if (size <= NodeBytes)
        return memory;
    void* moved = std::malloc(size);
    if (!moved)
        return nullptr; // as realloc: the old block stays
    std::memcpy(moved, memory, NodeBytes);
    release(memory);
    return moved;
}

char* XmlNodeSlabs::duplicate(const char* text) {
    const std::size_t size = std::strlen(text) + 1;
    auto* copy = static_cast<char*>(allocate(size));
    if (copy)
        std::memcpy(copy, text, size);
    return copy;
}

} // namespace platform
