// What the viewer does with one file made to cost it, measured as a user meets it:
//   header  the header details dialog: the peak memory before and after it opens, how
//           long the interface thread is held before it shows, and how long until its
//           listing is filled (a deflated data set that inflates to gigabytes);
//   range   the range pass of a study without a window: how long until the sliders
//           take a range, what the status bar says then, and how long closing takes
//           (a JPEG 2000 study whose frames take seconds each to decode);
//   open    how long the interface thread is held by the open, how long until the
//           window has painted (its frame, its reason or "decoding…"), and how long
//           closing it then takes (a deflated data set that inflates to gigabytes);
//   quit-header, quit-range  the same walk or pass left running when the viewer
//           ends: it prints when the quit began, and the caller times the end.
//
//   hostile_viewer_probe header|range|open|quit-header|quit-range FILE
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QTest>

#include <sys/resource.h>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/ChildFrame.h"
#include "app/DorvanelleApp.h"
#include "app/MainFrame.h"
#include "tests/views/FakeDialogs.h"
#include "views/DocumentController.h"
#include "views/DorvanelleView.h"
#include "views/HeaderDetailsDialog.h"
#include "views/HeaderListModel.h"
#include "views/UnwaitedThreads.h"

namespace {

double PeakMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// Closes the window and prints how long that took, its deletion included.
int CloseTimed(CChildFrame& child) {
    QElapsedTimer closing;
    closing.start();
    child.close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    std::printf("closed in %lld ms\n", static_cast<long long>(closing.elapsed()));
    std::fflush(stdout);
    return 0;
}

// From the open: the first frame painted, the range taken, what the status bar says,
// and how long the window takes to close.
int ProbeRange(CChildFrame& child, QElapsedTimer& clock) {
    CDocumentController& controller = child.Controller();
    qint64 painted = -1;
    qint64 ranged = -1;
    QObject::connect(&controller, &CDocumentController::sampleRangeChanged, [&] { ranged = clock.elapsed(); });
    while (clock.elapsed() < 120000 && ranged < 0) {
        if (painted < 0 && (controller.Image() || !controller.NoImageReason().isEmpty())) painted = clock.elapsed();
        QTest::qWait(5);
    }
    std::printf("first frame after %lld ms, range after %lld ms, status \"%s\", peak %.1f MiB\n",
                static_cast<long long>(painted), static_cast<long long>(ranged),
                child.View()->StatusFrameText().toLocal8Bit().constData(), PeakMiB());
    return CloseTimed(child);
}

// From the open: the first paint of the window, and its close right after.
int ProbeOpen(CChildFrame& child, QElapsedTimer& clock, qint64 held) {
    const CDocumentController& controller = child.Controller();
    child.View()->viewport()->grab();
    const qint64 painted = clock.elapsed();
    const char* shown = controller.Image() != nullptr             ? "the frame"
                        : !controller.NoImageReason().isEmpty() ? "its reason"
                                                                : "decoding";
    std::printf("open returned after %lld ms, painted %s after %lld ms, peak %.1f MiB\n",
                static_cast<long long>(held), shown, static_cast<long long>(painted), PeakMiB());
    return CloseTimed(child);
}

// Opens `path`, leaves its range pass (quit-range) or its header walk (quit-header)
// running and ends the viewer, as the program's main does.
int ProbeQuit(const std::string& mode, const char* path) {
    FakeDialogs dialogs;
    CDorvanelleApp app(dialogs);
    app.InitInstance({}, false);
    app.MainFrame()->show();
    CChildFrame* child = app.OpenDocumentFile(QString::fromLocal8Bit(path));
    if (child == nullptr) return 1;
    if (mode == "quit-range") {
        // Into the pass, which decodes frame after frame (QUIT_AFTER_MS moves the quit).
        QTest::qWait(qEnvironmentVariableIsEmpty("QUIT_AFTER_MS") ? 1500
                                                                  : qEnvironmentVariableIntValue("QUIT_AFTER_MS"));
        std::printf("range %s when the viewer ends\n",
                    child->Controller().Document().RangePending() ? "still pending" : "already taken");
    } else {
        QTest::qWait(200);
        // The dialog is closed while its walk runs, and the viewer ends at once.
        dialogs.answerModal = [](QDialog& dialog) -> int {
            QTest::qWait(5);
            auto* header = qobject_cast<HeaderDetailsDialog*>(&dialog);
            std::printf("walk %s when the dialog closes\n",
                        header != nullptr && !header->listingFinished() ? "still running" : "finished");
            return QDialog::Rejected;
        };
        child->View()->OnShowDicomHeader();
    }
    // On the monotonic clock, which the caller reads when the process has gone.
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    std::printf("quit at %lld ms\n",
                static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count()));
    std::fflush(stdout);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    const std::string mode = argc == 3 ? argv[1] : "";
    if (mode == "quit-header" || mode == "quit-range") {
        int status = 0;
        {
            QApplication qt(argc, argv);
            status = ProbeQuit(mode, argv[2]);
        }
        return EndWithoutWaiting(status);
    }
    QApplication qt(argc, argv);
    if (mode != "header" && mode != "range" && mode != "open") {
        std::fprintf(stderr, "usage: hostile_viewer_probe header|range|open|quit-header|quit-range FILE\n");
        return 2;
    }
    const bool headerMode = std::strcmp(argv[1], "header") == 0;
    // Time for the first frame, the range pass and the frames read ahead.
    const int settle = qEnvironmentVariableIsEmpty("SETTLE_MS") ? 10000 : qEnvironmentVariableIntValue("SETTLE_MS");
    FakeDialogs dialogs;
    CDorvanelleApp app(dialogs);
    app.InitInstance({}, false);
    app.MainFrame()->show();
    QElapsedTimer clock;
    clock.start();
    CChildFrame* child = app.OpenDocumentFile(QString::fromLocal8Bit(argv[2]));
    if (child == nullptr) {
        std::fprintf(stderr, "the file could not be opened\n");
        return 1;
    }
    if (std::strcmp(argv[1], "open") == 0) return ProbeOpen(*child, clock, clock.elapsed());
    if (!headerMode) return ProbeRange(*child, clock);
    // Let the frame and the range pass settle.
    QTest::qWait(settle);
    const double opened = PeakMiB();
    std::printf("opened in %lld ms (then settled), peak %.1f MiB\n", static_cast<long long>(clock.elapsed()) - settle,
                opened);

    qint64 held = -1;
    qint64 filled = -1;
    int rows = -1;
    dialogs.answerModal = [&](QDialog& dialog) -> int {
        held = clock.elapsed();
        auto* header = qobject_cast<HeaderDetailsDialog*>(&dialog);
        if (header != nullptr) {
            while (!header->listingFinished())
                QTest::qWait(10);
            rows = header->model()->rowCount();
        }
        filled = clock.elapsed();
        return QDialog::Rejected;
    };
    clock.restart();
    child->View()->OnShowDicomHeader();
    std::printf("dialog shown after %lld ms on the interface thread, listed %d rows after %lld ms\n",
                static_cast<long long>(held), rows, static_cast<long long>(filled));
    std::printf("peak before the dialog %.1f MiB, after %.1f MiB\n", opened, PeakMiB());
    return 0;
}
