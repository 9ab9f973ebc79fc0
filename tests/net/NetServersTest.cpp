// The network layer and the command line against real servers on 127.0.0.1:
// Orthanc and DCMTK's dcmqrscp, each started for the test and stopped after.
// Generated studies, uncompressed and compressed, go in with our own send and come
// back by C-FIND, C-GET and C-MOVE byte for byte.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "net/Find.h"
#include "net/NetFailure.h"
#include "net/Retrieve.h"
#include "net/Send.h"
#include "tests/net/NetTestFiles.h"
#include "tests/net/TestServers.h"
#include "tests/support/DicomDirBytes.h"
#include "tests/support/TempFiles.h"

namespace fs = std::filesystem;

namespace {

std::string Cli() { return DORVANELLE_CLI; }

class ServerTest : public ::testing::TestWithParam<ServerKind> {
protected:
    void SetUp() override {
        std::string problem;
        m_server = TestServer::Start(GetParam(), problem);
        if (m_server == nullptr) {
            if (MaySkipMissingServer() && problem.find("not installed") != std::string::npos) GTEST_SKIP() << problem;
            FAIL() << problem;
        }
    }

    // The command line with --server for this server, then `args`.
    std::string Command(const std::string& command, const std::string& args) const {
        return "'" + Cli() + "' " + command + " --server " + m_server->Address() + " " + args;
    }

    // Sends the study's files with the library; every one must be taken.
    void Load(const GeneratedStudy& study) {
        ASSERT_FALSE(study.files.empty()) << "the study could not be generated";
        const SendResult sent = Send(m_server->Settings(), study.files);
        ASSERT_FALSE(sent.failure) << sent.failure;
        ASSERT_EQ(sent.stored, study.files.size());
    }

    // Each file of `study` came back into `folder` with the same data set bytes and syntax.
    static void ExpectSameFiles(const GeneratedStudy& study, const std::string& folder) {
        for (std::size_t i = 0; i < study.files.size(); ++i) {
            const std::string instance = study.studyUid.substr(0, study.studyUid.size() - 4) + ".1." +
                                         std::to_string(i + 1);
            const std::string back = folder + "/" + study.studyUid + "/" + instance + ".dcm";
            ASSERT_TRUE(fs::exists(back)) << back;
            EXPECT_EQ(MetaTransferSyntax(back), study.transferSyntax) << back;
            const std::vector<std::uint8_t> original = DataSetBytes(study.files[i]);
            ASSERT_FALSE(original.empty());
            EXPECT_TRUE(DataSetBytes(back) == original) << back << " differs from " << study.files[i];
        }
    }

    TempFolder m_folder;
    std::unique_ptr<TestServer> m_server;
};

TEST_P(ServerTest, SendFindAndGetBringBackTheSameBytesAsStored) {
    std::vector<GeneratedStudy> studies = {MakeStudy(m_folder.File("in/plain"), "1.2.826.0.1.3680043.10.1", 3)};
    const std::pair<StudyCoding, const char*> compressed[] = {{StudyCoding::JpegLossless, "1.2.840.10008.1.2.4.70"},
                                                              {StudyCoding::JpegLs, "1.2.840.10008.1.2.4.80"},
                                                              {StudyCoding::Rle, "1.2.840.10008.1.2.5"}};
    int root = 2;
    for (const auto& [coding, syntax] : compressed) {
        if (!m_server->TakesCompressed(syntax)) continue;
        const std::string uidRoot = "1.2.826.0.1.3680043.10." + std::to_string(root++);
        studies.push_back(MakeStudy(m_folder.File("in/" + uidRoot), uidRoot, 2, coding));
        ASSERT_FALSE(studies.back().files.empty()) << "DCMTK's compressor for " << syntax << " failed";
    }
    const GeneratedStudy& plain = studies.front();
    const GeneratedStudy& packed = studies.back();
    std::size_t fileCount = 0;
    for (const GeneratedStudy& study : studies) fileCount += study.files.size();

    // Our own send of the whole folder: every file taken.
    std::string out;
    std::string err;
    ASSERT_EQ(RunCommand(Command("send", "'" + m_folder.File("in") + "'"), &out, &err), 0) << err;
    const std::string count = std::to_string(fileCount);
    EXPECT_NE(err.find(count + " files: " + count + " sent, 0 refused, 0 not sent"), std::string::npos) << err;

    // Study, series and image level, as JSON Lines.
    ASSERT_EQ(RunCommand(Command("find", "--level study StudyInstanceUID=" + plain.studyUid), &out, &err), 0) << err;
    EXPECT_NE(out.find("\"PatientName\": \"PHANTOM^CT\""), std::string::npos) << out;
    EXPECT_NE(out.find("\"StudyInstanceUID\": \"" + plain.studyUid + "\""), std::string::npos) << out;
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << out;
    ASSERT_EQ(
        RunCommand(Command("find", "--level series StudyInstanceUID=" + packed.studyUid + " Modality="), &out, &err), 0)
        << err;
    EXPECT_NE(out.find("\"SeriesInstanceUID\": \"" + packed.seriesUid + "\""), std::string::npos) << out;
    EXPECT_NE(out.find("\"Modality\": \"CT\""), std::string::npos) << out;
    ASSERT_EQ(RunCommand(Command("find", "--level image StudyInstanceUID=" + plain.studyUid +
                                             " SeriesInstanceUID=" + plain.seriesUid),
                         &out, &err),
              0)
        << err;
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 3) << out;

