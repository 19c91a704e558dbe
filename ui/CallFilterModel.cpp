#include "ui/CallFilterModel.h"

#include "calllog/CallLine.h"
#include "ui/CallGridModel.h"

#include <algorithm>

CallFilterModel::CallFilterModel(CallGridModel &source, QObject *parent)
    : QAbstractProxyModel(parent), m_source(source)
{
    QAbstractProxyModel::setSourceModel(&source);
    connect(&source, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex &, int first, int last) { onRowsInserted(first, last); });
    // Only the bottom row is ever removed (the fresh grid's empty row after a load): every
    // row's place from the bottom moves, so the pass runs again.
    connect(&source, &QAbstractItemModel::rowsRemoved, this, [this] {
        beginResetModel();
        refilter();
        endResetModel();
    });
    connect(&source, &QAbstractItemModel::modelReset, this, [this] {
        beginResetModel();
        refilter();
        endResetModel();
    });
    connect(&source, &QAbstractItemModel::dataChanged, this, &CallFilterModel::onDataChanged);
    connect(&source, &QAbstractItemModel::headerDataChanged, this,
            &QAbstractItemModel::headerDataChanged);
    refilter();
}

void CallFilterModel::setFilter(const QString &text, bool missedOnly)
{
    beginResetModel();
    m_filter = CallFilter(text.trimmed().toCaseFolded().toStdString(), missedOnly);
    refilter();
    endResetModel();
}

bool CallFilterModel::keeps(int row) const
{
    const std::string_view text = m_source.history().rowText(row);
    if (text.empty())
        return m_filter.isEmpty(); // the fresh grid's empty row
    if (m_filter.isEmpty())
        return true;
    if (m_filter.missedOnly() && !m_source.isMissed(row))
        return false;
    if (!m_filter.hasText())
        return true;
    const std::uint32_t caller = m_source.callerOf(row);
    if (caller >= m_verdicts.size())
        m_verdicts.resize(m_source.callerCount(), 0);
    std::uint8_t &verdict = m_verdicts[caller];
    if (verdict == 0) {
        const CallGridModel::CallerInfo &info = m_source.caller(caller);
        verdict =
            m_filter.matchesCaller(CallLine::field(text, 0), info.digits, info.foldedName) ? 1 : 2;
    }
    if (verdict == 1)
        return true;
    // The called number and the date, found in one scan of the row.
    const std::size_t msn = text.find('\t') + 1;
    const std::size_t date = msn == 0 ? std::string_view::npos : text.find('\t', msn) + 1;
    if (msn == 0 || date == 0)
        return m_filter.matchesField(msn == 0 ? std::string_view() : text.substr(msn));
    return m_filter.matchesField(text.substr(msn, date - 1 - msn)) ||
           m_filter.matchesField(text.substr(date, text.find('\t', date) - date));
}

void CallFilterModel::refilter()
{
    m_verdicts.assign(m_source.callerCount(), 0);
    m_sourceRows = m_source.rowCount();
    m_kept.clear();
    if (m_filter.isEmpty()) {
        m_kept.resize(static_cast<std::size_t>(m_sourceRows));
        for (std::size_t i = 0; i < m_kept.size(); ++i)
            m_kept[i] = static_cast<std::uint32_t>(i);
    } else {
        for (int row = m_sourceRows - 1; row >= 0; --row) {
            if (keeps(row))
                m_kept.push_back(static_cast<std::uint32_t>(m_sourceRows - 1 - row));
        }
    }
    emit countsChanged();
}

void CallFilterModel::onRowsInserted(int first, int last)
{
    // Rows come in at the top, one at a time (a load inserts in bulk inside a reset).
    if (first != 0) {
        beginResetModel();
        refilter();
        endResetModel();
        return;
    }
    const int added = last - first + 1;
    m_sourceRows += added;
    for (int row = last; row >= first; --row) {
        if (keeps(row)) {
            beginInsertRows({}, 0, 0);
            m_kept.push_back(static_cast<std::uint32_t>(m_sourceRows - 1 - row));
            endInsertRows();
        }
    }
    emit countsChanged();
}

void CallFilterModel::onDataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight)
{
    if (m_filter.isEmpty()) {
        emit dataChanged(index(topLeft.row(), topLeft.column()),
                         index(bottomRight.row(), bottomRight.column()));
        return;
    }
    // Many rows at once (names asked for again, an alignment set) take one pass.
    if (bottomRight.row() > topLeft.row()) {
        beginResetModel();
        refilter();
        endResetModel();
        return;
    }
    for (int row = topLeft.row(); row <= bottomRight.row(); ++row) {
        const auto fromBottom = static_cast<std::uint32_t>(m_sourceRows - 1 - row);
        const auto at = std::lower_bound(m_kept.begin(), m_kept.end(), fromBottom);
        const bool was = at != m_kept.end() && *at == fromBottom;
        // A changed row may be a new caller's (or its name may have changed).
        m_verdicts.clear();
        const bool now = keeps(row);
        const int shownRow = static_cast<int>(m_kept.end() - at) - (was ? 1 : 0);
        if (was && now) {
            emit dataChanged(index(shownRow, topLeft.column()),
                             index(shownRow, bottomRight.column()));
        } else if (was) {
            beginRemoveRows({}, shownRow, shownRow);
            m_kept.erase(at);
            endRemoveRows();
            emit countsChanged();
        } else if (now) {
            beginInsertRows({}, shownRow, shownRow);
            m_kept.insert(at, fromBottom);
            endInsertRows();
            emit countsChanged();
        }
    }
}

int CallFilterModel::allCalls() const
{
    const int rows = m_source.rowCount();
    const bool emptyRow = rows > 0 && m_source.history().rowText(rows - 1).empty();
    return rows - (emptyRow ? 1 : 0);
}

int CallFilterModel::shownCalls() const
{
    const bool emptyRow = !m_kept.empty() && m_kept.front() == 0 &&
                          m_source.history().rowText(m_sourceRows - 1).empty();
    return static_cast<int>(m_kept.size()) - (emptyRow ? 1 : 0);
}

QModelIndex CallFilterModel::mapToSource(const QModelIndex &proxyIndex) const
{
    if (!proxyIndex.isValid() || proxyIndex.row() >= rowCount())
        return {};
    return m_source.index(sourceRow(proxyIndex.row()), proxyIndex.column());
}

QModelIndex CallFilterModel::mapFromSource(const QModelIndex &sourceIndex) const
{
    if (!sourceIndex.isValid())
        return {};
    const auto fromBottom = static_cast<std::uint32_t>(m_sourceRows - 1 - sourceIndex.row());
    const auto at = std::lower_bound(m_kept.begin(), m_kept.end(), fromBottom);
    if (at == m_kept.end() || *at != fromBottom)
        return {};
    return index(static_cast<int>(m_kept.end() - at) - 1, sourceIndex.column());
}

QModelIndex CallFilterModel::index(int row, int column, const QModelIndex &parent) const
{
    if (parent.isValid() || row < 0 || row >= rowCount() || column < 0 || column >= columnCount())
        return {};
    return createIndex(row, column);
}

QModelIndex CallFilterModel::parent(const QModelIndex &) const
{
    return {};
}

int CallFilterModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_kept.size());
}

int CallFilterModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_source.columnCount();
}

QVariant CallFilterModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal)
        return m_source.headerData(section, orientation, role);
    return QAbstractProxyModel::headerData(section, orientation, role);
}
