// viewer_screenshots: opens generated studies in the real main window and saves a
// picture of each viewing aid into the folder given as its argument, taken from the
// screen. Run it under xvfb-run (or on a desktop) to look at the viewer as a user
// sees it:
//   xvfb-run -s "-screen 0 1400x1000x24" build/bin/viewer_screenshots /tmp/shots
#include <cstdio>

#include <QApplication>
#include <QDir>
#include <QMdiArea>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
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
#include "views/DibImage.h"
#include "views/ImageOutput.h"
#include "views/WindowDialog.h"

namespace {

// What the screen shows of `window`, as a screenshot tool would take it.
void Save(QWidget* window, const QDir& folder, const char* name) {
    QTest::qWait(300);
    const QString path = folder.filePath(QString::fromLatin1(name) + QStringLiteral(".png"));
    QPixmap shot = window->screen()->grabWindow(window->winId());
    if (shot.isNull()) shot = window->grab();
    if (!shot.save(path)) std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
}

void Wheel(QWidget* area, QPoint at, int notches, Qt::KeyboardModifiers modifiers) {
    for (int i = 0; i < notches; ++i) {
        QWheelEvent wheel(QPointF(at), area->mapToGlobal(QPointF(at)), QPoint(), QPoint(0, 120), Qt::NoButton,
                          modifiers, Qt::NoScrollPhase, false);
        QApplication::sendEvent(area, &wheel);
    }
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
    options.rows = 512;
    options.columns = 512;
    options.frames = 12;
    options.studyDate = "20261207";
    options.frameTimeMs = 50;
    options.orientation = "1\\0\\0\\0\\1\\0";
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
    QWidget* area = view->viewport();
    QTest::qWait(200);  // the window fits itself to the image first
    child->resize(760, 660);
    frame->ExecuteCommand(ID_VIEW_ZOOM_FIT);
    Save(frame, folder, "01-fitted-centred-on-black");

    // Corner texts: patient and study, window, frame and zoom, letters, scale bar.
    frame->ExecuteCommand(ID_VIEW_OVERLAY);
    frame->ExecuteCommand(ID_LAST_SLIDE);
    SendMouse(area, QEvent::MouseMove, QPoint(300, 260), Qt::NoButton, Qt::NoButton);
    Save(frame, folder, "02-corner-texts-letters-scale-bar-readout");

    // Enlarged about the cursor: the readout names the pixel painted under it.
    Wheel(area, QPoint(300, 260), 3, Qt::ControlModifier);
    SendMouse(area, QEvent::MouseMove, QPoint(301, 261), Qt::NoButton, Qt::NoButton);
    Save(frame, folder, "03-zoomed-readout");

    // A right drag windows, live; with Shift it is eight times finer.
    SendMouse(area, QEvent::MouseButtonPress, QPoint(200, 200), Qt::RightButton, Qt::RightButton);
    SendMouse(area, QEvent::MouseMove, QPoint(170, 230), Qt::NoButton, Qt::RightButton);
    Save(frame, folder, "04-windowing-by-drag");
    SendMouse(area, QEvent::MouseButtonRelease, QPoint(170, 230), Qt::RightButton, Qt::NoButton);

    // Set Window: the dialog, then a preset by its number key (3: brain).
    {
        const std::optional<DisplayWindow> shown = child->Controller().Document().CurrentWindow();
        CWindowDialog dialog(shown ? shown->width : 400, shown ? shown->centre : 40, frame);
        dialog.SetWindow(350, 50);
        dialog.show();
        dialog.move(frame->geometry().center() - QPoint(100, 50));
        Save(&dialog, folder, "05-set-window-dialog");
    }
    frame->ExecuteCommand(ID_VIEW_PRESET_1 + 2);  // key 3
    frame->ExecuteCommand(ID_VIEW_ZOOM_FIT);
    Save(frame, folder, "06-preset-3-brain-window");

    // Display only: inverted, then turned right and mirrored (the letters follow).
    frame->ExecuteCommand(ID_VIEW_INVERT);
    Save(frame, folder, "07-inverted");
    frame->ExecuteCommand(ID_VIEW_INVERT);
    frame->ExecuteCommand(ID_VIEW_ROTATE_RIGHT);
    frame->ExecuteCommand(ID_VIEW_FLIP_HORIZONTAL);
    Save(frame, folder, "08-rotated-right-and-flipped");
    frame->ExecuteCommand(ID_VIEW_FLIP_HORIZONTAL);
    frame->ExecuteCommand(ID_VIEW_ROTATE_LEFT);

    // A selection made while zoomed: the preview shows what the rectangle covers.
    frame->ExecuteCommand(ID_VIEW_ZOOM_ACTUAL);
    Wheel(area, QPoint(300, 260), 2, Qt::ControlModifier);
    frame->ExecuteCommand(ID_ACTIONS_RECTANGLE);
    Drag(area, QPoint(180, 150), QPoint(420, 330));
    Save(frame, folder, "09-zoomed-selection");
    frame->ExecuteCommand(ID_ACTIONS_RECTANGLE);
    // Without selection mode a left drag pans.
    Drag(area, QPoint(400, 300), QPoint(250, 200));
    Save(frame, folder, "10-left-drag-panned");

    // Measurements: a ruler and an ellipse on the frame shown, listed in the panel
    // below the control panel with the spacing they used; then a selection, whose
    // statistics show beside it and head the list.
    frame->ExecuteCommand(ID_VIEW_ZOOM_FIT);
    frame->ExecuteCommand(ID_ACTIONS_RULER);
    Drag(area, QPoint(150, 330), QPoint(470, 250));
    frame->ExecuteCommand(ID_ACTIONS_ELLIPSE);
    Drag(area, QPoint(250, 120), QPoint(360, 200));
    Save(frame, folder, "10a-ruler-ellipse-and-panel");
    frame->ExecuteCommand(ID_ACTIONS_RECTANGLE);
    Drag(area, QPoint(220, 380), QPoint(330, 470));
    Save(frame, folder, "10b-selection-statistics");
    frame->ExecuteCommand(ID_ACTIONS_RECTANGLE);

    // Saved as DICOM (kept beside the pictures) and opened again: the same patient and
    // study, a capture of its own.
    const QString saved = folder.filePath(QStringLiteral("10c-capture.dcm"));
    child->Controller().Save(saved);
    if (CChildFrame* reopened = app.OpenDocumentFile(saved)) {
        QTest::qWait(200);
        reopened->resize(480, 480);
        reopened->move(560, 160);
        frame->ExecuteCommand(ID_VIEW_OVERLAY);
        Save(frame, folder, "10c-saved-capture-reopened");
        reopened->close();
        QTest::qWait(100);
    }

    // The printed page: the picture as shown, losslessly, with the corner texts.
    {
        QImage page(850, 1100, QImage::Format_RGB32);
        page.fill(Qt::white);
        QPainter painter(&page);
        const QImage shown = DisplayedImage(DibToImage(child->Controller().Image()), {}, false);
        PrintedTexts texts{view->CornerTexts(), view->EdgeLettersNow()};
        texts.texts.zoom.clear();
        PaintPage(painter, page.rect().adjusted(50, 50, -50, -50), shown, &texts);
        painter.end();
        page.save(folder.filePath(QStringLiteral("11-printed-page.png")));
    }

    // Three studies tiled: each window follows its own fit mode, centred on black.
    PhantomOptions small = options;
    small.rows = 128;
    small.columns = 160;
    small.frames = 1;
    const std::string smallStudy = work.filePath(QStringLiteral("small.dcm")).toStdString();
    const std::string fittedStudy = work.filePath(QStringLiteral("fitted.dcm")).toStdString();
    if (!WriteCtPhantom(smallStudy, small).empty() || !WriteCtPhantom(fittedStudy, small).empty()) return 1;
    app.OpenDocumentFile(QString::fromStdString(smallStudy));
    QTest::qWait(200);
    app.OpenDocumentFile(QString::fromStdString(fittedStudy));
    QTest::qWait(200);
    frame->ExecuteCommand(ID_VIEW_ZOOM_FIT);
    frame->ExecuteCommand(ID_WINDOW_TILE_HORZ);
    Save(frame, folder, "12-tiled-each-window-its-own-fit");
    return 0;
}
