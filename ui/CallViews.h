#pragma once

#include <string_view>

/// The operations through which the rest of the program changes what the call list
/// window shows. Grid row 0 is the header; row r >= 1 is a call, newest on top.
/// Texts are UTF-8.
class CallViews
{
public:
    virtual ~CallViews() = default;

    /// Widths, alignments and header texts of the five columns.
    virtual void SetupCallGrid() = 0;
    /// New row at index 1; the row's TAB-separated fields fill columns 0 to 4.
    virtual void GridInsertTop(std::string_view row) = 0;
    /// Writes the handling text into column 4 of the given row (1 is the top call row).
    virtual void GridSetHandling(int row, std::string_view text) = 0;
    /// Number of grid rows, header row included.
    virtual int GridRowCount() const = 0;
    /// Removes the row at index GridRowCount() - 1.
    virtual void GridRemoveLast() = 0;
    /// Adds the row as the new last item of the hidden list.
    virtual void ListAppendLine(std::string_view row) = 0;
    /// Replaces the list item at index (0 is the oldest) by the row.
    virtual void ListReplaceItem(int index, std::string_view row) = 0;
    /// Number of items in the hidden list.
    virtual int ListCount() const = 0;
    /// "Anrufe seit dem letzten Start: " and the counter.
    virtual void ShowCallCount(int count) = 0;
    /// Shows the window normal-sized and active.
    virtual void RestoreWindow() = 0;

    /// Brackets a long run of GridInsertTop calls (the log load) so the view
    /// refreshes once instead of once per row.
    virtual void beginBulkInsert() {}
    virtual void endBulkInsert() {}
};
