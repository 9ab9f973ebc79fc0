#include "app/ChildFrame.h"

#include "views/DorvanelleView.h"

CChildFrame::CChildFrame(CDorvanelleView* view, QWidget* parent) : QMdiSubWindow(parent), m_pView(view) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWidget(view);
}

CDocumentController& CChildFrame::Controller() const { return m_pView->Controller(); }
