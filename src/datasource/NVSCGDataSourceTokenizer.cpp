#include "datasource/NVSCGDataSourceTokenizer.h"

std::vector<NVSCGDataSourceTokenizer::Item> NVSCGDataSourceTokenizer::split(QStringView text) {
    std::vector<Item> items;
    const qsizetype length = text.size();
    qsizetype position = 0;
    while (position < length) {
        const qsizetype open = text.indexOf(u"<#", position);
        const qsizetype close = open < 0 ? -1 : text.indexOf(u"!>", open + 2);
        if (close < 0)
            break;
        if (open > position)
            items.push_back({false, text.mid(position, open - position)});
        items.push_back({true, text.mid(open, close + 2 - open)});
        position = close + 2;
    }
    if (position < length)
        items.push_back({false, text.mid(position)});
    return items;
}

bool NVSCGDataSourceTokenizer::isToken(const QString& text) {
    return text.startsWith(QLatin1String("<#")) && text.endsWith(QLatin1String("!>"));
}

QString NVSCGDataSourceTokenizer::tokenString(const QString& tokenText) {
    if (tokenText.size() < 4)
        return QStringLiteral("");
    return tokenText.mid(2, tokenText.size() - 4);
}

QString NVSCGDataSourceTokenizer::tokenCode(const QString& uniqueID) {
    return QString(QStringLiteral("<#") + uniqueID + QStringLiteral("!>"));
}
