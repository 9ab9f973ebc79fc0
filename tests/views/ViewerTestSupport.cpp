#include "tests/views/ViewerTestSupport.h"

#include <cmath>

#include <QAction>
#include <QApplication>
#include <QDeadlineTimer>
#include <QDialog>
#include <QEventLoop>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QWidget>

#include "app/ChildFrame.h"
#include "app/DorvanelleApp.h"
#include "app/MainFrame.h"
#include "app/Settings.h"
#include "document/DorvanelleDoc.h"
#include "image/BmpFile.h"
#include "tools/generator/PhantomStudy.h"
#include "views/ControlPanel.h"
#include "views/DorvanelleView.h"

void ViewerApp::SetUp() {
    OpenSettings().clear();
    app = std::make_unique<CDorvanelleApp>(dialogs);
    ASSERT_TRUE(app->InitInstance({}, false));
    frame = app->MainFrame();
    frame->resize(1280, 1000);
    frame->show();
    frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame));
    Idle();
}

void ViewerApp::TearDown() {
    app.reset();
    Idle();
    OpenSettings().clear();
}

CChildFrame* ViewerApp::Open(const std::string& path) {
    CChildFrame* child = app->OpenDocumentFile(QString::fromStdString(path));
    Idle();
    // The range of all samples comes from a worker thread; tests of what follows
    // start once the sliders have it, as a person's first slider move would.
    if (child != nullptr) {
        QDeadlineTimer deadline(10000);
        while (child->View()->GetDocument().m_dicom.SampleRangePending() && !deadline.hasExpired()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        }
        Idle();
    }
    return child;
}

void ViewerApp::Activate(CChildFrame* child) {
    frame->MdiArea()->setActiveSubWindow(child);
    Idle();
}

void ViewerApp::Run(int id) {
    frame->ExecuteCommand(id);
    Idle();
}

bool ViewerApp::Enabled(int id) {
    frame->UpdateActions();
    return Action(id)->isEnabled();
}

void ViewerApp::Idle() {
    QEventLoop loop;
    QTimer::singleShot(10, &loop, &QEventLoop::quit);
    loop.exec();
}

QAction* ViewerApp::Action(int id) const { return frame->Action(id); }
QMenu* ViewerApp::Menu(int index) const { return frame->menuBar()->actions().at(index)->menu(); }
QToolBar* ViewerApp::ToolBar() const { return frame->findChild<QToolBar*>(); }
QToolButton* ViewerApp::Button(int id) const {
    return qobject_cast<QToolButton*>(ToolBar()->widgetForAction(Action(id)));
}
CControlPanel& ViewerApp::Panel() const { return *frame->m_wndControlPanel; }

void SendMouse(QWidget* widget, int type, QPoint pos, Qt::MouseButton button, Qt::MouseButtons held,
               Qt::KeyboardModifiers modifiers) {
    QMouseEvent event(static_cast<QEvent::Type>(type), QPointF(pos), widget->mapToGlobal(QPointF(pos)), button, held,
                      modifiers);
    QApplication::sendEvent(widget, &event);
}

void Drag(QWidget* widget, QPoint from, QPoint to) {
    SendMouse(widget, QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
    SendMouse(widget, QEvent::MouseMove, (from + to) / 2, Qt::NoButton, Qt::LeftButton);
    SendMouse(widget, QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
    SendMouse(widget, QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
}

PackedDibPtr GreyPicture(int width, int height, int (*f)(int, int)) {
    PackedDibPtr dib = CreateGreyDib(static_cast<std::uint16_t>(width), static_cast<std::uint16_t>(height));
    const std::uint64_t stride = DibRowStride(dib.get());
    std::uint8_t* bits = DibBits(dib.get());
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = bits + static_cast<std::uint64_t>(height - 1 - y) * stride;
        for (int x = 0; x < width; ++x)
            row[x] = static_cast<std::uint8_t>(f(x, y));
    }
    return dib;
}

bool WriteGreyBmp(const std::string& path, int width, int height, int (*f)(int, int)) {
    PackedDibPtr dib = GreyPicture(width, height, f);
    return WriteBmpFile(dib.get(), path).written;
}

bool WriteStudy(const std::string& path, int rows, int columns, int frames) {
    PhantomOptions options;
    options.rows = static_cast<std::uint16_t>(rows);
    options.columns = static_cast<std::uint16_t>(columns);
    options.frames = static_cast<std::uint32_t>(frames);
    return WriteCtPhantom(path, options).empty();
}

QRgb PixelAt(const QImage& image, int x, int y) { return image.pixel(x, y) & 0xFFFFFFu; }

QPoint OnPixel(const CDorvanelleView* view, QPoint pixel) {
    const QPointF at = view->Viewport().ImageToView(QPointF(pixel) + QPointF(0.5, 0.5));
    return QPoint(static_cast<int>(std::floor(at.x())), static_cast<int>(std::floor(at.y())));
}

void DragPixels(CDorvanelleView* view, QPoint from, QPoint to) {
    Drag(view->viewport(), OnPixel(view, from), OnPixel(view, to));
}
