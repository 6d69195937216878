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
    const QString path = folder.filePath(QStringLiteral("results.csv"));
    const QString empty = folder.filePath(QStringLiteral("empty.csv"));
    ASSERT_TRUE(testing_support::writeFile(
        path, "\xEF\xBB\xBFName,Votes\r\n\"Doe, Jane\",\"1,204\"\r\n\r\nRoe,\"say \"\"hi\"\"\"\r\n"));
    ASSERT_TRUE(testing_support::writeFile(empty, QByteArray()));
    const CliRun run = runCli({QStringLiteral("csv"), path});
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_EQ(
        run.out,
        QStringLiteral("[[\"Name\",\"Votes\"],[\"Doe, Jane\",\"1,204\"],[\"Roe\",\"say \\\"hi\\\"\"]]\n"));
    EXPECT_EQ(runCli({QStringLiteral("csv"), empty}).out, QStringLiteral("[]\n"));
}

TEST(CsvCommand, ReportsUnreadableFilesAndUsageErrors) {
    const CliRun missing = runCli({QStringLiteral("csv"), QStringLiteral("/nonexistent/rows.csv")});
    EXPECT_EQ(missing.status, 1);
    EXPECT_TRUE(missing.err.contains(QStringLiteral("/nonexistent/rows.csv")));
    EXPECT_TRUE(missing.out.isEmpty());

    const CliRun two = runCli({QStringLiteral("csv"), QStringLiteral("a.csv"), QStringLiteral("b.csv")});
    EXPECT_EQ(two.status, 2);
    EXPECT_FALSE(two.err.isEmpty());

    const CliRun help = runCli({QStringLiteral("csv"), QStringLiteral("--help")});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.startsWith(QStringLiteral("Usage: graflink-cli csv")));
}

} // namespace
