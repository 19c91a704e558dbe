#pragma once

#include "ui/CallFilter.h"

#include <QAbstractProxyModel>
#include <cstdint>
#include <vector>

class CallGridModel;

/// The rows of the grid that the search keeps, in the grid's order. The kept rows are
/// found in one pass over the rows (no per-row proxy bookkeeping), and a call inserted at
/// the top or changed later is tested on its own.
class CallFilterModel final : public QAbstractProxyModel
{
    Q_OBJECT
public:
    explicit CallFilterModel(CallGridModel &source, QObject *parent = nullptr);

    /// Keeps the rows that match text (as typed) and, with missedOnly, are missed calls.
    void setFilter(const QString &text, bool missedOnly);
    const CallFilter &filter() const { return m_filter; }

    /// Calls shown and calls in all; the fresh grid's empty row is no call.
    int shownCalls() const;
    int allCalls() const;
    /// The source row of a shown row.
    int sourceRow(int row) const
    {
        return m_sourceRows - 1 - static_cast<int>(m_kept[m_kept.size() - 1 - std::size_t(row)]);
    }

    QModelIndex mapToSource(const QModelIndex &proxyIndex) const override;
    QModelIndex mapFromSource(const QModelIndex &sourceIndex) const override;
    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

signals:
    /// The kept rows or the calls in all changed.
    void countsChanged();

private:
    /// Whether the source row stays.
    bool keeps(int row) const;
    void refilter();
    void onRowsInserted(int first, int last);
    void onDataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight);

    CallGridModel &m_source;
    CallFilter m_filter;
    /// Kept rows counted from the bottom of the grid (which inserting at the top leaves
    /// alone), ascending: the last one is the top row shown.
    std::vector<std::uint32_t> m_kept;
    int m_sourceRows = 0;
    /// The verdict on each caller (by the grid's caller index) in this pass: 0 not asked
    /// yet, 1 kept, 2 not. A number of a thousand rows is tested once, and the verdicts are
    /// small enough to stay in the cache.
    mutable std::vector<std::uint8_t> m_verdicts;
};
