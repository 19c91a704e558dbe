#include "ui/CallGridModel.h"

#include "calllog/MissedCall.h"
#include "ui/CallNumber.h"

#include <QColor>
#include <QFont>
#include <algorithm>

CallGridModel::CallGridModel(QObject *parent) : QAbstractTableModel(parent) {}

void CallGridModel::insertTop(std::string_view text)
{
    if (!m_bulk)
        beginInsertRows({}, 0, 0);
    m_history.insertTop(text);
    if (!m_bulk)
        endInsertRows();
}

void CallGridModel::removeLast()
{
    const int last = m_history.rowCount() - 1;
    if (last < 0)
        return;
    if (!m_bulk)
        beginRemoveRows({}, last, last);
    m_history.removeLast();
    if (!m_bulk)
        endRemoveRows();
}

void CallGridModel::setHandling(int row, std::string_view text)
{
    m_history.setHandling(row, text);
    if (!m_bulk)
        emit dataChanged(index(row, 0), index(row, kColumns - 1));
}

void CallGridModel::setHeaderText(int column, const QString &text)
{
    m_headers.at(column) = text;
    emit headerDataChanged(Qt::Horizontal, column, column);
}

void CallGridModel::setColumnAlignment(int column, Qt::Alignment alignment)
{
    m_alignments.at(column) = alignment;
    if (m_history.rowCount() > 0)
        emit dataChanged(index(0, column), index(m_history.rowCount() - 1, column));
}

void CallGridModel::beginBulkInsert()
{
    if (m_bulk)
        return;
    beginResetModel();
    m_bulk = true;
}

void CallGridModel::endBulkInsert()
{
    if (!m_bulk)
        return;
    m_bulk = false;
    endResetModel();
}

int CallGridModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_history.rowCount();
}

int CallGridModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : kColumns;
}

void CallGridModel::setNameResolver(NameResolver resolver)
{
    m_resolver = std::move(resolver);
    refreshNames();
}

void CallGridModel::refreshNames()
{
    m_callerIndex.clear();
    m_callers.clear();
    m_callerOfText.clear();
    // The search looks at the names anew as well.
    if (m_history.rowCount() > 0)
        emit dataChanged(index(0, kNameColumn), index(m_history.rowCount() - 1, kNameColumn));
}

const CallGridModel::CallerInfo &CallGridModel::callerInfo(std::string_view caller) const
{
    return m_callers[callerIndex(caller)];
}

std::uint32_t CallGridModel::callerOf(int row) const
{
    constexpr std::uint32_t kUnknown = ~std::uint32_t{0};
    const RowStore::Id id = m_history.rowId(row);
    if (id >= m_callerOfText.size())
        m_callerOfText.resize(std::max(m_history.storedTexts(), std::size_t{id} + 1), kUnknown);
    std::uint32_t &index = m_callerOfText[id];
    if (index == kUnknown)
        index = callerIndex(m_history.cell(row, 0));
    return index;
}

std::uint32_t CallGridModel::callerIndex(std::string_view caller) const
{
    if (const auto it = m_callerIndex.find(caller); it != m_callerIndex.end())
        return it->second;
    CallerInfo info;
    if (m_resolver) {
        const std::string name = m_resolver(caller);
        info.name = QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
        info.foldedName = info.name.toCaseFolded().toStdString();
    }
    info.digits = CallNumber::digits(caller);
    const auto index = static_cast<std::uint32_t>(m_callers.size());
    m_callers.push_back(std::move(info));
    m_callerIndex.emplace(std::string(caller), index);
    return index;
}

bool CallGridModel::isMissed(int row) const
{
    return isMissedCall(m_history.cell(row, CallLine::kTabs));
}

std::string_view CallGridModel::cellText(int row, int column) const
{
    return m_history.cell(row, column == 0 ? 0 : column - 1);
}

QVariant CallGridModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_history.rowCount())
        return {};
    if (role == Qt::FontRole && isMissed(index.row())) {
        QFont bold;
        bold.setBold(true);
        return bold;
    }
    if (index.column() == kNameColumn)
        return role == Qt::DisplayRole ? callerInfo(index.row()).name : QVariant();
    // A missed call's caller in red, so it stands out when scrolling.
    if (role == Qt::ForegroundRole && index.column() == 0 && isMissed(index.row()))
        return QColor(0xc0, 0x00, 0x00);
    if (role == Qt::DisplayRole) {
        // A cell of an edited log can be kilobytes long; the grid shows its start, which
        // a repaint measures quickly (no character takes more than 4 bytes).
        const std::string_view cell = cellText(index.row(), index.column());
        const std::size_t shown =
            std::min(cell.size(), static_cast<std::size_t>(4 * kMaxCellCharacters));
        QString text = QString::fromUtf8(cell.data(), static_cast<qsizetype>(shown));
        if (shown < cell.size() || text.size() > kMaxCellCharacters)
            text = text.left(kMaxCellCharacters - 1) + QChar(0x2026);
        return text;
    }
    if (role == Qt::TextAlignmentRole) {
        const Qt::Alignment set = m_alignments.at(index.column());
        if (set)
            return QVariant::fromValue(set);
        const std::string_view cell = cellText(index.row(), index.column());
        bool isNumber = false;
        QString::fromUtf8(cell.data(), static_cast<qsizetype>(cell.size())).toDouble(&isNumber);
        return QVariant::fromValue(Qt::AlignVCenter | (isNumber ? Qt::AlignRight : Qt::AlignLeft));
    }
    return {};
}

QVariant CallGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < kColumns)
        return m_headers.at(section);
    return QAbstractTableModel::headerData(section, orientation, role);
}
