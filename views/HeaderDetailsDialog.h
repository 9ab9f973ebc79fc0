// The modal "Dicom File Header Details" window: one row per data element of a
// DICOM file, listed with its group, element, dictionary name, VR, value length and
// value text. The listing is walked on a worker thread: the dialog shows at once
// with "Reading the header…" and fills in when the walk ends; closing it stops the
// walk and drops what it found. A document's file is walked through the bytes its
// reader has open (a deflated data set is never inflated a second time).
#pragma once

#include <QDialog>
#include <functional>
#include <memory>
#include <string>

#include "dicom/DicomFile.h"
#include "dicom/HeaderListing.h"

class QLabel;
class QTreeView;
class HeaderListModel;

class HeaderDetailsDialog : public QDialog {
    Q_OBJECT
public:
    // Lists the bytes a document's reader shares, or, when it shares none (a slice
    // of a series), the file at `dicomPath` read afresh. An empty path (a bitmap or
    // PCX document) or a file that cannot be read gives a notice and no rows.
    HeaderDetailsDialog(const CDicomFile::SharedBytes& bytes, const std::string& dicomPath,
                        QWidget* parent = nullptr);
    explicit HeaderDetailsDialog(const std::string& dicomPath, QWidget* parent = nullptr);
    // Stops a walk still running; its rows are dropped.
    ~HeaderDetailsDialog() override;
    HeaderDetailsDialog(const HeaderDetailsDialog&) = delete;
    HeaderDetailsDialog& operator=(const HeaderDetailsDialog&) = delete;

    QTreeView* list() const { return m_list; }
    HeaderListModel* model() const { return m_model; }
    bool fileWasRead() const { return m_bRead; }
    // Whether the walk has ended and its rows are shown.
    bool listingFinished() const { return m_bFinished; }
    // The notice shown while the walk runs, when the file could not be read, or when
    // the listing stops before the file's end; empty otherwise.
    QString notice() const;

    struct Walk;  // shared with the walk's thread

signals:
    // The walk has ended and its rows are shown.
    void listed();

protected:
    // Enter closes the dialog as Escape does: it has no buttons to press.
    void keyPressEvent(QKeyEvent* event) override;

private:
    void startWalk(std::function<HeaderListing(const std::atomic<bool>*)> list);
    void showListing(HeaderListing listing);
    void setupList();

    std::string m_path;
    std::shared_ptr<Walk> m_walk;
    bool m_bFinished = false;

    QTreeView* m_list = nullptr;
    HeaderListModel* m_model = nullptr;
    QLabel* m_notice = nullptr;
    bool m_bRead = false;
};
