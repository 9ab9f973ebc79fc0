// The viewer's windows onto DICOM servers, against Orthanc started on 127.0.0.1 for
// each test: a server set up through its dialog and kept in the settings, tested
// with C-ECHO; a search, a study unfolded into its series, a series retrieved into
// the cache, opened as it arrives, listed in the study browser and opened from it
// as a stack to step through; a retrieve cancelled half way that keeps only whole
// files; a cap on the matches; a server that cannot be reached or never answers;
// and Send To with its result for each file.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSet>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTest>
#include <QTreeWidget>

#include <filesystem>
#include <regex>

#include "app/ChildFrame.h"
#include "app/DorvanelleApp.h"
#include "app/MainFrame.h"
#include "app/NetworkWindows.h"
#include "document/DorvanelleDoc.h"
#include "document/SeriesStack.h"
#include "net/Find.h"
#include "net/Send.h"
#include "tests/net/NetTestFiles.h"
#include "tests/net/TestServers.h"
#include "tests/views/QStringPrinter.h"
#include "tests/views/ViewerTestSupport.h"
#include "views/CommandIds.h"
#include "views/DicomServers.h"
#include "views/DocumentController.h"
#include "views/DorvanelleView.h"
#include "views/QueryResultsTree.h"
#include "views/QueryRetrieveWindow.h"
#include "views/RetrieveQueue.h"
#include "views/SendWindow.h"
#include "views/StudyBrowser.h"

namespace fs = std::filesystem;

namespace {

constexpr int kWaitMs = 60000;

QString Q(const std::string& text) { return QString::fromStdString(text); }

class QueryRetrieveTest : public ViewerApp {
protected:
    void SetUp() override {
        ViewerApp::SetUp();
        std::string problem;
        server = TestServer::Start(ServerKind::Orthanc, problem);
        if (server == nullptr) {
            if (MaySkipMissingServer() && problem.find("not installed") != std::string::npos) GTEST_SKIP() << problem;
            FAIL() << problem;
        }
    }

    // Puts a generated study of `instances` files on the server.
    GeneratedStudy Load(const std::string& name, const std::string& uidRoot, int instances) {
        GeneratedStudy study = MakeStudy(folder.File(name), uidRoot, instances);
        EXPECT_FALSE(study.files.empty());
        const SendResult sent = Send(server->Settings(), study.files);
        EXPECT_EQ(sent.stored, study.files.size()) << sent.failure;
        return study;
    }

    CQueryRetrieveWindow* OpenWindow() {
        Run(ID_FILE_QUERY_RETRIEVE);
        CQueryRetrieveWindow* window = app->NetworkWindows().QueryRetrieveWindow();
        EXPECT_NE(window, nullptr);
        EXPECT_TRUE(window->isVisible());
        return window;
    }

    // Sets a server up as a person would, through Add... and its dialog.
    void AddServer(CQueryRetrieveWindow* window, const std::string& aeTitle, int port) {
        dialogs.answerModal = [&](QDialog& dialog) {
            dialog.findChild<QLineEdit*>(QStringLiteral("serverName"))->setText(QStringLiteral("Local archive"));
            dialog.findChild<QLineEdit*>(QStringLiteral("serverAeTitle"))->setText(Q(aeTitle));
            dialog.findChild<QLineEdit*>(QStringLiteral("serverHost"))->setText(QStringLiteral("127.0.0.1"));
            dialog.findChild<QSpinBox*>(QStringLiteral("serverPort"))->setValue(port);
            dialog.findChild<QSpinBox*>(QStringLiteral("timeoutSeconds"))->setValue(20);
            dialog.accept();
            return dialog.result();
        };
        Click(window, "addServer");
        dialogs.answerModal = nullptr;
    }

    static void Click(QWidget* window, const char* button) {
        auto* widget = window->findChild<QPushButton*>(QLatin1String(button));
        ASSERT_NE(widget, nullptr) << button;
        ASSERT_TRUE(widget->isEnabled()) << button;
        QTest::mouseClick(widget, Qt::LeftButton);
    }

