// Replays every file of the fuzz corpora through the fuzz entries, so that `make test` keeps
// each past finding fixed without a clang build.
#include "FuzzEntries.h"
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

} // namespace
