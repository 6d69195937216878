#include "platform/XmlNodeSlabs.h"

#include "platform/XmlDocument.h"
#include "platform/XmlErrorCapture.h"

#include <gtest/gtest.h>
#include <libxml/tree.h>
#include <string>
#include <thread>

using platform::XmlDocument;
using platform::XmlNodeSlabs;

namespace {

bool slabsInstalled() {
    platform::XmlErrorCapture::initializeLibrary();
    return XmlNodeSlabs::installed();
}

} // namespace

// Two trees built one after the other share a chunk. Freeing one, on another thread than the
// one that built it, must leave the other's nodes alone, and once both are gone (and the
// thread that cut them has ended) their chunks must be free again: a refresh every few seconds
// would otherwise grow without end.
TEST(XmlNodeSlabsTest, TreesFreedAnywhereLeaveTheirNeighboursAndGiveTheirChunksBack) {
    if (!slabsInstalled())
        GTEST_SKIP() << "libxml2 allocates with malloc in this build";
    QByteArray text("<feed>");
    for (int i = 0; i < 12000; ++i) // about 60,000 nodes: past the first huge page of chunks
        text += "\n  <item><id>" + QByteArray::number(i) + "</id></item>";
    text += "\n</feed>";
    const QByteArray expected = XmlDocument::parse(text)->toPrettyBytes();
    const std::size_t before = XmlNodeSlabs::chunksInUse();
    for (int round = 0; round < 10; ++round) {
        std::unique_ptr<XmlDocument> first, second;
        std::thread([&] {
            first = XmlDocument::parse(text);
            second = XmlDocument::parse(text);
        }).join();
        first.reset();
        ASSERT_EQ(second->toPrettyBytes(), expected) << "round " << round;
        std::thread([&] { second.reset(); }).join();
    }
    EXPECT_LE(XmlNodeSlabs::chunksInUse(), before + 1);
}

// libxml2 grows strings in place; one of a node's size sits in a chunk and has to move out.
TEST(XmlNodeSlabsTest, AStringOfANodesSizeKeepsItsTextWhenItGrows) {
    if (!slabsInstalled())
        GTEST_SKIP() << "libxml2 allocates with malloc in this build";
    const std::string text(sizeof(xmlNode) - 1, 'x');
    xmlChar* grown = xmlStrcat(xmlStrdup(reinterpret_cast<const xmlChar*>(text.c_str())),
                               reinterpret_cast<const xmlChar*>("yz"));
    EXPECT_EQ(reinterpret_cast<const char*>(grown), text + "yz");
    xmlFree(grown);
}