    static QString Text(QWidget* window, const char* label) {
        return window->findChild<QLabel*>(QLatin1String(label))->text();
    }

    static void SearchAndWait(CQueryRetrieveWindow* window) {
        QSignalSpy done(window, &CQueryRetrieveWindow::searchFinished);
        Click(window, "search");
        ASSERT_TRUE(done.wait(kWaitMs)) << "the search never ended";
    }

    // The files under a study's folder in the cache.
    static std::vector<fs::path> CachedFiles(const std::string& studyUid) {
        const fs::path cache = CRetrieveQueue::DefaultFolder().toStdString();
        std::vector<fs::path> files;
        std::error_code error;
        for (const auto& entry : fs::directory_iterator(cache / studyUid, error))
            files.push_back(entry.path());
        return files;
    }

    // Waits until the window's slice has been read and shown.
    static bool SliceShown(CChildFrame* child) {
        return QTest::qWaitFor([child] { return !child->Controller().PendingFrame(); }, kWaitMs);
    }

    // Waits until the study browser has read everything it was given.
    bool BrowserSettles() const {
        CStudyBrowser* browser = frame->StudyBrowser();
        return QTest::qWaitFor([browser] { return !browser->Indexing(); }, kWaitMs);
    }

    std::unique_ptr<TestServer> server;
};

TEST_F(QueryRetrieveTest, FindsUnfoldsRetrievesAndOpensASeriesAsItArrives) {
    const GeneratedStudy study = Load("study", "1.2.826.0.1.3680043.10.901", 12);
    CQueryRetrieveWindow* window = OpenWindow();
    AddServer(window, "ORTHANC", server->Settings().server.port);
    // Kept in the settings, as set up.
    const QList<CDicomServer> kept = LoadDicomServers();
    ASSERT_EQ(kept.size(), 1);
    EXPECT_EQ(kept[0].aeTitle, QStringLiteral("ORTHANC"));
    EXPECT_EQ(kept[0].timeoutSeconds, 20);

    QSignalSpy echoed(window, &CQueryRetrieveWindow::echoFinished);
    Click(window, "testServer");
    ASSERT_TRUE(echoed.wait(kWaitMs));
    EXPECT_EQ(Text(window, "serverStatus"), QStringLiteral("Local archive answers."));

    // The beginning of a name finds the patient, whatever follows it.
    window->findChild<QLineEdit*>(QStringLiteral("patientName"))->setText(QStringLiteral("PHANT"));
    SearchAndWait(window);
    EXPECT_EQ(Text(window, "searchStatus"), QStringLiteral("1 study found."));
    CQueryResultsTree* results = window->Results();
    ASSERT_EQ(results->topLevelItemCount(), 1);
    QTreeWidgetItem* found = results->topLevelItem(0);
    EXPECT_EQ(found->text(CQueryResultsTree::kPatient), QStringLiteral("PHANTOM, CT"));
    EXPECT_EQ(found->text(CQueryResultsTree::kImages), QStringLiteral("12"));
    EXPECT_EQ(CQueryResultsTree::StudyUid(found), Q(study.studyUid));

    QSignalSpy unfolded(window, &CQueryRetrieveWindow::seriesFound);
    found->setExpanded(true);
    ASSERT_TRUE(unfolded.wait(kWaitMs));
    ASSERT_EQ(found->childCount(), 1) << found->child(0)->text(0).toStdString();
    QTreeWidgetItem* series = found->child(0);
    EXPECT_EQ(CQueryResultsTree::SeriesUid(series), Q(study.seriesUid));
    EXPECT_EQ(series->text(CQueryResultsTree::kModality), QStringLiteral("CT"));
    EXPECT_EQ(series->text(CQueryResultsTree::kImages), QStringLiteral("12"));

    results->setCurrentItem(series);
    QSignalSpy retrieved(&window->Queue(), &CRetrieveQueue::finished);
    Click(window, "retrieve");
    ASSERT_TRUE(retrieved.wait(kWaitMs));
    EXPECT_EQ(Text(window, "retrieveStatus"), QStringLiteral("Retrieved 12 files of series (CT) of PHANTOM, CT."));

    // Into the user's cache, one folder per study, each file as the server keeps it.
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::CacheLocation) + QStringLiteral("/retrieved");
    const fs::path studyFolder = fs::path(cache.toStdString()) / study.studyUid;
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(studyFolder))
        ++files;
    EXPECT_EQ(files, 12u);
    const std::string firstBack = (studyFolder / (study.studyUid.substr(0, study.studyUid.size() - 4) + ".1.1.dcm")).string();
    EXPECT_TRUE(DataSetBytes(firstBack) == DataSetBytes(study.files[0]));

    // Listed in the study browser, all of it, under the study it belongs to.
    CStudyBrowser* browser = frame->StudyBrowser();
    EXPECT_TRUE(browser->isVisible());
    ASSERT_TRUE(BrowserSettles());
    const std::shared_ptr<const StudyTree> tree = browser->TreeOf(1);
    ASSERT_NE(tree, nullptr);
    ASSERT_EQ(tree->SeriesCount(), 1u);
    EXPECT_EQ(tree->patients[0].studies[0].series[0].instances.size(), 12u);
    QTreeWidgetItem* listed = browser->SeriesItem(1, Q(study.seriesUid));
    ASSERT_NE(listed, nullptr);
    EXPECT_EQ(listed->text(CStudyBrowser::kImages), QStringLiteral("12"));

    // The series was shown as soon as its first file was in.
    Idle();
    CChildFrame* shown = frame->ActiveChild();
    ASSERT_NE(shown, nullptr);
    EXPECT_TRUE(shown->Controller().Path().startsWith(QString::fromStdString(studyFolder.string())));

    // Chosen in the browser, as a double-click does, the series opens in a window of
    // its own as one stack of every file retrieved, in instance order: by name alone
    // ROOT.1.10 would come before ROOT.1.2.
    emit browser->Tree()->itemActivated(listed, 0);
    Idle();
    CChildFrame* stacked = frame->ActiveChild();
    ASSERT_NE(stacked, nullptr);
    ASSERT_NE(stacked, shown);
    CDocumentController& c = stacked->Controller();
    ASSERT_TRUE(SliceShown(stacked));
    const auto stack = std::dynamic_pointer_cast<const SeriesStack>(c.Document().Stack());
    ASSERT_TRUE(stack);
    ASSERT_EQ(c.Document().FrameCount(), static_cast<std::int32_t>(files));
    const std::string root = study.studyUid.substr(0, study.studyUid.size() - 4);
    for (std::int32_t i = 0; i < stack->Count(); ++i)
        EXPECT_EQ(fs::path(stack->PathOf(i)), studyFolder / (root + ".1." + std::to_string(i + 1) + ".dcm")) << i;
    EXPECT_EQ(stacked->View()->FrameText(), QStringLiteral("Frame 1 / 12"));

    // Stepping shows each slice from its own file, drawn in the window.
    Run(ID_NEXT_SLIDE);
    ASSERT_TRUE(SliceShown(stacked));
    EXPECT_EQ(c.Document().m_nFrame, 1);
    EXPECT_EQ(fs::path(c.Document().m_strDicomPath), studyFolder / (root + ".1.2.dcm"));
    Run(ID_LAST_SLIDE);
    ASSERT_TRUE(SliceShown(stacked));
    EXPECT_EQ(stacked->View()->FrameText(), QStringLiteral("Frame 12 / 12"));
    EXPECT_EQ(fs::path(c.Document().m_strDicomPath), studyFolder / (root + ".1.12.dcm"));
    ASSERT_NE(c.Image(), nullptr) << c.NoImageReason().toStdString();
    CDorvanelleView* view = stacked->View();
    const QImage painted = view->viewport()->grab().toImage();
    const QRect drawn = view->Viewport().ShownRect().intersected(painted.rect());
    ASSERT_FALSE(drawn.isEmpty());
    QSet<QRgb> colours;
    for (int y = drawn.top(); y <= drawn.bottom(); y += 2) {
        for (int x = drawn.left(); x <= drawn.right(); x += 2)
            colours.insert(PixelAt(painted, x, y));
    }
    // The phantom's body against the air around it: more than one grey.
    EXPECT_GT(colours.size(), 1);
}

