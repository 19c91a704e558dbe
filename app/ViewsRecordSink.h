#pragma once

#include "calllog/LogRecordSink.h"

#include <functional>

class CallViews;

/// Puts the records of a log load into the grid (newest on top) and the list (file
/// order), inside one bulk insert so that the grid refreshes once.
class ViewsRecordSink final : public LogRecordSink
{
public:
    explicit ViewsRecordSink(CallViews &views) : m_views(views) {}

    void begin() override;
    void record(std::string_view text) override;
    void end() override;

    /// The last step of a load: the grid's empty row goes once it has 3 or more rows.
    void removeEmptyRow();

    /// Runs the load into the views and then the last step, also when the load raises
    /// (the rows added before stay; start-up passes over the error).
    static void load(CallViews &views, const std::function<void(LogRecordSink &)> &loader);

private:
    CallViews &m_views;
};
