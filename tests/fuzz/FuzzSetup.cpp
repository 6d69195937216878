#include "FuzzEntries.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>

void FuzzSetup::initialize(int* argc, char*** argv) {
    // Both live for the whole run; the folder is removed at exit.
    static QTemporaryDir scratch;
    const QByteArray root = scratch.path().toUtf8();
    qputenv("XDG_CONFIG_HOME", root + "/config");
    qputenv("XDG_STATE_HOME", root + "/state");
    qputenv("XDG_CACHE_HOME", root + "/cache");
    qputenv("XDG_DATA_HOME", root + "/data");
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    static QCoreApplication application(*argc, *argv);
}

void FuzzSetup::check(bool condition, const char* what) {
    if (condition)
        return;
    std::fprintf(stderr, "fuzz invariant broken: %s\n", what);
    std::abort();
}
