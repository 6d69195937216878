// Settings of the executables' allocator (mimalloc), applied by a constructor before main().
// Linked into every program, test and benchmark when GRAFLINK_ALLOCATOR is mimalloc.
#include <cstdlib>
#include <mimalloc.h>

namespace {

// A refresh fills about a hundred megabytes of fresh memory; on a virtual machine each 4 KiB page
// fault costs microseconds. Transparent huge pages for the allocator's segments cut a refresh's
// page faults about fivefold (docs/performance.md). MIMALLOC_LARGE_OS_PAGES still decides when set.
__attribute__((constructor)) void useHugePages() {
    if (!std::getenv("MIMALLOC_LARGE_OS_PAGES"))
        mi_option_enable(mi_option_large_os_pages);
}

} // namespace
