// Bad servers and bad moments: a reason that names the step, never a hang, and
// what arrived before the trouble kept whole.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "dcmtk/config/osconfig.h"
#include "dcmtk/dcmnet/assoc.h"
#include "net/Echo.h"
#include "net/Find.h"
#include "net/NetFailure.h"
#include "net/Retrieve.h"
#include "net/RetrievedFiles.h"
#include "net/Send.h"
#include "tests/net/NetTestFiles.h"
#include "tests/net/TestServers.h"
#include "tests/support/TempFiles.h"

namespace fs = std::filesystem;

namespace {

// A DICOM acceptor that takes the association, then never answers a message.
class MuteServer {
public:
    MuteServer() : m_port(FreePort()) {
        ASC_initializeNetwork(NET_ACCEPTOR, m_port, 5, &m_network);
        m_thread = std::thread([this] {
            T_ASC_Association* association = nullptr;
            if (ASC_receiveAssociation(m_network, &association, 16384, nullptr, nullptr, OFFalse, DUL_NOBLOCK, 10)
                    .good()) {
                const char* syntaxes[] = {UID_LittleEndianExplicitTransferSyntax, UID_LittleEndianImplicitTransferSyntax};
                const char* kinds[] = {UID_VerificationSOPClass};
                ASC_acceptContextsWithPreferredTransferSyntaxes(association->params, kinds, 1, syntaxes, 2);
                ASC_acknowledgeAssociation(association);
                while (!m_stop.load()) std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
            if (association != nullptr) {
                ASC_dropSCPAssociation(association);
                ASC_destroyAssociation(&association);
            }
        });
    }
    ~MuteServer() {
        m_stop.store(true);
        m_thread.join();
        ASC_dropNetwork(&m_network);
    }
    std::uint16_t Port() const { return m_port; }

private:
    std::uint16_t m_port;
    T_ASC_Network* m_network = nullptr;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

ServerSettings Local(std::uint16_t port) {
    ServerSettings settings;
    settings.server = {"ANY", "127.0.0.1", port};
    settings.timeouts = {1, 1, 1};
    return settings;
}

double SecondsOf(const std::function<void()>& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

TEST(NetTimeouts, EachStepThatRunsOutIsNamed) {
    Reason why;
    {
        SilentListener silent(true);
        const double seconds = SecondsOf([&] { why = Echo(Local(silent.Port())); });
        EXPECT_TRUE(why.Is(NetFailure::AssociationTimedOut)) << why;
        EXPECT_EQ(why.Text(), "timed out waiting for ANY to accept the association: no answer within 1 second");
        EXPECT_LT(seconds, 5.0);
    }
    {
        SilentListener full(false);
        why = Echo(Local(full.Port()));
        EXPECT_TRUE(why.Is(NetFailure::ConnectTimedOut)) << why;
        EXPECT_NE(why.Text().find("timed out connecting to 127.0.0.1:"), std::string::npos) << why;
    }
    {
        MuteServer mute;
        why = Echo(Local(mute.Port()));
        EXPECT_TRUE(why.Is(NetFailure::MessageTimedOut)) << why;
        EXPECT_EQ(why.Text(), "timed out waiting for the reply to C-ECHO: nothing arrived within 1 second");
    }
    why = Echo(Local(FreePort()));
    EXPECT_TRUE(why.Is(NetFailure::ConnectRefused)) << why;
}

TEST(NetTimeouts, CommandLineExitsThreeWhenNoServerAnswers) {
    SilentListener silent(true);
    std::string err;
    const std::string server = " --server ANY@127.0.0.1:" + std::to_string(silent.Port()) + " --timeout 1";
    EXPECT_EQ(RunCommand(std::string("'") + DORVANELLE_CLI + "' echo" + server, nullptr, &err), 3);
    EXPECT_NE(err.find("timed out waiting for ANY to accept the association"), std::string::npos) << err;
    TempFolder folder;
    const GeneratedStudy study = MakeStudy(folder.File("in"), "1.2.826.0.1.3680043.10.41", 1);
    EXPECT_EQ(RunCommand(std::string("'") + DORVANELLE_CLI + "' send" + server + " '" + study.files[0] + "'", nullptr,
                         &err),
              3);
    EXPECT_NE(err.find("1 file: 0 sent, 0 refused, 1 not sent"), std::string::npos) << err;
}

// A retrieve interrupted part-way, by the user or by the server's end: the files
// that arrived are whole and stay.
class InterruptedRetrieve : public ::testing::Test {
protected:
    void SetUp() override {
        std::string problem;
        m_server = TestServer::Start(ServerKind::Orthanc, problem);
        if (m_server == nullptr) {
            if (MaySkipMissingServer() && problem.find("not installed") != std::string::npos) GTEST_SKIP() << problem;
            FAIL() << problem;
        }
        m_study = MakeStudy(m_folder.File("in"), "1.2.826.0.1.3680043.10.51", 40);
        const SendResult sent = Send(m_server->Settings(), m_study.files);
        ASSERT_EQ(sent.stored, m_study.files.size()) << sent.failure;
        m_request.studyUid = m_study.studyUid;
        m_request.folder = m_folder.File("back");
    }

    void ExpectWholeFiles(const RetrieveResult& result) {
        for (const std::string& path : result.files) {
            StoredFileIdentity identity;
            ASSERT_TRUE(ReadStoredFileIdentity(path, identity)) << path;
            EXPECT_EQ(DataSetBytes(path).size(), DataSetBytes(m_study.files[0]).size()) << path;
        }
        // No temporary is left behind.
        for (const fs::directory_entry& entry : fs::recursive_directory_iterator(m_request.folder)) {
            EXPECT_FALSE(entry.path().filename().string().ends_with(".tmp")) << entry.path();
        }
    }

    TempFolder m_folder;
    std::unique_ptr<TestServer> m_server;
    GeneratedStudy m_study;
    RetrieveRequest m_request;
};

TEST_F(InterruptedRetrieve, CancelStopsTheGetAndKeepsWhatArrived) {
    CancelToken cancel;
    RetrieveObserver observer;
    observer.cancel = &cancel;
    observer.progress = [&](const RetrieveProgress& progress) {
        if (progress.stored == 3) cancel.Cancel();
    };
    const RetrieveResult result = Retrieve(m_server->Settings(), m_request, observer);
    EXPECT_TRUE(result.failure.Is(NetFailure::Cancelled)) << result.failure;
    EXPECT_GE(result.files.size(), 3u);
    EXPECT_LT(result.files.size(), m_study.files.size());
    ExpectWholeFiles(result);
}

TEST_F(InterruptedRetrieve, ServerEndingMidTransferKeepsWhatArrived) {
    RetrieveObserver observer;
    observer.progress = [&](const RetrieveProgress& progress) {
        if (progress.stored == 3) m_server->Kill();
    };
    const RetrieveResult result = Retrieve(m_server->Settings(), m_request, observer);
    EXPECT_TRUE(result.failure.Is(NetFailure::ConnectionLost) || result.failure.Is(NetFailure::ProtocolFault))
        << result.failure;
    EXPECT_NE(result.failure.Text().find("C-GET"), std::string::npos) << result.failure;
    EXPECT_GE(result.files.size(), 3u);
    EXPECT_LT(result.files.size(), m_study.files.size());
    ExpectWholeFiles(result);
}

TEST_F(InterruptedRetrieve, NearlyFullDiskStopsWithItsReason) {
    m_request.keepFreeBytes = ~std::uint64_t{0};
    for (RetrieveMethod method : {RetrieveMethod::Get, RetrieveMethod::Move}) {
        m_request.method = method;
        m_request.movePort = m_server->MovePort();
        const RetrieveResult result = Retrieve(m_server->Settings(), m_request);
        EXPECT_TRUE(result.failure.Is(NetFailure::DiskNearlyFull)) << result.failure;
        EXPECT_NE(result.failure.Text().find("is nearly full"), std::string::npos);
        EXPECT_TRUE(result.files.empty());
    }
}

TEST_F(InterruptedRetrieve, MoveToAPortInUseSaysSo) {
    SilentListener busy(true);
    m_request.method = RetrieveMethod::Move;
    m_request.movePort = busy.Port();
    const RetrieveResult result = Retrieve(m_server->Settings(), m_request);
    EXPECT_TRUE(result.failure.Is(NetFailure::ReceiverNotOpened)) << result.failure;
    EXPECT_NE(result.failure.Text().find(std::to_string(busy.Port())), std::string::npos) << result.failure;
}

}  // namespace
