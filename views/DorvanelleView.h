// The image view of a child window: the document's current image 1:1 at the top-left
// of a scrolling area, the dotted selection rectangle while selection mode is on, a
// drag that selects through the document's controller, and the four slide commands.
// A document without an image shows, centred, why it has none.
#pragma once

#include <memory>

#include <QAbstractScrollArea>
#include <QSize>

#include "image/Geometry.h"
#include "views/CommandMap.h"
#include "views/DibImage.h"

class CDocumentController;
class CDorvanelleDoc;
class IUserDialogs;

class CDorvanelleView : public QAbstractScrollArea {
    Q_OBJECT
public:
    // Every view of a document shares its controller; the last view to go releases it.
    CDorvanelleView(std::shared_ptr<CDocumentController> controller, IUserDialogs& dialogs,
                    QWidget* parent = nullptr);
    ~CDorvanelleView() override;

    CDocumentController& Controller() const { return *m_controller; }
    const std::shared_ptr<CDocumentController>& SharedController() const { return m_controller; }
    const CDorvanelleDoc& GetDocument() const;
    const CommandMap& Commands() const { return m_commands; }

    // Scroll range from the current image's size (0 x 0 without one).
    void OnInitialUpdate();
    // The view became the active one: its rectangle is the one a window change crops,
    // and the first activation after a file was read fits the child window to the image.
    void OnActivateView();

    // Commands.
    void OnRectangle();
    void OnFirstSlide();
    void OnPrevSlide();
    void OnNextSlide();
    void OnLastSlide();
    // Lists every element of the document's DICOM file in a modal dialog.
    void OnShowDicomHeader();

    // The 7 x 7 cross-hair shown in selection mode, hot spot at its centre.
    static QCursor SelectionCursor();

    // The child-window size that shows `image` whole, given the frame decoration
    // around the image and the MDI area's size: image + decoration when that fits
    // strictly inside the area, else 730 x 650.
    static QSize FitFrameSize(QSize image, QSize decoration, QSize area);

    bool m_bSelectMode = false;
    DibPoint m_ptAnchor;
    DibPoint m_ptCurrent;
    DibRect m_rcSelection;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    DibPoint ImagePoint(QPoint viewportPoint) const;
    DibPoint ConfinedPoint(QPoint viewportPoint) const;
    void UpdateScrollBars();
    void FitFrame();
    void ApplyCursor();
    void BuildCommands();
    void OnImageChanged();

    std::shared_ptr<CDocumentController> m_controller;
    IUserDialogs& m_dialogs;
    CommandMap m_commands;
    DibImageCache m_picture;
    QSize m_scrollSize;
};
