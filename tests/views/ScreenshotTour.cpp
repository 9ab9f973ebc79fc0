// viewer_screenshots: opens a generated CT study in the real main window and saves a
// picture of each viewing aid into the folder given as its argument. Run it under
// xvfb-run (or on a desktop) to look at the viewer as a user sees it:
//   xvfb-run -s "-screen 0 1400x1000x24" build/bin/viewer_screenshots /tmp/shots
#include <cstdio>

#include <QApplication>
#include <QDir>
#include <QMdiArea>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QTest>

#include "app/ChildFrame.h"
#include "app/DorvanelleApp.h"
#include "app/MainFrame.h"
#include "tests/views/ViewerTestSupport.h"
#include "tools/generator/PhantomStudy.h"
#include "views/CommandIds.h"
#include "views/DocumentController.h"
#include "views/DorvanelleView.h"

namespace {

void Save(QWidget* window, const QDir& folder, const char* name) {
    QTest::qWait(300);
    const QString path = folder.filePath(QString::fromLatin1(name) + QStringLiteral(".png"));
    if (!window->grab().save(path)) std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    // A frame step ends where it was asked to: the frame is waited for as long as it takes.
    CDocumentController::SetFrameWait(std::chrono::seconds(30));
    if (argc < 2) {
        std::fprintf(stderr, "usage: viewer_screenshots FOLDER\n");
        return 2;
    }
    QDir folder(QString::fromLocal8Bit(argv[1]));
    folder.mkpath(QStringLiteral("."));
    QTemporaryDir work;
    qputenv("XDG_CONFIG_HOME", work.path().toLocal8Bit());

    PhantomOptions options;
    options.rows = 1024;
    options.columns = 1024;
    options.frames = 12;
    options.rescaleSlope = 0.5;
    options.studyDate = "20261207";
    options.frameTimeMs = 50;
    const std::string study = work.filePath(QStringLiteral("phantom.dcm")).toStdString();
    if (!WriteCtPhantom(study, options).empty()) return 1;

    FakeDialogs dialogs;
    CDorvanelleApp app(dialogs);
    if (!app.InitInstance({}, false)) return 1;
    CMainFrame* frame = app.MainFrame();
    frame->resize(1400, 1000);
    frame->show();
    CChildFrame* child = app.OpenDocumentFile(QString::fromStdString(study));
    if (!child) return 1;
    CDorvanelleView* view = child->View();
    QTest::qWait(300);
    Save(frame, folder, "1-fitted");

    frame->ExecuteCommand(ID_VIEW_OVERLAY);
    QWidget* area = view->viewport();
    QTest::mouseMove(area, QPoint(250, 200));
    SendMouse(area, QEvent::MouseMove, QPoint(250, 200), Qt::NoButton, Qt::NoButton);
    Save(frame, folder, "2-overlay-and-readout");

    SendMouse(area, QEvent::MouseButtonPress, QPoint(200, 200), Qt::RightButton, Qt::RightButton);
    // A moderate drag: wider and a little lower, so the rest of the tour keeps a usable window.
    SendMouse(area, QEvent::MouseMove, QPoint(240, 185), Qt::NoButton, Qt::RightButton);
    Save(frame, folder, "3-windowing-by-drag");
    SendMouse(area, QEvent::MouseButtonRelease, QPoint(240, 185), Qt::RightButton, Qt::NoButton);

    for (int i = 0; i < 4; ++i) {
        QWheelEvent wheel(QPointF(300, 250), area->mapToGlobal(QPointF(300, 250)), QPoint(), QPoint(0, 120),
                          Qt::NoButton, Qt::ControlModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(area, &wheel);
    }
    frame->ExecuteCommand(ID_ACTIONS_RECTANGLE);
    Drag(area, QPoint(150, 120), QPoint(420, 330));
    Save(frame, folder, "4-zoomed-selection");
    frame->ExecuteCommand(ID_FILTERS_SMOOTHING);
    Save(frame, folder, "5-zoomed-smoothed");

    frame->ExecuteCommand(ID_VIEW_ZOOM_FIT);
    frame->ExecuteCommand(ID_PLAY_VIDEO);
    QTest::qWait(700);
    Save(frame, folder, "6-cine");
    frame->ExecuteCommand(ID_PLAY_VIDEO);
    return 0;
}
