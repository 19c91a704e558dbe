#include "ui/CallHistory.h"

#include <string>

CallHistory::CallHistory()
{
    // Row text 0 is the empty row that a fresh grid shows below its header.
    m_store.add({});
    m_rows.push_back(kEmptyRow);
}

void CallHistory::insertTop(std::string_view text)
{
    m_rows.push_front(m_store.add(text));
}

void CallHistory::removeLast()
{
    if (!m_rows.empty())
        m_rows.pop_back();
}

void CallHistory::setHandling(int row, std::string_view text)
{
    m_rows[row] = m_store.add(CallLine::withHandling(m_store.view(m_rows.at(row)), text));
}

std::string_view CallHistory::cell(int row, int col) const
{
    return CallLine::field(m_store.view(m_rows.at(row)), static_cast<std::size_t>(col));
}

std::string_view CallHistory::rowText(int row) const
{
    return m_store.view(m_rows.at(row));
}

void CallHistory::appendItem(std::string_view text)
{
    // The list item of a call is usually the row just inserted at the top of the grid.
    if (!m_rows.empty() && m_rows.front() != kEmptyRow && m_store.view(m_rows.front()) == text)
        m_items.push_back(m_rows.front());
    else
        m_items.push_back(m_store.add(text));
}

void CallHistory::replaceItem(int index, std::string_view text)
{
    m_items.at(index) = m_store.add(text);
}
