// The modal "Dicom File Header Details" window: one row per data element of a
// DICOM file, read afresh from disk when the dialog is made, listed with its
// group, element, dictionary name, VR, value length and value text.
#pragma once

#include <QDialog>
#include <string>

class QLabel;
class QTreeView;
class HeaderListModel;

class HeaderDetailsDialog : public QDialog {
    Q_OBJECT
public:
    // Reads and lists `dicomPath` (the document's DICOM file; empty for a bitmap
    // or PCX document). A file that cannot be read gives a notice and no rows.
    explicit HeaderDetailsDialog(const std::string& dicomPath, QWidget* parent = nullptr);

    QTreeView* list() const { return m_list; }
    HeaderListModel* model() const { return m_model; }
    bool fileWasRead() const { return m_bRead; }
    // The notice shown when the file could not be read, or when the listing stops
    // before the file's end; empty otherwise.
    QString notice() const;

protected:
    // Enter closes the dialog as Escape does: it has no buttons to press.
    void keyPressEvent(QKeyEvent* event) override;

private:
    void setupList();

    QTreeView* m_list = nullptr;
    HeaderListModel* m_model = nullptr;
    QLabel* m_notice = nullptr;
    bool m_bRead = false;
};
