#pragma once

#include <QString>

/// Keeps only the characters the XML 1.0 Char production allows (tab, line feed, carriage
/// return, U+0020–U+D7FF, U+E000–U+FFFD, U+10000–U+10FFFF). Feed values are untrusted, and one
/// control character anywhere makes the whole playlist unreadable to an XML parser.
class XmlCharacterFilter {
  public:
    static bool isXmlCharacter(char32_t c);
    /// `text` without the characters XML 1.0 does not allow; unpaired surrogates are dropped too.
    static QString cleaned(const QString& text);
};
