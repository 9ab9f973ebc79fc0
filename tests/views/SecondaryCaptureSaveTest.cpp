// A DICOM file the viewer saves from a DICOM image keeps its patient and study and
// becomes a Secondary Capture in a new series; one saved from a bitmap stays the bare
// image it always was. pydicom reads the saved files back.
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "app/ChildFrame.h"
#include "app/DorvanelleApp.h"
#include "tests/support/TempFiles.h"
#include "tests/tools/CliRunner.h"
#include "tests/views/ViewerTestSupport.h"
#include "tools/dicomstream/DicomStreamBuilder.h"
#include "views/CommandIds.h"

namespace {

constexpr const char* kSourceStudyUid = "1.2.826.0.1.3680043.2.1125.77.1";
constexpr const char* kSourceSeriesUid = "1.2.826.0.1.3680043.2.1125.77.2";

// A 16-bit CT image of a named patient, written in Latin-1 (ISO_IR 100).
std::vector<std::uint8_t> PatientImage() {
    DicomStreamBuilder b;
    b.Preamble().MetaGroup(kExplicitVrLittleEndian, kCtImageStorage, "1.2.826.0.1.3680043.2.1125.77.3");
    b.ExplicitText(0x0008, 0x0005, "CS", "ISO_IR 100")
        .ExplicitText(0x0008, 0x0016, "UI", kCtImageStorage)
        .ExplicitText(0x0008, 0x0018, "UI", "1.2.826.0.1.3680043.2.1125.77.3")
        .ExplicitText(0x0008, 0x0020, "DA", "20240131")
        .ExplicitText(0x0008, 0x0030, "TM", "101500")
        .ExplicitText(0x0008, 0x0050, "SH", "ACC-42")
        .ExplicitText(0x0008, 0x0060, "CS", "CT")
        .ExplicitText(0x0008, 0x1030, "LO", "Chest without contrast")
        .ExplicitText(0x0010, 0x0010, "PN", "M\xDCLLER^J\xD6RG")
        .ExplicitText(0x0010, 0x0020, "LO", "PID-0007")
        .ExplicitText(0x0010, 0x0030, "DA", "19610229")
        .ExplicitText(0x0010, 0x0040, "CS", "M")
        .ExplicitText(0x0020, 0x000D, "UI", kSourceStudyUid)
        .ExplicitText(0x0020, 0x000E, "UI", kSourceSeriesUid)
        .ExplicitText(0x0020, 0x0010, "SH", "S17")
        .ImageAttributes(24, 32, 16)
        .ExplicitText(0x0028, 0x1050, "DS", "40")
        .ExplicitText(0x0028, 0x1051, "DS", "400");
    std::vector<std::int16_t> samples;
    for (int y = 0; y < 24; ++y) {
        for (int x = 0; x < 32; ++x)
            samples.push_back(static_cast<std::int16_t>(-160 + 13 * x + 7 * y));
    }
    b.PixelData16(samples);
    return b.Bytes();
}

bool HavePydicom() { return std::system("/usr/bin/python3 -c 'import pydicom' >/dev/null 2>&1") == 0; }

// "keyword=value" lines of what pydicom reads from each file (texts as their bytes in
// Latin-1, absent elements as "-"), and whether the files' pixels are the same.
const char* const kReadBack = R"py(
import sys
import pydicom
keys = ['SpecificCharacterSet', 'SOPClassUID', 'SOPInstanceUID', 'StudyDate', 'StudyTime', 'AccessionNumber',
        'Modality', 'StudyDescription', 'DerivationDescription', 'PatientName', 'PatientID', 'PatientBirthDate',
        'PatientSex', 'StudyInstanceUID', 'SeriesInstanceUID', 'StudyID', 'Rows', 'Columns', 'WindowCenter',
        'RescaleIntercept']
files = [pydicom.dcmread(p, force=True) for p in sys.argv[1:]]
for i, ds in enumerate(files):
    for k in keys:
        v = ds.get(k, '-')
        if k == 'PatientName' and v != '-':
            v = ds['PatientName'].value.original_string.decode('latin-1') if hasattr(ds['PatientName'].value, 'original_string') else str(v)
        print('%d.%s=%s' % (i, k, v))
print('samepixels=%s' % (files[0].PixelData == files[-1].PixelData))
)py";

