#pragma once

#include "tests/fakes/RecordingViews.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

/// The views hold exactly the items in the list and, newest first, in the grid.
inline void expectLoaded(const RecordingViews &views, const std::vector<std::string> &items)
{
    ASSERT_EQ(views.ListCount(), static_cast<int>(items.size()));
    for (std::size_t i = 0; i < items.size(); ++i)
        EXPECT_EQ(views.item(static_cast<int>(i)), items[i]) << "item " << i;
    if (items.empty()) {
        ASSERT_EQ(views.GridRowCount(), 2); // header and the empty row
        EXPECT_EQ(views.row(1), "");
        return;
    }
    ASSERT_EQ(views.GridRowCount(), static_cast<int>(items.size()) + 1);
    for (std::size_t r = 0; r < items.size(); ++r)
        EXPECT_EQ(views.row(static_cast<int>(r) + 1), items[items.size() - 1 - r]) << "row " << r;
}
