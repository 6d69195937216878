#pragma once

#include <QtGlobal>
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <libxml/parser.h>
#include <sys/mman.h>
#include <unistd.h>

namespace platform {

/// Hands libxml2 an input in memory a few kilobytes at a time (an input callback), where
/// libxml2 would copy a memory input whole before parsing it. With `releaseFrom` set (an input
/// the parse owns), the whole pages already handed over go back to the system every few
/// megabytes: libxml2 has copied them and never reads them again.
struct XmlMemoryReader {
    static constexpr qsizetype ReleaseStep = 2 * 1024 * 1024;

    const char* next;
    qsizetype left;
    char* releaseFrom = nullptr;

    static int read(void* context, char* buffer, int length) {
        auto& reader = *static_cast<XmlMemoryReader*>(context);
        const qsizetype count = std::min<qsizetype>(reader.left, std::max(length, 0));
        std::memcpy(buffer, reader.next, std::size_t(count));
        reader.next += count;
        reader.left -= count;
        if (reader.releaseFrom && reader.next - reader.releaseFrom >= ReleaseStep)
            reader.releaseConsumedPages();
        return int(count);
    }

    /// A SAX parse of this reader's text by `handler` for `user`, with nothing fetched from the
    /// network, for xmlParseDocument; null when libxml2 cannot make it.
    xmlParserCtxtPtr saxContext(xmlSAXHandler& handler, void* user) {
        xmlParserCtxtPtr context = xmlCreateIOParserCtxt(&handler, user, &XmlMemoryReader::read, nullptr,
                                                         this, XML_CHAR_ENCODING_NONE);
        if (context)
            xmlCtxtUseOptions(context, XML_PARSE_NONET);
        return context;
    }

    void releaseConsumedPages() {
        static const auto page = std::uintptr_t(sysconf(_SC_PAGESIZE));
        const std::uintptr_t begin = (std::uintptr_t(releaseFrom) + page - 1) & ~(page - 1);
        const std::uintptr_t end = std::uintptr_t(next) & ~(page - 1);
        if (end <= begin)
            return;
        // The pages read as zeros if touched again (by the allocator, when the input is freed).
        madvise(reinterpret_cast<void*>(begin), end - begin, MADV_DONTNEED);
        releaseFrom = reinterpret_cast<char*>(end);
    }
};

} // namespace platform
