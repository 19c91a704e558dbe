// The store that a log load fills: its blocks and record chunks grow in steps, and no
// step may lose or move a row.
#include "ui/RowStore.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

std::string rowFor(std::size_t i)
{
    if (i % 1000 == 7)
        return std::string(20000 + i % 3000, static_cast<char>('a' + i % 26)); // own block
    if (i % 97 == 0)
        return {};
    return "0301" + std::to_string(i) + "\t345\t30.12.2000\t14:05:09\tAnrufer hat aufgelegt";
}

TEST(RowStore, KeepsEveryRowAcrossBlockAndChunkSteps)
{
    RowStore store;
    const std::size_t kRows = 4096 + 8192 + 16384 + 32768 + 100; // into the fifth chunk
    for (std::size_t i = 0; i < kRows; ++i)
        ASSERT_EQ(store.add(rowFor(i)), i);
    EXPECT_EQ(store.size(), kRows);
    for (std::size_t i = 0; i < kRows; ++i)
        ASSERT_EQ(store.view(static_cast<RowStore::Id>(i)), rowFor(i)) << i;
}

} // namespace