std::map<std::string, std::string> ReadBack(TempFolder& folder, const std::vector<std::string>& files) {
    const std::string script = folder.Put("readback.py", std::string_view(kReadBack));
    std::string command = "/usr/bin/python3 " + script;
    for (const std::string& f : files)
        command += " '" + f + "'";
    command += " >" + folder.File("readback.txt") + " 2>&1";
    std::map<std::string, std::string> values;
    if (std::system(command.c_str()) != 0) return values;
    std::ifstream in(folder.File("readback.txt"));
    for (std::string line; std::getline(in, line);) {
        const std::size_t eq = line.find('=');
        if (eq != std::string::npos) values[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return values;
}

class SecondaryCaptureSave : public ViewerApp {
protected:
    void SaveAs(int command, const std::string& path) {
        dialogs.saveAnswer = QString::fromStdString(path);
        Run(command);
        Idle();
    }
};

TEST_F(SecondaryCaptureSave, ASavedDicomImageKeepsItsPatientAndStudyInANewSeries) {
    if (!HavePydicom()) GTEST_SKIP() << "python3-pydicom is needed (scripts/install-deps)";
    const std::string source = folder.Put("source.dcm", PatientImage());
    const std::string whole = folder.File("whole.dcm");
    const std::string part = folder.File("part.dcm");
    const std::string picture = folder.File("picture.bmp");
    const std::string bare = folder.File("bare.dcm");
    CChildFrame* child = Open(source);
    ASSERT_NE(child, nullptr);
    SaveAs(ID_FILE_SAVE, whole);
    SaveAs(ID_FILE_SAVE, picture);
    Run(ID_ACTIONS_RECTANGLE);
    DragPixels(child->View(), {4, 2}, {20, 12});
    SaveAs(ID_FILE_SAVE_SELECTED, part);
    ASSERT_NE(Open(picture), nullptr);
    SaveAs(ID_FILE_SAVE, bare);
    for (const FakeDialogs::Message& message : dialogs.messages)
        ADD_FAILURE() << message.text.toStdString();
    std::map<std::string, std::string> v = ReadBack(folder, {whole, part, bare});
    ASSERT_FALSE(v.empty()) << "pydicom could not read the saved files";

    for (const char* file : {"0.", "1."}) {
        SCOPED_TRACE(file);
        auto at = [&](const char* key) { return v[std::string(file) + key]; };
        EXPECT_EQ(at("SpecificCharacterSet"), "ISO_IR 100");
        EXPECT_EQ(at("PatientName"), "M\u00DCLLER^J\u00D6RG");
        EXPECT_EQ(at("PatientID"), "PID-0007");
        EXPECT_EQ(at("PatientBirthDate"), "19610229");
        EXPECT_EQ(at("PatientSex"), "M");
        EXPECT_EQ(at("StudyInstanceUID"), kSourceStudyUid);
        EXPECT_EQ(at("StudyDate"), "20240131");
        EXPECT_EQ(at("StudyTime"), "101500");
        EXPECT_EQ(at("AccessionNumber"), "ACC-42");
        EXPECT_EQ(at("StudyDescription"), "Chest without contrast");
        EXPECT_EQ(at("StudyID"), "S17");
        EXPECT_EQ(at("SOPClassUID"), "1.2.840.10008.5.1.4.1.1.7");
        EXPECT_EQ(at("Modality"), "OT");
        EXPECT_NE(at("SeriesInstanceUID"), kSourceSeriesUid);
        EXPECT_NE(at("DerivationDescription"), "-");
        // The image elements are those a bitmap's save writes.
        EXPECT_EQ(at("WindowCenter"), v["2.WindowCenter"]);
        EXPECT_EQ(at("RescaleIntercept"), v["2.RescaleIntercept"]);
        // UIDs of digits and dots, no longer than 64 characters.
        for (const char* uid : {"SOPInstanceUID", "SeriesInstanceUID"}) {
            const std::string text = at(uid);
            EXPECT_LE(text.size(), 64u) << text;
            EXPECT_EQ(text.rfind("2.25.", 0), 0u) << text;
            EXPECT_EQ(text.find_first_not_of("0123456789."), std::string::npos) << text;
        }
    }
    // Each save is an instance and a series of its own; the part says it is one.
    EXPECT_NE(v["0.SOPInstanceUID"], v["1.SOPInstanceUID"]);
    EXPECT_NE(v["0.SeriesInstanceUID"], v["1.SeriesInstanceUID"]);
    EXPECT_EQ(v["1.Rows"], "10");
    EXPECT_EQ(v["1.Columns"], "16");
    EXPECT_NE(v["1.DerivationDescription"].find("Part of frame 1"), std::string::npos) << v["1.DerivationDescription"];
    // The picture's pixels are those of the same picture saved from a bitmap, which
    // stays the bare image: no patient, no UIDs.
    EXPECT_EQ(v["samepixels"], "True");
    EXPECT_EQ(v["2.PatientName"], "-");
    EXPECT_EQ(v["2.SOPClassUID"], "-");
    EXPECT_EQ(v["2.StudyInstanceUID"], "-");

    // The program reads back what it saved, patient and image.
    const CliRun info = RunCli({"info", whole});
    EXPECT_EQ(info.status, 0) << info.err;
    EXPECT_NE(info.out.find("\"rows\": 24"), std::string::npos) << info.out;
    const CliRun dump = RunCli({"dump", whole});
    EXPECT_EQ(dump.status, 0) << dump.err;
    EXPECT_NE(dump.out.find("PID-0007"), std::string::npos) << dump.out;
}

}  // namespace
