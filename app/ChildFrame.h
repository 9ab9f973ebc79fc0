// A child window of the main window: one view of one open document.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include <QMdiSubWindow>
#include <QString>

#include "views/CommandMap.h"

class CDorvanelleDoc;
class CDorvanelleView;
class CChildFrame;

// An open file: the document, its path as opened, its title, the commands it
// handles, and the child windows that show it.
struct COpenDocument {
    std::unique_ptr<CDorvanelleDoc> doc;
    QString path;   // canonical path: an already open file is recognised by it
    QString title;  // the file name with the depth suffix, e.g. "head.dcm ==>8 bpp"
    CommandMap commands;
    std::vector<CChildFrame*> frames;
};

class CChildFrame : public QMdiSubWindow {
    Q_OBJECT
public:
    CChildFrame(COpenDocument& document, CDorvanelleView* view, QWidget* parent = nullptr);

    COpenDocument& Document() const { return m_document; }
    CDorvanelleView* View() const { return m_pView; }
    const CommandMap& Commands() const { return m_commands; }

    // Called once when the window accepts to close.
    std::function<void(CChildFrame*)> m_onClose;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    COpenDocument& m_document;
    CDorvanelleView* m_pView;
    CommandMap m_commands;  // the child frame handles no command of its own
    bool m_bClosed = false;
};