    // C-GET of each study: compressed data come back compressed, as stored. Orthanc
    // names the kinds of object in a study, so each file gets a context in its own
    // syntax. dcmqrscp does not, and sends every file of a kind on the first context
    // of that kind, which is uncompressed: it refuses its compressed files, and the
    // failures are counted and said, with exit status 1.
    const std::string back = m_folder.File("back");
    for (const GeneratedStudy& study : studies) {
        const int status = RunCommand(Command("get", "--study " + study.studyUid + " --out-dir '" + back + "'"), &out, &err);
        if (GetParam() == ServerKind::Dcmqrscp && &study != &plain) {
            EXPECT_EQ(status, 1) << err;
            EXPECT_NE(err.find("the server reports 0 completed, 2 failed"), std::string::npos) << err;
            continue;
        }
        ASSERT_EQ(status, 0) << err;
        ExpectSameFiles(study, back);
    }
    // One series of a study.
    const std::string bySeries = m_folder.File("by-series");
    ASSERT_EQ(RunCommand(Command("get", "--series " + plain.seriesUid + " --study " + plain.studyUid + " --out-dir '" +
                                            bySeries + "'"),
                         &out, &err),
              0)
        << err;
    ExpectSameFiles(plain, bySeries);
    // A series by its UID alone: a query finds its study first. dcmqrscp answers
    // series queries only within a study.
    if (GetParam() == ServerKind::Orthanc) {
        const std::string alone = m_folder.File("series-alone");
        ASSERT_EQ(RunCommand(Command("get", "--series " + packed.seriesUid + " --out-dir '" + alone + "'"), &out, &err),
                  0)
            << err;
        ExpectSameFiles(packed, alone);
    }
}

TEST_P(ServerTest, MoveToOurReceiverBringsBackTheSameBytes) {
    const GeneratedStudy plain = MakeStudy(m_folder.File("in/plain"), "1.2.826.0.1.3680043.10.11", 3);
    const GeneratedStudy jpegLs =
        MakeStudy(m_folder.File("in/jpegls"), "1.2.826.0.1.3680043.10.12", 2, StudyCoding::JpegLs);
    Load(plain);
    Load(jpegLs);
    const std::string back = m_folder.File("back");
    std::string out;
    std::string err;
    for (const GeneratedStudy* study : {&plain, &jpegLs}) {
        const int status = RunCommand(Command("get", "--study " + study->studyUid + " --out-dir '" + back +
                                                         "' --move-to-port " + std::to_string(m_server->MovePort())),
                                      &out, &err);
        // dcmqrscp offers each kind in one context, JPEG-LS first then uncompressed,
        // and we take its first choice: it cannot send its uncompressed files in it.
        if (GetParam() == ServerKind::Dcmqrscp && study == &plain) {
            EXPECT_EQ(status, 1) << err;
            EXPECT_NE(err.find("the server reports 0 completed, 3 failed"), std::string::npos) << err;
            continue;
        }
        ASSERT_EQ(status, 0) << err;
        EXPECT_NE(err.find("C-MOVE of study " + study->studyUid + ": " + std::to_string(study->files.size()) +
                           " files written"),
                  std::string::npos)
            << err;
        ExpectSameFiles(*study, back);
    }
}

