#include "platform/StringFormat.h"

#include <cstdio>

namespace platform {

namespace {

QString numberText(const QString& flags, QChar conversion, const QVariant& value) {
    // Reassemble a C format for the number and let snprintf apply flags, width and precision.
    QByteArray cFormat = '%' + flags.toLatin1();
    char buffer[512];
    int length = 0;
    switch (conversion.toLatin1()) {
    case 'f':
    case 'F':
    case 'e':
    case 'E':
    case 'g':
    case 'G':
        cFormat += conversion.toLatin1();
        length = std::snprintf(buffer, sizeof buffer, cFormat.constData(), value.toDouble());
        break;
    case 'u':
    case 'x':
    case 'X':
    case 'o':
        cFormat += "ll";
        cFormat += conversion.toLatin1();
        length = std::snprintf(buffer, sizeof buffer, cFormat.constData(), value.toULongLong());
        break;
    default: // d, i
        cFormat += "lld";
        length = std::snprintf(buffer, sizeof buffer, cFormat.constData(), value.toLongLong());
        break;
    }
    if (length < 0)
        return {};
    return QString::fromLatin1(buffer, std::min<int>(length, sizeof buffer - 1));
}

QString objectText(const QVariant& value) {
    if (!value.isValid())
        return QStringLiteral("(null)");
    if (value.typeId() == QMetaType::Bool)
        return value.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    return value.toString();
}

} // namespace

QString StringFormat::format(const QString& formatString, const QVariantList& arguments) {
    QString out;
    out.reserve(formatString.size() + 16 * arguments.size());
    qsizetype next = 0;
    const qsizetype length = formatString.size();
    for (qsizetype i = 0; i < length; ++i) {
        const QChar c = formatString.at(i);
        if (c != QLatin1Char('%') || i + 1 >= length) {
            out += c;
            continue;
        }
        if (formatString.at(i + 1) == QLatin1Char('%')) {
            out += QLatin1Char('%');
            ++i;
            continue;
        }
        // flags, width, precision
        qsizetype j = i + 1;
        QString flags;
        while (j < length && QStringLiteral("-+ #0123456789.").contains(formatString.at(j)))
            flags += formatString.at(j++);
        // length modifiers are read and dropped: arguments carry their own width
        while (j < length && QStringLiteral("hlqLzjt").contains(formatString.at(j)))
            ++j;
        if (j >= length) {
            out += formatString.mid(i);
            break;
        }
        const QChar conversion = formatString.at(j);
        const QVariant argument = next < arguments.size() ? arguments.at(next) : QVariant();
        switch (conversion.toLatin1()) {
        case '@':
        case 's':
            out += objectText(argument);
            break;
        case 'c':
            out += argument.typeId() == QMetaType::QString ? argument.toString().left(1)
                                                           : QString(QChar(argument.toInt()));
            break;
        case 'd':
        case 'i':
        case 'u':
        case 'x':
        case 'X':
        case 'o':
        case 'f':
        case 'F':
        case 'e':
        case 'E':
        case 'g':
        case 'G':
            if (next < arguments.size())
                out += numberText(flags, conversion, argument);
            break;
        default:
            out += formatString.mid(i, j - i + 1);
            i = j;
            continue;
        }
        ++next;
        i = j;
    }
    return out;
}

} // namespace platform
