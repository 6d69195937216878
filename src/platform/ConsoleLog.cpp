#include "platform/ConsoleLog.h"

#include "platform/ConsoleWriter.h"
#include "platform/RedactedText.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <sys/syscall.h>
#include <unistd.h>

namespace platform {

namespace {
QByteArray processName() {
    // Never destroyed: threads still finishing work while the process exits write lines too.
    static const QByteArray* const name = new QByteArray([] {
        QByteArray path(4096, '\0');
        const ssize_t length = ::readlink("/proc/self/exe", path.data(), path.size() - 1);
        return length > 0 ? QFileInfo(QString::fromLocal8Bit(path.left(length))).fileName().toUtf8()
                          : QByteArrayLiteral("graflink");
    }());
    return *name;
}
} // namespace

QByteArray ConsoleLog::format(const QString& text) {
    const QByteArray stamp =
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")).toUtf8();
    return stamp + ' ' + processName() + '[' + QByteArray::number(::getpid()) + ':' +
           QByteArray::number(static_cast<long>(::syscall(SYS_gettid))) + "] " +
           RedactedText::fromText(text).toUtf8();
}

void ConsoleLog::write(const QString& text) {
    ConsoleWriter::standardError().write(format(text) + '\n');
}

} // namespace platform
