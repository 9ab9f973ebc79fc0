// The table model of the header details listing.
// A listing can hold a hundred thousand elements, so rows keep the reader's raw
// Windows-1252 texts and are turned into display strings only when a cell is drawn.
#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <cstddef>
#include <vector>

#include "dicom/HeaderListing.h"

// Bytes in Windows-1252 (Latin-1 with typographic characters at 0x80..0x9F).
QString FromWindows1252(const char* text, std::size_t size);
QString FromWindows1252(const char* text);

class HeaderListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using enum HeaderRow::Column;

    explicit HeaderListModel(QObject* parent = nullptr);

    void setRows(std::vector<HeaderRow> rows);
    const std::vector<HeaderRow>& rows() const { return m_rows; }

    // The text of one cell, as HeaderRow::Cell gives it, decoded from Windows-1252.
    static QString cellText(const HeaderRow& row, int column);
    static int columnWidth(int column);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    std::vector<HeaderRow> m_rows;
};
