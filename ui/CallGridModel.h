#pragma once

#include "ui/CallHistory.h"

#include <QAbstractTableModel>
#include <QString>
#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

/// The grid's rows as a Qt table model. The header row of the grid is the model's
/// horizontal header; grid row r >= 1 is model row r - 1. The columns are the fields of a
/// call's row with the caller's name after the caller: caller, name, MSN, date, time,
/// handling.
class CallGridModel final : public QAbstractTableModel
{
    Q_OBJECT
public:
    /// The most characters a cell shows; a longer one ends in "…".
    static constexpr qsizetype kMaxCellCharacters = 256;
    static constexpr int kNameColumn = 1;
    static constexpr int kColumns = CallHistory::kColumns + 1;
    /// The model column that shows field index of a call's row.
    static constexpr int columnOfField(int field) { return field == 0 ? 0 : field + 1; }

    /// The name of a caller (its number as the row holds it); empty when none is known.
    using NameResolver = std::function<std::string(std::string_view caller)>;

    /// What the grid knows of one caller, worked out once per distinct caller.
    struct CallerInfo
    {
        QString name;
        std::string foldedName; // the name case-folded, UTF-8, for the search
        std::string digits;     // CallNumber::digits of the caller
    };

    explicit CallGridModel(QObject *parent = nullptr);

    CallHistory &history() { return m_history; }
    const CallHistory &history() const { return m_history; }

    void insertTop(std::string_view text);
    void removeLast();
    void setHandling(int row, std::string_view text);
    void appendItem(std::string_view text) { m_history.appendItem(text); }
    void replaceItem(int index, std::string_view text) { m_history.replaceItem(index, text); }

    void setHeaderText(int column, const QString &text);
    /// Alignment of the column's data cells; without one a cell takes the grid's
    /// general alignment (numbers to the right, other text to the left).
    void setColumnAlignment(int column, Qt::Alignment alignment);

    void beginBulkInsert();
    void endBulkInsert();

    /// Where the names come from; none leaves the name column empty.
    void setNameResolver(NameResolver resolver);
    /// Asks for every name again (the phonebook changed).
    void refreshNames();
    const CallerInfo &callerInfo(std::string_view caller) const;
    const CallerInfo &callerInfo(int row) const { return m_callers[callerOf(row)]; }
    /// The dense index (below callerCount()) of the row's caller; after the first time
    /// without looking the caller up, as the search passes over every row at each keystroke.
    std::uint32_t callerOf(int row) const;
    const CallerInfo &caller(std::uint32_t index) const { return m_callers[index]; }
    std::size_t callerCount() const { return m_callers.size(); }
    /// Whether the call of the row was missed.
    bool isMissed(int row) const;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    struct Hash
    {
        using is_transparent = void;
        std::size_t operator()(std::string_view s) const
        {
            return std::hash<std::string_view>{}(s);
        }
    };

    std::string_view cellText(int row, int column) const;

    CallHistory m_history;
    std::array<QString, kColumns> m_headers;
    std::array<Qt::Alignment, kColumns> m_alignments{};
    bool m_bulk = false;
    NameResolver m_resolver;
    std::uint32_t callerIndex(std::string_view caller) const;

    // Each distinct caller once, by a dense index; and the index of each stored row text.
    mutable std::unordered_map<std::string, std::uint32_t, Hash, std::equal_to<>> m_callerIndex;
    mutable std::deque<CallerInfo> m_callers;
    mutable std::vector<std::uint32_t> m_callerOfText;
};
