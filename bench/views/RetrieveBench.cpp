// What the user waits for when retrieving: from Retrieve pressed in the
// Query/Retrieve window until the first slice of the series is painted, for a
// generated series of 512 x 512 x 16-bit CT slices kept by an Orthanc started on
// 127.0.0.1 (the network helper does the C-GET, as in the viewer). The whole
// retrieve's time is reported beside it. Run offscreen; each round starts from an
// empty cache and no open window.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <memory>
#include <string>
#include <vector>

#include "app/ChildFrame.h"
#include "app/DorvanelleApp.h"
#include "app/MainFrame.h"
#include "app/NetworkWindows.h"
#include "net/Send.h"
#include "tests/net/TestServers.h"
#include "tests/views/FakeDialogs.h"
#include "tools/generator/PhantomStudy.h"
#include "views/CommandIds.h"
#include "views/DicomServers.h"
#include "views/DorvanelleView.h"
#include "views/QueryResultsTree.h"
#include "views/QueryRetrieveWindow.h"
#include "views/RetrieveQueue.h"

namespace {

constexpr const char* kUidRoot = "1.2.826.0.1.3680043.10.990";

// Orthanc with one series on it, and a viewer with its Query/Retrieve window open.
struct Session {
    QTemporaryDir folder;
    std::unique_ptr<TestServer> server;
    FakeDialogs dialogs;
    std::unique_ptr<CDorvanelleApp> app;
    CQueryRetrieveWindow* window = nullptr;
    QTreeWidgetItem* series = nullptr;
    std::string problem;
    int instances = 0;

    explicit Session(int count) : instances(count) {
        server = TestServer::Start(ServerKind::Orthanc, problem);
        if (!server) return;
        std::vector<std::string> files;
        for (int i = 1; i <= count; ++i) {
            PhantomOptions options;
            options.rows = 512;
            options.columns = 512;
            options.frames = 1;
            options.uidRoot = kUidRoot;
            options.instanceNumber = static_cast<std::uint32_t>(i);
            files.push_back(folder.filePath(QStringLiteral("IM%1.dcm").arg(i)).toStdString());
            if (!WriteCtPhantom(files.back(), options).empty()) {
                problem = "the series could not be written";
                return;
            }
        }
        const SendResult sent = Send(server->Settings(), files);
        if (sent.stored != files.size()) {
            problem = "the series did not reach the server";
            return;
        }
        SaveDicomServers({CDicomServer{QStringLiteral("Local archive"), QStringLiteral("ORTHANC"),
                                       QStringLiteral("127.0.0.1"), server->Settings().server.port}});
        app = std::make_unique<CDorvanelleApp>(dialogs);
        app->InitInstance({}, false);
        app->MainFrame()->resize(1280, 1000);
        app->MainFrame()->show();
        app->NetworkWindows().OnQueryRetrieve();
        window = app->NetworkWindows().QueryRetrieveWindow();
        const std::string study = std::string(kUidRoot) + ".2.1";
        QTreeWidgetItem* studyItem = window->Results()->AddStudy({{QStringLiteral("StudyInstanceUID"), QString::fromStdString(study)},
                                                                  {QStringLiteral("PatientName"), QStringLiteral("PHANTOM^CT")}});
        series = window->Results()->AddSeries(
            studyItem, {{QStringLiteral("StudyInstanceUID"), QString::fromStdString(study)},
                        {QStringLiteral("SeriesInstanceUID"), QString::fromStdString(std::string(kUidRoot) + ".3.1")},
                        {QStringLiteral("Modality"), QStringLiteral("CT")}});
    }
};

void CloseEveryWindow(CDorvanelleApp& app) {
    while (CChildFrame* child = app.MainFrame()->ActiveChild()) {
        child->close();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QApplication::processEvents();
    }
}

void BM_RetrieveToFirstSlice(benchmark::State& state) {
    Session session(static_cast<int>(state.range(0)));
    if (!session.problem.empty() || session.window == nullptr) {
        state.SkipWithError(session.problem.empty() ? "the viewer could not start" : session.problem.c_str());
        return;
    }
    CDorvanelleApp& app = *session.app;
    CRetrieveQueue& queue = session.window->Queue();
    double wholeSeconds = 0;
    for (auto _ : state) {
        CloseEveryWindow(app);
        QDir(queue.Folder()).removeRecursively();
        bool ended = false;
        const QMetaObject::Connection done =
            QObject::connect(&queue, &CRetrieveQueue::finished, [&ended] { ended = true; });
        QElapsedTimer clock;
        clock.start();
        session.window->Retrieve(session.series, true);
        CChildFrame* child = nullptr;
        while ((child = app.MainFrame()->ActiveChild()) == nullptr && clock.elapsed() < 60000)
            QApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
        if (child == nullptr) {
            state.SkipWithError("no slice was shown within a minute");
            break;
        }
        child->View()->viewport()->repaint();
        state.SetIterationTime(static_cast<double>(clock.nsecsElapsed()) / 1e9);
        while (!ended && clock.elapsed() < 120000)
            QApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
        wholeSeconds += static_cast<double>(clock.nsecsElapsed()) / 1e9;
        QObject::disconnect(done);
    }
    state.counters["whole_retrieve_ms"] =
        benchmark::Counter(wholeSeconds * 1000.0 / static_cast<double>(std::max<std::int64_t>(state.iterations(), 1)));
    CloseEveryWindow(app);
}
BENCHMARK(BM_RetrieveToFirstSlice)->Arg(100)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    QTemporaryDir cache;
    qputenv("XDG_CACHE_HOME", cache.path().toLocal8Bit());
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
