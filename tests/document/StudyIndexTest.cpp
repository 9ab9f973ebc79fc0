// The study index over real folders: a generated study, the same study through a
// DICOMDIR made by dcmmkdir, a folder mixed with the public test set's files and
// with things that are not DICOM files at all.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "dicom/DicomDirectory.h"
#include "document/StudyIndex.h"
#include "io/FolderWalk.h"
#include "tests/support/DicomDirBytes.h"
#include "tests/support/TempFiles.h"
#include "tools/dicomstream/DicomStreamBuilder.h"
#include "tools/generator/SeriesStudy.h"

namespace fs = std::filesystem;

namespace {

const fs::path kPydicomFiles = "/usr/lib/python3/dist-packages/pydicom/data/test_files";

SeriesStudyOptions SmallStudy() {
    SeriesStudyOptions o;
    o.rows = 16;
    o.columns = 16;
    o.series = 3;
    o.slices = 12;
    return o;
}

std::size_t Count(const IndexResult& r, const Reason& code) {
    for (const ProblemCount& p : r.problems) {
        if (p.first.SameCode(code)) {
            return p.count;
        }
    }
    return 0;
}

std::string ProblemList(const IndexResult& r) {
    std::string list;
    for (const ProblemCount& p : r.problems) {
        list += std::to_string(p.count) + " x " + p.first.Text() + "\n";
    }
    return list;
}

// The generated study's tree, whatever way it was read.
void ExpectGeneratedStudy(const IndexResult& r, const SeriesStudyOptions& o) {
    ASSERT_EQ(r.tree.patients.size(), 1u) << ProblemList(r);
    ASSERT_EQ(r.tree.patients[0].studies.size(), 1u);
    const Study& study = r.tree.patients[0].studies[0];
    ASSERT_EQ(study.series.size(), o.series);
    for (std::uint32_t k = 0; k < o.series; ++k) {
        const Series& series = study.series[k];
        EXPECT_EQ(series.level->seriesUid, SeriesStudySeriesUid(k));
        EXPECT_EQ(series.level->seriesNumber, static_cast<std::int32_t>(k + 1));
        EXPECT_EQ(series.level->patientName, "PHANTOM^STUDY");
        ASSERT_EQ(series.stacks.size(), 1u);
        const Stack& stack = series.stacks[0];
        ASSERT_EQ(stack.slices.size(), o.slices);
        EXPECT_EQ(stack.order, SliceOrder::Position);
        ASSERT_TRUE(stack.spacing);
        EXPECT_NEAR(*stack.spacing, SeriesStudySpacing(k), 1e-9);
        EXPECT_TRUE(stack.evenSpacing);
        // Against the positions the files hold: z grows, and with it the instance number.
        for (std::size_t i = 0; i < stack.slices.size(); ++i) {
            const IndexedInstance& instance = series.instances[stack.slices[i].instance];
            EXPECT_NEAR((*instance.fields.position)[2], SeriesStudySpacing(k) * static_cast<double>(i), 1e-9);
            EXPECT_EQ(instance.fields.instanceNumber, static_cast<std::int32_t>(i + 1));
        }
    }
}

TEST(StudyIndex, AGeneratedStudyFolder) {
    TempFolder folder;
    const SeriesStudyOptions o = SmallStudy();
    ASSERT_EQ(WriteSeriesStudy(folder.File("study"), o), "");
    std::vector<IndexProgress> progress;
    IndexOptions options;
    options.progress = [&](const IndexProgress& p) { progress.push_back(p); };
    const IndexResult r = IndexStudies({folder.File("study")}, options);
    ExpectGeneratedStudy(r, o);
    EXPECT_TRUE(r.problems.empty()) << ProblemList(r);
    EXPECT_EQ(r.filesRead, 36u);
    ASSERT_FALSE(progress.empty());
    EXPECT_FALSE(progress.back().listing);
    EXPECT_EQ(progress.back().read, 36u);
    EXPECT_EQ(progress.back().found, 36u);
}

TEST(StudyIndex, TheSameStudyThroughItsDicomdir) {
    TempFolder folder;
    SeriesStudyOptions o = SmallStudy();
    o.dicomDir = true;
    const std::string problem = WriteSeriesStudy(folder.File("cd"), o);
    if (problem.find("could not be started") != std::string::npos) {
        GTEST_SKIP() << problem;
    }
    ASSERT_EQ(problem, "");
    const IndexResult r = IndexStudies({folder.File("cd/DICOMDIR")});
    ExpectGeneratedStudy(r, o);
    EXPECT_TRUE(r.problems.empty()) << ProblemList(r);

    // The folder with the DICOMDIR at its top: every file once.
    const IndexResult whole = IndexStudies({folder.File("cd")});
    ExpectGeneratedStudy(whole, o);
    EXPECT_EQ(whole.filesRead, 36u);

    // A CD's names differ in case from the records, or carry ISO 9660 versions:
    // they are still found. A file that is gone is listed as missing under its
    // series, not dropped.
    fs::rename(folder.File("cd/IM000001"), folder.File("cd/im000001"));
    fs::rename(folder.File("cd/IM000003"), folder.File("cd/IM000003;1"));
    fs::rename(folder.File("cd/IM000004"), folder.File("cd/im000004.;1"));
    fs::remove(folder.File("cd/IM000002"));
    const IndexResult changed = IndexStudies({folder.File("cd/DICOMDIR")});
    EXPECT_EQ(Count(changed, IndexProblem::RecordMissing), 1u) << ProblemList(changed);
    std::size_t missing = 0;
    for (const Series& series : changed.tree.patients.at(0).studies.at(0).series) {
        missing += series.Count(IndexedInstance::State::Missing);
    }
    EXPECT_EQ(missing, 1u);
    EXPECT_EQ(changed.filesRead, 35u);
}

TEST(StudyIndex, DicomdirRecordsThatLeaveTheirFolderOpenNothing) {
    TempFolder folder;
    // A real DICOM file outside the DICOMDIR's folder, and links and IDs that lead there.
    DicomStreamBuilder outside;
    outside.Preamble().MetaGroup().ExplicitText(0x0020, 0x000E, "UI", "9.9.9").ImageAttributes(2, 2, 8).PixelData8(
        {1, 2, 3, 4});
    outside.WriteTo(folder.File("secret.dcm"));
    fs::create_directory(folder.File("cd"));
    fs::create_directory_symlink("..", folder.File("cd/UP"));
    WriteFileBytes(folder.File("cd/DICOMDIR"), DicomDirBytes({
                                                   {"PATIENT", -1, "", {{0x00100010, "X"}}},
                                                   {"IMAGE", 0, "..\\SECRET.DCM", {}},
                                                   {"IMAGE", 0, "UP\\SECRET.DCM", {}},
                                                   {"IMAGE", 0, "\\TMP\\SECRET.DCM", {}},
                                               }));
    const IndexResult r = IndexStudies({folder.File("cd/DICOMDIR")});
    EXPECT_EQ(Count(r, IndexProblem::RecordRefused), 3u) << ProblemList(r);
    EXPECT_EQ(r.filesRead, 0u);
    for (const Patient& patient : r.tree.patients) {
        for (const Study& study : patient.studies) {
            for (const Series& series : study.series) {
                EXPECT_NE(series.level->seriesUid, "9.9.9");
            }
        }
    }
}

TEST(StudyIndex, AMixedFolderWithThePublicTestFiles) {
    if (!fs::exists(kPydicomFiles / "CT_small.dcm")) {
        GTEST_SKIP() << "pydicom's test files are not installed";
    }
    TempFolder folder;
    const fs::path mixed = folder.Path() / "mixed";
    fs::create_directories(mixed / "public");
    for (const char* name : {"CT_small.dcm", "MR_small.dcm", "MR_small_bigendian.dcm", "rtstruct.dcm", "test-SR.dcm",
                             "rtdose.dcm", "JPEG2000.dcm", "README.txt", "no_meta.dcm", "zipMR.gz"}) {
        fs::copy_file(kPydicomFiles / name, mixed / "public" / name);
    }
    fs::copy(kPydicomFiles / "dicomdirtests", mixed / "dicomdirtests", fs::copy_options::recursive);
    ASSERT_EQ(WriteSeriesStudy((mixed / "study").string(), SmallStudy()), "");
    for (int i = 0; i < 50; ++i) {
        WriteFileBytes(mixed / ("notes" + std::to_string(i) + ".txt"), "just words\n");
    }
    const IndexResult r = IndexStudies({mixed.string()});

    // The notes, zipMR.gz, no_meta.dcm (one stray byte before its first element) and
    // three READMEs of the test sets.
    EXPECT_EQ(Count(r, HeaderScanFailure::NotDicom), 55u) << ProblemList(r);
    std::size_t series = 0;
    const Series* ct = nullptr;
    const Series* sr = nullptr;
    const Series* mr = nullptr;
    for (const Patient& patient : r.tree.patients) {
        for (const Study& study : patient.studies) {
            for (const Series& s : study.series) {
                ++series;
                for (const IndexedInstance& i : s.instances) {
                    const std::string name = fs::path(i.path).filename();
                    ct = name == "CT_small.dcm" ? &s : ct;
                    sr = name == "test-SR.dcm" ? &s : sr;
                    mr = name == "MR_small.dcm" ? &s : mr;
                }
            }
        }
    }
    ASSERT_NE(ct, nullptr);
    EXPECT_EQ(ct->stacks.at(0).rows, 128);
    EXPECT_EQ(ct->level->modality, "CT");
    ASSERT_NE(sr, nullptr);
    EXPECT_TRUE(sr->stacks.empty());  // a report: listed, no stack
    EXPECT_EQ(sr->Count(IndexedInstance::State::NoImage), 1u);
    // MR_small and its big-endian copy are one series of two slices at one place.
    ASSERT_NE(mr, nullptr);
    EXPECT_EQ(mr->instances.size(), 2u);
    // The generated study (3), the public files' own series and the DICOMDIR test set's 13.
    EXPECT_GE(series, 3u + 13u + 5u);
}

TEST(StudyIndex, AStudyCopiedBesideItselfGivesEachSliceOnce) {
    TempFolder folder;
    const SeriesStudyOptions o = SmallStudy();
    ASSERT_EQ(WriteSeriesStudy(folder.File("study"), o), "");
    fs::copy(folder.File("study"), folder.File("study2"), fs::copy_options::recursive);
    const IndexResult r = IndexStudies({folder.Path().string()});
    ExpectGeneratedStudy(r, o);
    EXPECT_EQ(Count(r, IndexProblem::SameInstance), 36u) << ProblemList(r);
    EXPECT_EQ(r.tree.patients.at(0).studies.at(0).series.at(0).instances.at(0).path.find("study2"),
              std::string::npos);
}

TEST(StudyIndex, WhatIsNotAStudyIsCountedNotFatal) {
    TempFolder folder;
    const fs::path root = folder.Path() / "root";
    fs::create_directories(root / "sub");
    ASSERT_EQ(WriteSeriesStudy((root / "sub" / "study").string(), SmallStudy()), "");
    fs::create_directory_symlink("..", root / "sub" / "loop");         // back to root: a loop
    fs::create_directory_symlink("sub/study", root / "again");         // the study a second way
    fs::create_symlink("nowhere", root / "broken");
    fs::create_symlink("self", root / "self");                           // a link to itself
    ASSERT_EQ(::mkfifo((root / "pipe").c_str(), 0600), 0);               // never opened
    WriteFileBytes(root / "empty.dcm", "");
    WriteFileBytes(root / "DICOMDIR", "not a directory");
    const IndexResult r = IndexStudies({root.string(), folder.File("gone")});

    ExpectGeneratedStudy(r, SmallStudy());
    EXPECT_EQ(r.filesRead, 36u + 1u);  // each slice once, and empty.dcm
    EXPECT_EQ(Count(r, FolderWalkProblem::LinkLoop), 2u) << ProblemList(r);
    EXPECT_EQ(Count(r, FolderWalkProblem::FolderSeenBefore), 1u);
    EXPECT_EQ(Count(r, FolderWalkProblem::BrokenLink), 1u);
    EXPECT_EQ(Count(r, FolderWalkProblem::NotOrdinaryFile), 1u);
    EXPECT_EQ(Count(r, HeaderScanFailure::NotDicom), 1u);
    EXPECT_EQ(Count(r, DirectoryFailure::NotADirectory), 1u);
    EXPECT_EQ(Count(r, IndexProblem::PathNotFound), 1u);
}

TEST(StudyIndex, FilesThatVanishAfterListingAndCancel) {
    TempFolder folder;
    ASSERT_EQ(WriteSeriesStudy(folder.File("study"), SmallStudy()), "");
    IndexOptions options;
    options.threads = 1;
    bool removed = false;
    options.progress = [&](const IndexProgress& p) {
        if (!p.listing && !removed) {
            removed = true;
            fs::remove(folder.File("study/IM000007"));
            fs::remove(folder.File("study/IM000008"));
        }
    };
    const IndexResult r = IndexStudies({folder.File("study")}, options);
    EXPECT_EQ(Count(r, IndexProblem::Vanished), 2u) << ProblemList(r);
    EXPECT_EQ(r.filesRead, 34u);

    std::atomic<bool> cancel{true};
    IndexOptions cancelled;
    cancelled.cancel = &cancel;
    const IndexResult none = IndexStudies({folder.File("study")}, cancelled);
    EXPECT_TRUE(none.cancelled);
    EXPECT_EQ(none.filesRead, 0u);
}

TEST(StudyIndex, AFolderOfOtherFilesCostsCountsOnly) {
    TempFolder folder;
    for (int i = 0; i < 3000; ++i) {
        WriteFileBytes(folder.Path() / ("f" + std::to_string(i)), std::string(200, static_cast<char>('a' + i % 26)));
    }
    const IndexResult r = IndexStudies({folder.Path().string()});
    EXPECT_EQ(Count(r, HeaderScanFailure::NotDicom), 3000u);
    EXPECT_EQ(r.problems.size(), 1u);
    EXPECT_TRUE(r.tree.patients.empty());
}

}  // namespace

