#include "app/ChildFrame.h"

#include <QCloseEvent>

#include "views/DorvanelleView.h"

CChildFrame::CChildFrame(COpenDocument& document, CDorvanelleView* view, QWidget* parent)
    : QMdiSubWindow(parent), m_document(document), m_pView(view) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWidget(view);
}

void CChildFrame::closeEvent(QCloseEvent* event) {
    QMdiSubWindow::closeEvent(event);
    if (event->isAccepted() && !m_bClosed) {
        m_bClosed = true;
        if (m_onClose) m_onClose(this);
    }
}
