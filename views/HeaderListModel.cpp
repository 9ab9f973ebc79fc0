#include "views/HeaderListModel.h"

#include <QColor>
#include <cstring>

#include "dicom/Windows1252.h"

namespace {

const int kWidths[HeaderListModel::ColumnCount] = {80, 80, 250, 60, 60, 280};

}  // namespace

QString FromWindows1252(const char* text, std::size_t size) {
    QString out(static_cast<qsizetype>(size), Qt::Uninitialized);
    QChar* dst = out.data();
    for (std::size_t i = 0; i < size; ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        dst[i] = QChar(Windows1252CodePoint(byte));
    }
    return out;
}

QString FromWindows1252(const char* text) {
    return text != nullptr ? FromWindows1252(text, std::strlen(text)) : QString();
}

HeaderListModel::HeaderListModel(QObject* parent) : QAbstractTableModel(parent) {}

void HeaderListModel::setRows(std::vector<HeaderRow> rows) {
    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();
}

QString HeaderListModel::cellText(const HeaderRow& row, int column) {
    const std::string cell = row.Cell(column);
    return FromWindows1252(cell.data(), cell.size());
}

int HeaderListModel::columnWidth(int column) { return column >= 0 && column < ColumnCount ? kWidths[column] : 0; }

int HeaderListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int HeaderListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : ColumnCount; }

QVariant HeaderListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= ColumnCount) return {};
    switch (role) {
    case Qt::DisplayRole: return cellText(m_rows[static_cast<std::size_t>(index.row())], index.column());
    // Values run up to 1500 characters, far wider than their column.
    case Qt::ToolTipRole:
        return index.column() == Value ? cellText(m_rows[static_cast<std::size_t>(index.row())], Value) : QVariant();
    case Qt::TextAlignmentRole: return QVariant::fromValue(Qt::Alignment(Qt::AlignCenter));
    case Qt::ForegroundRole: return QColor(0, 220, 220);
    case Qt::BackgroundRole: return QColor(0, 0, 0);
    default: return {};
    }
}

QVariant HeaderListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount) return {};
    // The first heading is set in by two spaces, clear of the list's left border.
    if (role == Qt::DisplayRole)
        return QString::fromLatin1(section == Group ? "  " : "") + QString::fromLatin1(HeaderRow::Heading(section));
    if (role == Qt::TextAlignmentRole) return QVariant::fromValue(Qt::Alignment(Qt::AlignCenter));
    return {};
}
