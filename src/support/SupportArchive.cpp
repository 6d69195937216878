#include "support/SupportArchive.h"

#include "support/ArchiveLibrary.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace {

struct ArchiveDeleter {
    void operator()(archive* a) const { ArchiveLibrary::get()->archive_write_free(a); }
};
struct EntryDeleter {
    void operator()(archive_entry* e) const { ArchiveLibrary::get()->archive_entry_free(e); }
};

bool fail(platform::Error* error, const QString& text) {
    platform::setError(error, platform::Error::make(platform::Error::FileDomain, 1, text));
    return false;
}

/// A file that appeared at the destination meanwhile is never replaced.
bool renameWithoutReplacing(const QByteArray& from, const QByteArray& to) {
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // A file system without that flag: a hard link fails just as well when the name is taken.
    return ::link(from.constData(), to.constData()) == 0 && ::unlink(from.constData()) == 0;
}

} // namespace

bool SupportArchive::create(const QString& folder, const QString& archivePath, platform::Error* error,
                            const Progress& progress) {
    const QFileInfo root(folder);
    if (!root.isDir() || root.isSymLink())
        return fail(error, QObject::tr("The support folder %1 does not exist.").arg(folder));

    // Only regular files and folders inside the folder itself.
    struct Item {
        QString path;
        QString name;
        bool isFolder;
        qint64 size;
    };
    std::vector<Item> items;
    qint64 total = 0;
    const QString base = root.fileName();
    items.push_back({root.absoluteFilePath(), base + QLatin1Char('/'), true, 0});
    QDirIterator it(root.absoluteFilePath(),
                    QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        if (info.isSymLink() || (!info.isDir() && !info.isFile()))
            continue;
        // The iterator does not enter linked folders (no FollowSymlinks).
        const QString relative =
            base + QLatin1Char('/') + QDir(root.absoluteFilePath()).relativeFilePath(info.absoluteFilePath());
        items.push_back({info.absoluteFilePath(), info.isDir() ? relative + QLatin1Char('/') : relative,
                         info.isDir(), info.isDir() ? 0 : info.size()});
        total += info.isDir() ? 0 : info.size();
    }

    const ArchiveLibrary* lib = ArchiveLibrary::get();
    if (!lib)
        return fail(
            error,
            QObject::tr("Could not write %1: libarchive (libarchive13) is not installed.").arg(archivePath));
    if (QFileInfo(archivePath).exists() || QFileInfo(archivePath).isSymLink())
        return fail(error, QObject::tr("%1 exists already: it is left as it is.").arg(archivePath));
    // A name of its own beside the archive, the owner's alone from the start.
    QByteArray partialName = QFile::encodeName(archivePath) + ".partial-XXXXXX";
    const int fd = ::mkstemp(partialName.data());
    if (fd < 0)
        return fail(error, QObject::tr("Could not write %1: %2")
                               .arg(archivePath, QString::fromLocal8Bit(std::strerror(errno))));
    const QString partial = QFile::decodeName(partialName);
    std::unique_ptr<archive, ArchiveDeleter> writer(lib->archive_write_new());
    lib->archive_write_set_format_zip(writer.get());
    lib->archive_write_set_options(writer.get(), "zip:compression=deflate,zip:hdrcharset=UTF-8");
    if (lib->archive_write_open_fd(writer.get(), fd) != ARCHIVE_OK) {
        const QString reason = QString::fromUtf8(lib->archive_error_string(writer.get()));
        ::close(fd);
        QFile::remove(partial);
        return fail(error, QObject::tr("Could not write %1: %2").arg(partial, reason));
    }

    qint64 done = 0;
    QByteArray buffer(256 * 1024, Qt::Uninitialized);
    bool ok = true;
    QString failure;
    for (const Item& item : items) {
        std::unique_ptr<archive_entry, EntryDeleter> entry(lib->archive_entry_new());
        lib->archive_entry_set_pathname_utf8(entry.get(), item.name.toUtf8().constData());
        lib->archive_entry_set_filetype(entry.get(), item.isFolder ? AE_IFDIR : AE_IFREG);
        lib->archive_entry_set_perm(entry.get(), item.isFolder ? 0700 : 0600);
        lib->archive_entry_set_size(entry.get(), item.size);
        lib->archive_entry_set_mtime(entry.get(), QFileInfo(item.path).lastModified().toSecsSinceEpoch(), 0);
        QFile file(item.path);
        if (!item.isFolder && !file.open(QIODevice::ReadOnly))
            continue; // unreadable files are left out; the rest still goes
        if (lib->archive_write_header(writer.get(), entry.get()) != ARCHIVE_OK) {
            ok = false;
            failure = QString::fromUtf8(lib->archive_error_string(writer.get()));
            break;
        }
        qint64 written = 0;
        while (!item.isFolder && written < item.size) {
            const qint64 read =
                file.read(buffer.data(), std::min<qint64>(buffer.size(), item.size - written));
            if (read <= 0)
                break;
            if (lib->archive_write_data(writer.get(), buffer.constData(), size_t(read)) < 0) {
                ok = false;
                failure = QString::fromUtf8(lib->archive_error_string(writer.get()));
                break;
            }
            written += read;
            done += read;
            if (progress && !progress(done, total)) {
                ok = false;
                failure = QObject::tr("Cancelled");
                break;
            }
        }
        if (!ok)
            break;
    }
    if (lib->archive_write_close(writer.get()) != ARCHIVE_OK && ok) {
        ok = false;
        failure = QString::fromUtf8(lib->archive_error_string(writer.get()));
    }
    if (::close(fd) != 0 && ok) {
        ok = false;
        failure = QString::fromLocal8Bit(std::strerror(errno));
    }
    if (!ok) {
        QFile::remove(partial);
        return fail(error, QObject::tr("Could not make the support archive: %1").arg(failure));
    }
    if (!renameWithoutReplacing(partialName, QFile::encodeName(archivePath))) {
        const QString reason = QString::fromLocal8Bit(std::strerror(errno));
        QFile::remove(partial);
        return fail(error, QObject::tr("Could not write %1: %2").arg(archivePath, reason));
    }
    return true;
}