TEST_P(ServerTest, FindPastItsCapSaysThereAreMoreResults) {
    for (int i = 0; i < 4; ++i) Load(MakeStudy(m_folder.File("in/" + std::to_string(i)), "1.2.826.0.1.3680043.10.2" + std::to_string(i), 1));
    FindRequest request;
    request.maxMatches = 2;
    const FindResult capped = Find(m_server->Settings(), request);
    EXPECT_FALSE(capped.failure) << capped.failure;
    EXPECT_EQ(capped.matches.size(), 2u);
    EXPECT_TRUE(capped.moreThanShown);

    request.maxMatches = 4;
    const FindResult all = Find(m_server->Settings(), request);
    EXPECT_EQ(all.matches.size(), 4u);
    EXPECT_FALSE(all.moreThanShown);

    std::string out;
    std::string err;
    ASSERT_EQ(RunCommand(Command("find", "--limit 3"), &out, &err), 0) << err;
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 3) << out;
    EXPECT_NE(err.find("more results than shown"), std::string::npos) << err;
}

TEST_P(ServerTest, WrongCalledTitleIsRejectedWithItsReason) {
    ServerSettings settings = m_server->Settings();
    settings.server.aeTitle = "NOT_THE_SERVER";
    const FindResult result = Find(settings, {});
    ASSERT_TRUE(result.failure.Is(NetFailure::AssociationRejected)) << result.failure;
    EXPECT_NE(result.failure.Text().find("NOT_THE_SERVER"), std::string::npos) << result.failure;
}

TEST_P(ServerTest, SendSaysWhichFilesAreNotDicomAndExitsOne) {
    const GeneratedStudy plain = MakeStudy(m_folder.File("in"), "1.2.826.0.1.3680043.10.31", 2);
    m_folder.Put("in/notes.txt", "not an image");
    std::string err;
    EXPECT_EQ(RunCommand(Command("send", "'" + m_folder.File("in") + "'"), nullptr, &err), 1);
    EXPECT_NE(err.find("notes.txt is not a DICOM file"), std::string::npos) << err;
    EXPECT_NE(err.find("3 files: 2 sent, 1 refused, 0 not sent"), std::string::npos) << err;
}

TEST_P(ServerTest, SendOfACdSendsItsImagesNotItsDicomdir) {
    // Two studies as on a CD: the DICOMDIR beside the images it names.
    const auto cd = [&](const std::string& folder, const std::string& uidRoot) {
        MakeStudy(m_folder.File(folder), uidRoot, 2);
        WriteFileBytes(m_folder.File(folder + "/DICOMDIR"), DicomDirBytes({{"PATIENT", -1, "", {}},
                                                                           {"IMAGE", 0, "IM1.DCM", {}},
                                                                           {"IMAGE", 0, "IM2.DCM", {}}}));
    };
    cd("cd1", "1.2.826.0.1.3680043.10.41");
    cd("cd2", "1.2.826.0.1.3680043.10.42");
    std::string err;
    // The folder: its images, the DICOMDIR passed over.
    EXPECT_EQ(RunCommand(Command("send", "'" + m_folder.File("cd1") + "'"), nullptr, &err), 0) << err;
    EXPECT_NE(err.find("2 files: 2 sent, 0 refused, 0 not sent"), std::string::npos) << err;
    // The DICOMDIR named alone: the files it names.
    EXPECT_EQ(RunCommand(Command("send", "'" + m_folder.File("cd2/DICOMDIR") + "'"), nullptr, &err), 0) << err;
    EXPECT_NE(err.find("2 files: 2 sent, 0 refused, 0 not sent"), std::string::npos) << err;
}

INSTANTIATE_TEST_SUITE_P(Servers, ServerTest, ::testing::Values(ServerKind::Orthanc, ServerKind::Dcmqrscp),
                         [](const ::testing::TestParamInfo<ServerKind>& param) {
                             return std::string(ServerKindName(param.param));
                         });

}  // namespace
