#include "ui/CallHistory.h"

#include <string>

std::string_view tabField(std::string_view line, int col)
{
    std::size_t start = 0;
    for (int i = 0; i < col; ++i) {
        const std::size_t tab = line.find('\t', start);
        if (tab == std::string_view::npos)
            return {};
        start = tab + 1;
    }
    const std::size_t end = line.find('\t', start);
    return line.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
}

CallHistory::CallHistory()
{
    // Line 0 is the empty row that a fresh grid shows below its header.
    m_lines.add({});
    m_rows.push_back(kEmptyLine);
}

void CallHistory::insertTop(std::string_view line)
{
    m_rows.push_front(m_lines.add(line));
}

void CallHistory::removeLast()
{
    if (!m_rows.empty())
        m_rows.pop_back();
}

void CallHistory::setHandling(int row, std::string_view text)
{
    const std::string_view line = m_lines.view(m_rows.at(row));
    std::string updated;
    for (int col = 0; col < kColumns - 1; ++col) {
        updated += tabField(line, col);
        updated += '\t';
    }
    updated += text;
    m_rows[row] = m_lines.add(updated);
}

std::string_view CallHistory::cell(int row, int col) const
{
    return tabField(m_lines.view(m_rows.at(row)), col);
}

std::string_view CallHistory::rowLine(int row) const
{
    return m_lines.view(m_rows.at(row));
}

void CallHistory::appendItem(std::string_view line)
{
    // The list item of a call is usually the line just inserted at the top of the grid.
    if (!m_rows.empty() && m_rows.front() != kEmptyLine && m_lines.view(m_rows.front()) == line)
        m_items.push_back(m_rows.front());
    else
        m_items.push_back(m_lines.add(line));
}

void CallHistory::replaceItem(int index, std::string_view line)
{
    m_items.at(index) = m_lines.add(line);
}
