#include "export/XmlCharacterFilter.h"

bool XmlCharacterFilter::isXmlCharacter(char32_t c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
           (c >= 0x10000 && c <= 0x10FFFF);
}

QString XmlCharacterFilter::cleaned(const QString& text) {
    // Almost every value is clean: copy only from the first character that has to go.
    QString result;
    bool copying = false;
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const QChar c = text.at(i);
        const bool pair = c.isHighSurrogate() && i + 1 < size && text.at(i + 1).isLowSurrogate();
        const bool keep = pair || (!c.isSurrogate() && isXmlCharacter(c.unicode()));
        if (!keep && !copying) {
            result.reserve(size);
            result.append(QStringView(text).first(i));
            copying = true;
        }
        if (copying && keep)
            result.append(QStringView(text).sliced(i, pair ? 2 : 1));
        if (pair)
            ++i;
    }
    return copying ? result : text;
}
