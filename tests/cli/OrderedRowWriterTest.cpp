#include "cli/OrderedRowWriter.h"

#include <QByteArray>
#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

using cli::OrderedRowWriter;

// Whatever the number of threads and however the rows' making times vary (the first rows slow,
// so that the helpers run ahead of the writing), every row is made once and written once, in
// order, in whole rows, on the calling thread.
TEST(OrderedRowWriter, WritesEveryRowOnceInOrder) {
    for (const int threads : {1, 2, 4}) {
        for (const std::size_t rows :
             {std::size_t(0), std::size_t(1), std::size_t(64), std::size_t(65), std::size_t(1500)}) {
            SCOPED_TRACE(testing::Message() << threads << " threads, " << rows << " rows");
            std::vector<std::atomic<int>> made(rows);
            QByteArray written;
            bool onlyWholeRows = true;
            bool onlyCallingThread = true;
            const std::thread::id caller = std::this_thread::get_id();
            OrderedRowWriter(threads).run(
                rows,
                [&](std::size_t row, QByteArray& text) {
                    if (row < 70 && row % 7 == 0)
                        std::this_thread::sleep_for(std::chrono::milliseconds(2));
                    ++made[row];
                    text += QByteArray::number(qulonglong(row));
                    text += '\n';
                },
                [&](QByteArray& text) {
                    onlyWholeRows = onlyWholeRows && text.endsWith('\n');
                    onlyCallingThread = onlyCallingThread && std::this_thread::get_id() == caller;
                    written += text;
                });
            QByteArray expected;
            for (std::size_t row = 0; row < rows; ++row) {
                expected += QByteArray::number(qulonglong(row));
                expected += '\n';
                EXPECT_EQ(made[row].load(), 1) << "row " << row;
            }
            EXPECT_EQ(written, expected);
            EXPECT_TRUE(onlyWholeRows);
            EXPECT_TRUE(onlyCallingThread);
        }
    }
}
