// A child window of the main window: one view of one open document. It is deleted
// when it closes, and with it its view, which shares the document's controller with
// the document's other views.
#pragma once

#include <QMdiSubWindow>

#include "views/CommandMap.h"

class CDocumentController;
class CDorvanelleView;

class CChildFrame : public QMdiSubWindow {
    Q_OBJECT
public:
    explicit CChildFrame(CDorvanelleView* view, QWidget* parent = nullptr);

    CDorvanelleView* View() const { return m_pView; }
    CDocumentController& Controller() const;
    const CommandMap& Commands() const { return m_commands; }

private:
    CDorvanelleView* m_pView;
    CommandMap m_commands;  // the child frame handles no command of its own
};
