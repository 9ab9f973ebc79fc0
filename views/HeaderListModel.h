// The rows of the header details listing and the table model that shows them.
// A listing can hold a hundred thousand elements, so rows keep the reader's raw
// Windows-1252 texts and are turned into display strings only when a cell is drawn.
#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <cstdint>
#include <string>
#include <vector>

class CDicomFile;

struct HeaderRow {
    std::uint16_t group = 0;
    std::uint16_t element = 0;
    std::string name;       // dictionary name, Windows-1252; empty when unknown
    std::string vr;         // dictionary VR; empty when unknown
    std::uint32_t length = 0;
    std::string value;      // the value text, Windows-1252
};

// The listing of one file read from disk.
struct HeaderListing {
    bool readable = false;  // false: the file could not be read and nothing was walked
    std::vector<HeaderRow> rows;
};

// Reads `path` into a reader of its own and walks it with the listing pass,
// one row per element in file order.
HeaderListing ReadHeaderListing(const std::string& path);

// Bytes in Windows-1252 (Latin-1 with typographic characters at 0x80..0x9F).
QString FromWindows1252(const char* text, std::size_t size);
QString FromWindows1252(const char* text);

class HeaderListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { Group, Element, TagName, VR, VL, Value, ColumnCount };

    explicit HeaderListModel(QObject* parent = nullptr);

    void setRows(std::vector<HeaderRow> rows);
    const std::vector<HeaderRow>& rows() const { return m_rows; }

    // The text of one cell: "0x%04X" for group and element, "%d" for the length.
    static QString cellText(const HeaderRow& row, int column);
    static int columnWidth(int column);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    std::vector<HeaderRow> m_rows;
};
