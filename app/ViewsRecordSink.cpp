#include "app/ViewsRecordSink.h"

#include "ui/CallViews.h"

void ViewsRecordSink::begin()
{
    m_views.beginBulkInsert();
}

void ViewsRecordSink::record(std::string_view text)
{
    m_views.GridInsertTop(text);
    m_views.ListAppendLine(text);
}

void ViewsRecordSink::end()
{
    m_views.endBulkInsert();
}

void ViewsRecordSink::removeEmptyRow()
{
    if (m_views.GridRowCount() >= 3)
        m_views.GridRemoveLast();
}

void ViewsRecordSink::load(CallViews &views, const std::function<void(LogRecordSink &)> &loader)
{
    ViewsRecordSink sink(views);
    try {
        loader(sink);
    } catch (...) {
        sink.removeEmptyRow();
        throw;
    }
    sink.removeEmptyRow();
}
