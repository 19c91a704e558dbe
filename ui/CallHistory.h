#pragma once

#include "calllog/CallLine.h"
#include "ui/RowStore.h"

#include <deque>
#include <string_view>
#include <vector>

/// What the call list window holds: the call rows of the grid (newest first) and the
/// hidden list's items (oldest first). A row text that is both a grid row and an item is
/// stored once. Row indices here count call rows from 0; the grid's header row is not
/// counted. CallLine splits and fills the rows, so the row format is known in one place.
class CallHistory
{
public:
    static constexpr int kColumns = static_cast<int>(CallLine::kTabs) + 1;

    CallHistory();

    int rowCount() const { return static_cast<int>(m_rows.size()); }
    void insertTop(std::string_view text);
    void removeLast();
    /// The row's text with its handling field replaced by text.
    void setHandling(int row, std::string_view text);
    /// Field col of the row's text; empty for missing fields.
    std::string_view cell(int row, int col) const;
    std::string_view rowText(int row) const;
    /// Which stored text the row shows; a changed row gets a new one.
    RowStore::Id rowId(int row) const { return m_rows[static_cast<std::size_t>(row)]; }
    /// Texts stored so far: every rowId is below it.
    std::size_t storedTexts() const { return m_store.size(); }

    int itemCount() const { return static_cast<int>(m_items.size()); }
    void appendItem(std::string_view text);
    void replaceItem(int index, std::string_view text);
    std::string_view item(int index) const { return m_store.view(m_items[index]); }

private:
    static constexpr RowStore::Id kEmptyRow = 0;

    RowStore m_store;
    std::deque<RowStore::Id> m_rows;
    std::vector<RowStore::Id> m_items;
};
