#pragma once

#include <cstddef>

namespace platform {

/// libxml2's allocation functions, with its tree nodes packed tightly. A feed's tree is almost all
/// nodes (a 10 MB election feed: 930,000 of them, a third the blanks between elements), each of
/// 120 bytes, which the general allocator rounds up to its 128-byte size class: 7 MB of the
/// tree, zeroed by the kernel on every refresh, would hold nothing. Allocations of exactly a
/// node's size are cut from 256 KiB chunks of one reserved address range instead, each thread
/// cutting from a chunk of its own; a chunk goes back (its pages returned to the system) when
/// the last of its nodes is freed, whichever thread frees it. Everything else goes to malloc.
///
/// Not installed under the address sanitizer (it would not see into the chunks), nor where the
/// address space is limited or the range cannot be reserved: libxml2 then allocates as before.
class XmlNodeSlabs {
  public:
    /// Hands libxml2 these functions. Once per process, before libxml2 is initialised and while
    /// no other thread uses it; memory libxml2 allocated before is freed with free() as before.
    static void install();

    /// Hands back the memory faulted in ahead of a large tree that no tree took: call it when a
    /// parse has ended.
    static void trimAhead();

    /// Whether install() took effect.
    static bool installed();
    /// Chunks holding nodes or being cut from by a thread: for tests and diagnostics.
    static std::size_t chunksInUse();

    static void* allocate(std::size_t size);
    static void release(void* memory);
    static void* reallocate(void* memory, std::size_t size);
    static char* duplicate(const char* text);
};

} // namespace platform