TEST(StudyIndex, NamesInAnyCharacterSetOrFormAreOnePatientInUtf8) {
    TempFolder folder;
    // One patient's series written by two systems, one in Latin-1 and one in UTF-8,
    // and a Japanese patient's name with ISO 2022 escapes.
    const auto write = [&](const std::string& name, std::string_view set, std::string_view patient,
                           std::string_view series) {
        DicomStreamBuilder b;
        b.Preamble().MetaGroup().ExplicitText(0x0008, 0x0005, "CS", set).ExplicitText(0x0010, 0x0010, "PN", patient);
        b.ExplicitText(0x0010, 0x0020, "LO", "ID1").ExplicitText(0x0020, 0x000D, "UI", "1.2.3");
        b.ExplicitText(0x0020, 0x000E, "UI", series).ImageAttributes(2, 2, 8).PixelData8({1, 2, 3, 4});
        b.WriteTo(folder.File(name));
    };
    write("latin", "ISO_IR 100", "M\xfcller^J\xf6rg", "1.2.3.9.1");
    // Written with the empty components that some systems add.
    write("utf8", "ISO_IR 192", "M\xc3\xbcller^J\xc3\xb6rg^^^", "1.2.3.9.2");
    write("jis", "\\ISO 2022 IR 87", "Yamada^Tarou=\x1b$B;3ED\x1b(B^\x1b$BB@O:\x1b(B", "1.2.3.9.3");
    const IndexResult r = IndexStudies({folder.Path().string()});
    ASSERT_EQ(r.tree.patients.size(), 2u) << ProblemList(r);
    std::vector<std::string> names;
    for (const Patient& patient : r.tree.patients) {
        names.push_back(patient.studies.at(0).series.at(0).level->patientName);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"Müller^Jörg", "Yamada^Tarou=山田^太郎"}));
    EXPECT_EQ(r.tree.patients[0].studies.at(0).series.size(), 2u);
}
