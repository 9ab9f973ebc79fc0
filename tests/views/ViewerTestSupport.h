// Shared pieces of the viewer tests: the whole application in one fixture, dialogs
// answered by the test, mouse events with explicit button state, and small pictures
// and studies written to a temporary folder.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <QImage>
#include <QPoint>
#include <QString>

#include "image/PackedDib.h"
#include "tests/support/TempFiles.h"
#include "tests/views/FakeDialogs.h"

class CChildFrame;
class CControlPanel;
class CDorvanelleApp;
class CMainFrame;
class QAction;
class QMenu;
class QToolBar;
class QToolButton;
class QWidget;

// The whole viewer with an empty recent-file list: the application, its main window
// shown and active, and the dialogs answered by the test.
class ViewerApp : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Opens a file as File > Open does and lets the window settle.
    CChildFrame* Open(const std::string& path);
    void Activate(CChildFrame* child);
    // Runs a command as its menu item or shortcut would.
    void Run(int id);
    // Whether the command is enabled once its state is brought up to date.
    bool Enabled(int id);
    // Lets the event loop run dry once, which is when command states are updated and
    // closed windows are deleted.
    static void Idle();

    QAction* Action(int id) const;
    QMenu* Menu(int index) const;
    QToolBar* ToolBar() const;
    QToolButton* Button(int id) const;
    CControlPanel& Panel() const;

    TempFolder folder;
    FakeDialogs dialogs;
    std::unique_ptr<CDorvanelleApp> app;
    CMainFrame* frame = nullptr;
};

// Sends a mouse event with the given buttons held, as a real pointer would.
void SendMouse(QWidget* widget, int type, QPoint pos, Qt::MouseButton button, Qt::MouseButtons held,
               Qt::KeyboardModifiers modifiers = Qt::NoModifier);
// Press, optional moves, release: a drag with the left button.
void Drag(QWidget* widget, QPoint from, QPoint to);

// An 8-bit grey block whose pixel (x, y), counted from the top, is f(x, y).
PackedDibPtr GreyPicture(int width, int height, int (*f)(int, int));
// The same written as a .bmp file; true on success.
bool WriteGreyBmp(const std::string& path, int width, int height, int (*f)(int, int));
// A 16-bit CT phantom study of `frames` frames; true on success.
bool WriteStudy(const std::string& path, int rows, int columns, int frames);

QRgb PixelAt(const QImage& image, int x, int y);

class CDorvanelleView;
// The view point over the middle of image pixel `pixel` in `view`, as it is zoomed,
// scrolled and placed now.
QPoint OnPixel(const CDorvanelleView* view, QPoint pixel);
// A left-button drag in `view` from over image pixel `from` to over image pixel `to`.
void DragPixels(CDorvanelleView* view, QPoint from, QPoint to);