TEST_F(QueryRetrieveTest, ACancelledRetrieveKeepsWholeFilesOnlyAndSaysHowMany) {
    constexpr int kInstances = 150;
    const GeneratedStudy study = Load("long", "1.2.826.0.1.3680043.10.905", kInstances);
    SaveDicomServers({CDicomServer{QStringLiteral("Local archive"), QStringLiteral("ORTHANC"), QStringLiteral("127.0.0.1"),
                                   server->Settings().server.port}});
    CQueryRetrieveWindow* window = OpenWindow();
    QTreeWidgetItem* item = window->Results()->AddStudy({{QStringLiteral("StudyInstanceUID"), Q(study.studyUid)},
                                                         {QStringLiteral("PatientName"), QStringLiteral("PHANTOM^CT")}});
    QSignalSpy arrived(&window->Queue(), &CRetrieveQueue::fileStored);
    QSignalSpy retrieved(&window->Queue(), &CRetrieveQueue::finished);
    window->Retrieve(item, false);
    ASSERT_TRUE(arrived.wait(kWaitMs)) << Text(window, "retrieveStatus").toStdString();
    if (window->Queue().Busy()) Click(window, "cancelRetrieve");
    ASSERT_TRUE(retrieved.count() > 0 || retrieved.wait(kWaitMs)) << "the cancel did not end the retrieve";

    // Every file left in the study's folder is a whole instance under its own UID:
    // nothing half written, no temporary left behind.
    const std::vector<fs::path> kept = CachedFiles(study.studyUid);
    ASSERT_FALSE(kept.empty());
    const std::regex named(R"(([0-9.]+)\.1\.([0-9]+)\.dcm)");
    for (const fs::path& file : kept) {
        std::smatch parts;
        const std::string name = file.filename().string();
        ASSERT_TRUE(std::regex_match(name, parts, named)) << name;
        const std::size_t instance = std::stoul(parts[2].str());
        ASSERT_TRUE(instance >= 1 && instance <= study.files.size()) << name;
        EXPECT_TRUE(DataSetBytes(file.string()) == DataSetBytes(study.files[instance - 1])) << name;
    }
    // The count said is the count kept; a cancel that came after the last file says
    // the retrieve went through.
    const QString status = Text(window, "retrieveStatus");
    if (kept.size() < static_cast<std::size_t>(kInstances)) {
        EXPECT_TRUE(status.contains(QStringLiteral("cancelled"))) << status.toStdString();
    }
    EXPECT_TRUE(status.contains(QStringLiteral("%1 file").arg(kept.size()))) << status.toStdString();

    // The browser lists what was kept, and only that.
    ASSERT_TRUE(BrowserSettles());
    const std::shared_ptr<const StudyTree> tree = frame->StudyBrowser()->TreeOf(1);
    ASSERT_NE(tree, nullptr);
    ASSERT_EQ(tree->SeriesCount(), 1u);
    EXPECT_EQ(tree->patients[0].studies[0].series[0].instances.size(), kept.size());
    EXPECT_TRUE(frame->StudyBrowser()->ResultOf(1)->problems.empty());
}

