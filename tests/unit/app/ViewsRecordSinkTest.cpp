// A log load as the views see it: the grid newest on top, the list in file order, one bulk
// insert, and the grid's empty row gone once it has 3 or more rows, also after a failure.
#include "app/ViewsRecordSink.h"

#include "calllog/CallLog.h"
#include "tests/fakes/RecordingViews.h"
#include "tests/support/TempDir.h"
#include "tests/unit/app/LoadedViews.h"
#include "tests/unit/calllog/LoadCases.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <stdexcept>
#include <system_error>

namespace fs = std::filesystem;

namespace {

/// Counts the bulk brackets around the recorded view calls.
class BulkCountingViews final : public CallViews
{
public:
    RecordingViews inner;
    int begins = 0;
    int ends = 0;
    int insertsOutsideBulk = 0;

    void SetupCallGrid() override {}
    void GridInsertTop(std::string_view line) override
    {
        insertsOutsideBulk += begins == ends;
        inner.GridInsertTop(line);
    }
    void GridSetHandling(int row, std::string_view text) override
    {
        inner.GridSetHandling(row, text);
    }
    int GridRowCount() const override { return inner.GridRowCount(); }
    void GridRemoveLast() override { inner.GridRemoveLast(); }
    void ListAppendLine(std::string_view line) override { inner.ListAppendLine(line); }
    void ListReplaceItem(int index, std::string_view line) override
    {
        inner.ListReplaceItem(index, line);
    }
    int ListCount() const override { return inner.ListCount(); }
    void ShowCallCount(int) override {}
    void RestoreWindow() override {}
    void beginBulkInsert() override { ++begins; }
    void endBulkInsert() override { ++ends; }
};

void loadFile(const fs::path &path, CallViews &views)
{
    CallLog log(path.string());
    ViewsRecordSink::load(views, [&](LogRecordSink &sink) { log.LogLoad(sink); });
}

class ViewsLoadCases : public ::testing::TestWithParam<LoadCase>
{
};

TEST_P(ViewsLoadCases, LoadsFileIntoGridAndList)
{
    TempDir tmp;
    const fs::path path = fs::path(tmp.path()) / "caller.log";
    std::ofstream(path, std::ios::binary) << GetParam().bytes;
    RecordingViews views;
    loadFile(path, views);
    expectLoaded(views, GetParam().items);
}

INSTANTIATE_TEST_SUITE_P(ViewsRecordSink, ViewsLoadCases, ::testing::ValuesIn(loadCases()),
                         [](const auto &param) { return std::string(param.param.name); });

TEST(ViewsRecordSink, MissingFileKeepsEmptyRow)
{
    TempDir tmp;
    RecordingViews views;
    loadFile(fs::path(tmp.path()) / "caller.log", views);
    expectLoaded(views, {});
}

TEST(ViewsRecordSink, InsertsInsideOneBulkInsertAndGridBeforeList)
{
    BulkCountingViews views;
    ViewsRecordSink::load(views, [](LogRecordSink &sink) {
        sink.begin();
        sink.record(kLineA);
        sink.record(kLineB);
        sink.end();
    });
    EXPECT_EQ(views.begins, 1);
    EXPECT_EQ(views.ends, 1);
    EXPECT_EQ(views.insertsOutsideBulk, 0);
    const std::vector<std::string> expected = {
        "GridInsertTop:" + kLineA, "ListAppendLine:" + kLineA, "GridInsertTop:" + kLineB,
        "ListAppendLine:" + kLineB, "GridRemoveLast"};
    EXPECT_EQ(views.inner.calls, expected);
    expectLoaded(views.inner, {kLineA, kLineB});
}

// A load that raises part-way keeps its rows, tidies the grid as after a whole load and
// passes the error on.
TEST(ViewsRecordSink, FailedLoadKeepsRowsAndRemovesEmptyRow)
{
    RecordingViews views;
    const auto failingLoad = [](LogRecordSink &sink) {
        sink.begin();
        sink.record(kLineA);
        sink.record(kLineB);
        sink.end();
        throw std::system_error(EIO, std::generic_category(), "caller.log");
    };
    EXPECT_THROW(ViewsRecordSink::load(views, failingLoad), std::system_error);
    expectLoaded(views, {kLineA, kLineB});
}

TEST(ViewsRecordSink, FailedLoadWithoutRowsKeepsEmptyRow)
{
    RecordingViews views;
    EXPECT_THROW(
        ViewsRecordSink::load(views, [](LogRecordSink &) { throw std::runtime_error("x"); }),
        std::runtime_error);
    expectLoaded(views, {});
}

// The real reader failing on its first read (/proc/self/mem has nothing mapped at 0).
TEST(ViewsRecordSink, ReadFailureOfTheFileRaisesAndKeepsEmptyRow)
{
    TempDir tmp;
    const fs::path path = fs::path(tmp.path()) / "caller.log";
    fs::create_symlink("/proc/self/mem", path);
    RecordingViews views;
    EXPECT_THROW(loadFile(path, views), std::system_error);
    expectLoaded(views, {});
}

} // namespace
