#pragma once

#include "platform/XmlDocument.h"

#include <gtest/gtest.h>
#include <memory>
#include <stdexcept>

namespace xml_test {

inline const QByteArray Feed = R"(<?xml version="1.0" encoding="UTF-8"?>
<rss version="2.0">
  <channel>
    <title>Scores</title>
    <item id="a"><title>First</title><score>3</score></item>
    <item id="b"><title>Second</title><score>5</score><enclosure url="http://example.com/b.png"/></item>
    <item id="c"><title>Third</title><score>7</score></item>
    <empty/>
  </channel>
</rss>
)";

inline std::unique_ptr<platform::XmlDocument>
parseOrFail(const QByteArray& bytes,
            platform::XmlDocument::BlankNodes blanks = platform::XmlDocument::BlankNodes::Keep) {
    platform::Error error;
    auto document = platform::XmlDocument::parse(bytes, &error, blanks);
    if (!document) // ends the test, as a failed ASSERT would
        throw std::runtime_error("not parsed: " + error.localizedDescription().toStdString());
    return document;
}

} // namespace xml_test
