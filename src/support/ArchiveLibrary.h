#pragma once

#include <archive.h>
#include <archive_entry.h>

/// libarchive, loaded when a support archive is first written rather than when the program starts
/// (it and the compressors behind it are a share of every command's start). The functions the
/// archive writer calls, resolved from the loaded library; the declarations are libarchive's own.
///
/// Threads: get() may be called from any thread; the library stays loaded for the process's life.
struct ArchiveLibrary {
#define GRAFLINK_ARCHIVE_FUNCTIONS(X)                                                                        \
    X(archive_write_new)                                                                                     \
    X(archive_write_free)                                                                                    \
    X(archive_write_set_format_zip)                                                                          \
    X(archive_write_set_options)                                                                             \
    X(archive_write_open_fd)                                                                                 \
    X(archive_write_header)                                                                                  \
    X(archive_write_data)                                                                                    \
    X(archive_write_close)                                                                                   \
    X(archive_error_string)                                                                                  \
    X(archive_entry_new)                                                                                     \
    X(archive_entry_free)                                                                                    \
    X(archive_entry_set_pathname_utf8)                                                                       \
    X(archive_entry_set_filetype)                                                                            \
    X(archive_entry_set_perm)                                                                                \
    X(archive_entry_set_size)                                                                                \
    X(archive_entry_set_mtime)
#define GRAFLINK_ARCHIVE_MEMBER(name) decltype(&::name) name = nullptr;
    GRAFLINK_ARCHIVE_FUNCTIONS(GRAFLINK_ARCHIVE_MEMBER)
#undef GRAFLINK_ARCHIVE_MEMBER

    /// The library, or null when it cannot be loaded (not installed).
    static const ArchiveLibrary* get();
};