TEST_F(QueryRetrieveTest, MoreMatchesThanTheCapAreSaidAndNotShown) {
    Load("one", "1.2.826.0.1.3680043.10.902", 1);
    Load("two", "1.2.826.0.1.3680043.10.903", 1);
    CQueryRetrieveWindow* window = OpenWindow();
    AddServer(window, "ORTHANC", server->Settings().server.port);
    window->findChild<QSpinBox*>(QStringLiteral("limit"))->setValue(1);
    SearchAndWait(window);
    EXPECT_EQ(window->Results()->topLevelItemCount(), 1);
    EXPECT_TRUE(Text(window, "searchStatus").startsWith(QStringLiteral("More results than shown: the first 1")))
        << Text(window, "searchStatus").toStdString();
}

TEST_F(QueryRetrieveTest, ServersThatCannotBeReachedOrNeverAnswerSayWhy) {
    CQueryRetrieveWindow* window = OpenWindow();
    // Searching before any server is set up says how to set one up.
    Click(window, "search");
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_TRUE(dialogs.messages[0].text.contains(QStringLiteral("Add...")));

    AddServer(window, "NOBODY", FreePort());
    QSignalSpy echoed(window, &CQueryRetrieveWindow::echoFinished);
    Click(window, "testServer");
    ASSERT_TRUE(echoed.wait(kWaitMs));
    EXPECT_TRUE(Text(window, "serverStatus").contains(QStringLiteral("refused"))) << Text(window, "serverStatus").toStdString();
    SearchAndWait(window);
    EXPECT_TRUE(Text(window, "searchStatus").startsWith(QStringLiteral("The search failed: ")));

    // A retrieve from a host that takes the connection and never answers ends at once
    // when cancelled, and says so.
    SilentListener silent(true);
    AddServer(window, "SILENT", silent.Port());
    QTreeWidgetItem* study = window->Results()->AddStudy({{QStringLiteral("StudyInstanceUID"), QStringLiteral("1.2.3")}});
    window->Retrieve(study, false);
    ASSERT_TRUE(window->Queue().Busy());
    QSignalSpy retrieved(&window->Queue(), &CRetrieveQueue::finished);
    QTest::qWait(300);
    Click(window, "cancelRetrieve");
    ASSERT_TRUE(retrieved.wait(10000)) << "the cancel did not end the retrieve";
    EXPECT_TRUE(Text(window, "retrieveStatus").contains(QStringLiteral("cancelled")))
        << Text(window, "retrieveStatus").toStdString();
}

