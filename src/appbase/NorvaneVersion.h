#pragma once

#include <QString>

/// A version as the maker numbers them: "2.1.3", "2.2b3" (beta 3 of 2.2), "2.1.0b1". Parsing
/// splits at "."; the first part is the major number; a second or third part that holds a "b"
/// gives the number before it and a beta number after it. Missing parts are 0, numbers are read
/// as leading integers.
struct NorvaneVersion {
    int major = 0;
    int minor = 0;
    int patch = 0;
    int betaNumber = 0;
    bool isBeta = false;
    /// The text as received.
    QString text = QStringLiteral("0.0.0");

    static NorvaneVersion parse(const QString& text);
    /// Major, then minor, then patch; with those equal a release is newer than a beta, and the
    /// higher beta number is newer. Negative, zero or positive as `a` is older, the same or newer.
    static int compare(const NorvaneVersion& a, const NorvaneVersion& b);
    /// The newer of the two; the second when nothing differs.
    static const NorvaneVersion& newer(const NorvaneVersion& a, const NorvaneVersion& b) {
        return compare(a, b) > 0 ? a : b;
    }
};
