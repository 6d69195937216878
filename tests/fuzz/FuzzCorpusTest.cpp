// Replays every file of the fuzz corpora through the fuzz entries, so that `make test` keeps
// each past finding fixed without a clang build.
#include "DataSourceFuzzEntries.h"
#include "FuzzEntries.h"
#include "RackFuzzEntries.h"
#include "platform/PropertyList.h"
#include "testkit/TestHelpers.h"

#include <QDir>
#include <QDirIterator>
#include <functional>
#include <gtest/gtest.h>

namespace {

struct Target {
    const char* folder;
    std::function<void(const QByteArray&)> entry;
};

std::ostream& operator<<(std::ostream& os, const Target& target) {
    return os << target.folder;
}

class FuzzCorpus : public ::testing::TestWithParam<Target> {};

TEST_P(FuzzCorpus, EveryFileRunsThroughItsEntry) {
    const QDir folder(QStringLiteral(GRAFLINK_FUZZ_CORPUS_DIR "/") + QString::fromLatin1(GetParam().folder));
    ASSERT_TRUE(folder.exists()) << folder.path().toStdString();
    int files = 0;
    QDirIterator it(folder.path(), QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        SCOPED_TRACE(path.toStdString());
        GetParam().entry(testing_support::readFile(path));
        ++files;
    }
    EXPECT_GT(files, 0);
}

INSTANTIATE_TEST_SUITE_P(Targets, FuzzCorpus,
                         ::testing::Values(Target{"csv", &FuzzEntries::csv},
                                           Target{"json_key_path", &FuzzEntries::jsonKeyPath},
                                           Target{"json_path", &FuzzEntries::jsonPath},
                                           Target{"xml_inventory", &FuzzEntries::xmlInventory},
                                           Target{"document_file", &FuzzEntries::documentFile},
                                           Target{"data_source_file", &DataSourceFuzzEntries::dataSourceFile},
                                           Target{"data_source_feed", &DataSourceFuzzEntries::dataSourceFeed},
                                           Target{"recording_index", &RackFuzzEntries::recordingIndex}),
                         [](const ::testing::TestParamInfo<Target>& param) {
                             return std::string(param.param.folder);
                         });

// Fault guarded (found by fuzzing): libplist aborted on an assertion when a document's string
// or key held a NUL character; such files are now refused as damaged.
TEST(FuzzFindings, PropertyListsWithNulInAStringAreRefusedNotFatal) {
    const QDir folder(QStringLiteral(GRAFLINK_FUZZ_CORPUS_DIR "/document_file"));
    for (const char* name :
         {"regression-utf16-string-with-nul.bplist", "regression-key-with-nul.bplist",
          "regression-ascii-value-with-nul.bplist", "regression-xml-string-with-nul-byte.graflink"}) {
        platform::Error error;
        EXPECT_FALSE(platform::PropertyList::read(
            testing_support::readFile(folder.filePath(QString::fromLatin1(name))), &error))
            << name;
        EXPECT_EQ(error.domain, platform::Error::PropertyListDomain) << name;
    }
    // Sound lists of both formats still read.
    for (const char* name : {"document.binary.graflink", "document.xml.graflink"})
        EXPECT_TRUE(platform::PropertyList::read(
            testing_support::readFile(folder.filePath(QString::fromLatin1(name)))))
            << name;
}

} // namespace
