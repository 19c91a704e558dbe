#pragma once

#include "ui/LineStore.h"

#include <deque>
#include <string_view>
#include <vector>

/// What the call list window holds: the call rows of the grid (newest first) and the
/// hidden list of lines (oldest first). A line that is both a row and an item is stored
/// once. Row indices here count call rows from 0; the grid's header row is not counted.
class CallHistory
{
public:
    static constexpr int kColumns = 5;

    CallHistory();

    int rowCount() const { return static_cast<int>(m_rows.size()); }
    void insertTop(std::string_view line);
    void removeLast();
    /// The row's line with its field 4 replaced by text.
    void setHandling(int row, std::string_view text);
    /// Field col of the row's line; empty for missing fields.
    std::string_view cell(int row, int col) const;
    std::string_view rowLine(int row) const;

    int itemCount() const { return static_cast<int>(m_items.size()); }
    void appendItem(std::string_view line);
    void replaceItem(int index, std::string_view line);
    std::string_view item(int index) const { return m_lines.view(m_items[index]); }

private:
    static constexpr LineStore::Id kEmptyLine = 0;

    LineStore m_lines;
    std::deque<LineStore::Id> m_rows;
    std::vector<LineStore::Id> m_items;
};

/// Field col of a TAB-separated line (empty when the line has fewer fields). The last
/// grid column does not take the TABs of surplus fields. The views take rows as plain
/// text and stay apart from the call log, so this split and setHandling's join repeat the
/// row format that calllog's CallLine owns; a change to that format must be made here too.
std::string_view tabField(std::string_view line, int col);
