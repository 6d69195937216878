#include "cli/CsvCommand.h"

#include "testkit/CliRun.h"
#include "testkit/TestHelpers.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

using testing_support::CliRun;
using testing_support::runCli;

TEST(CsvCommand, PrintsTheRowsOfAFileAsJson) {
    QTemporaryDir folder;
    const QString path = folder.filePath(u"results.csv"_s);
    const QString empty = folder.filePath(u"empty.csv"_s);
    ASSERT_TRUE(testing_support::writeFile(
        path, "\xEF\xBB\xBFName,Votes\r\n\"Doe, Jane\",\"1,204\"\r\n\r\nRoe,\"say \"\"hi\"\"\"\r\n"));
    ASSERT_TRUE(testing_support::writeFile(empty, QByteArray()));
    const CliRun run = runCli({u"csv"_s, path});
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, u"[[\"Name\",\"Votes\"],[\"Doe, Jane\",\"1,204\"],[\"Roe\",\"say \\\"hi\\\"\"]]\n"_s);
    EXPECT_EQ(runCli({u"csv"_s, empty}).out, u"[]\n"_s);
}

TEST(CsvCommand, ReportsUnreadableFilesAndUsageErrors) {
    const CliRun missing = runCli({u"csv"_s, u"/nonexistent/rows.csv"_s});
    EXPECT_EQ(missing.status, 1);
    EXPECT_TRUE(missing.err.contains(u"/nonexistent/rows.csv"_s));
    EXPECT_TRUE(missing.out.isEmpty());

    const CliRun two = runCli({u"csv"_s, u"a.csv"_s, u"b.csv"_s});
    EXPECT_EQ(two.status, 2);
    EXPECT_FALSE(two.err.isEmpty());
}

} // namespace
