#pragma once

#include "ui/CallHistory.h"

#include <QAbstractTableModel>
#include <array>

/// The grid's rows as a Qt table model. The header row of the grid is the model's
/// horizontal header; grid row r >= 1 is model row r - 1.
class CallGridModel final : public QAbstractTableModel
{
    Q_OBJECT
public:
    /// The most characters a cell shows; a longer one ends in "…".
    static constexpr qsizetype kMaxCellCharacters = 256;

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

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    CallHistory m_history;
    std::array<QString, CallHistory::kColumns> m_headers;
    std::array<Qt::Alignment, CallHistory::kColumns> m_alignments{};
    bool m_bulk = false;
};
