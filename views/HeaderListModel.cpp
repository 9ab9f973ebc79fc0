#include "views/HeaderListModel.h"

#include <QColor>
#include <cstring>

#include "dicom/DicomFile.h"
#include "dicom/Windows1252.h"

namespace {

const char* const kHeadings[HeaderListModel::ColumnCount] = {"  Group", "Element", "Tag Name", "VR", "VL", "Value"};
const int kWidths[HeaderListModel::ColumnCount] = {80, 80, 250, 60, 60, 280};

QString Hex4(std::uint16_t number)
{
    return QStringLiteral("0x") + QString::number(number, 16).rightJustified(4, QLatin1Char('0')).toUpper();
}

HeaderRow RowOf(const CDicomFile& reader)
{
    HeaderRow row;
    row.group = reader.m_nGroup;
    row.element = reader.m_nElement;
    row.name = reader.m_pszName != nullptr ? reader.m_pszName : "";
    row.vr = reader.m_pszVR != nullptr ? reader.m_pszVR : "";
    row.length = reader.m_nLength;
    // The text ends at its terminator, or at the end of the field should it have none.
    const char* text = reader.m_szValueText;
    const void* end = std::memchr(text, 0, sizeof reader.m_szValueText);
    row.value.assign(text, end ? static_cast<const char*>(end) : text + sizeof reader.m_szValueText);
    return row;
}

}  // namespace

HeaderListing ReadHeaderListing(const std::string& path)
{
    HeaderListing listing;
    if (path.empty())
        return listing;
    // A reader of our own: the file as it is on disk now, not as the document read it.
    CDicomFile reader;
    if (reader.LoadFile(path) != 0)
        return listing;
    listing.readable = true;
    reader.ListElements(reader.DetectLayout(), [&listing](const CDicomFile& at) { listing.rows.push_back(RowOf(at)); });
    return listing;
}

QString FromWindows1252(const char* text, std::size_t size)
{
    QString out(static_cast<qsizetype>(size), Qt::Uninitialized);
    QChar* dst = out.data();
    for (std::size_t i = 0; i < size; ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        dst[i] = QChar(Windows1252CodePoint(byte));
    }
    return out;
}

QString FromWindows1252(const char* text)
{
    return text != nullptr ? FromWindows1252(text, std::strlen(text)) : QString();
}

HeaderListModel::HeaderListModel(QObject* parent) : QAbstractTableModel(parent) {}

void HeaderListModel::setRows(std::vector<HeaderRow> rows)
{
    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();
}

QString HeaderListModel::cellText(const HeaderRow& row, int column)
{
    switch (column) {
    case Group: return Hex4(row.group);
    case Element: return Hex4(row.element);
    case TagName: return FromWindows1252(row.name.data(), row.name.size());
    case VR: return FromWindows1252(row.vr.data(), row.vr.size());
    // Shown signed, as the list always showed it; undefined lengths are already 0.
    case VL: return QString::number(static_cast<std::int32_t>(row.length));
    case Value: return FromWindows1252(row.value.data(), row.value.size());
    default: return {};
    }
}

int HeaderListModel::columnWidth(int column)
{
    return column >= 0 && column < ColumnCount ? kWidths[column] : 0;
}

int HeaderListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int HeaderListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant HeaderListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= ColumnCount)
        return {};
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

QVariant HeaderListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount)
        return {};
    if (role == Qt::DisplayRole)
        return QString::fromLatin1(kHeadings[section]);
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::Alignment(Qt::AlignCenter));
    return {};
}