TEST_F(QueryRetrieveTest, SendToSendsTheDocumentAndSaysForEachFileWhetherItWasTaken) {
    const GeneratedStudy study = MakeStudy(folder.File("outgoing"), "1.2.826.0.1.3680043.10.904", 1);
    ASSERT_FALSE(study.files.empty());
    SaveDicomServers({CDicomServer{QStringLiteral("Local archive"), QStringLiteral("ORTHANC"), QStringLiteral("127.0.0.1"),
                                   server->Settings().server.port}});
    ASSERT_NE(Open(study.files[0]), nullptr);
    ASSERT_TRUE(Enabled(ID_FILE_SEND_TO));
    Run(ID_FILE_SEND_TO);
    CSendWindow* send = app->NetworkWindows().SendWindow();
    ASSERT_NE(send, nullptr);
    QSignalSpy sent(send, &CSendWindow::sendFinished);
    Click(send, "send");
    ASSERT_TRUE(sent.wait(kWaitMs));
    ASSERT_EQ(send->Results()->topLevelItemCount(), 1);
    EXPECT_EQ(send->Results()->topLevelItem(0)->text(CSendWindow::kResult), QStringLiteral("sent"));
    EXPECT_EQ(Text(send, "sendStatus"), QStringLiteral("1 sent, 0 refused, 0 not sent."));
    FindRequest request;
    request.level = QueryLevel::Image;
    std::string error;
    request.keys = {*ParseQueryKey("StudyInstanceUID=" + study.studyUid, error)};
    EXPECT_EQ(Find(server->Settings(), request).matches.size(), 1u);

    // A bitmap is no DICOM file: the server never sees it, and the line says why.
    const std::string bitmap = folder.File("picture.bmp");
    ASSERT_TRUE(WriteGreyBmp(bitmap, 8, 8, [](int x, int) { return x; }));
    ASSERT_NE(Open(bitmap), nullptr);
    Run(ID_FILE_SEND_TO);
    Click(send, "send");
    ASSERT_TRUE(sent.wait(kWaitMs));
    EXPECT_TRUE(send->Results()->topLevelItem(0)->text(CSendWindow::kResult).contains(QStringLiteral("not")))
        << send->Results()->topLevelItem(0)->text(CSendWindow::kResult).toStdString();
    EXPECT_EQ(Text(send, "sendStatus"), QStringLiteral("0 sent, 1 refused, 0 not sent."));
}

}  // namespace
