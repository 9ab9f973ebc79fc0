// The study browser over real folders: the tree of a generated study read from its
// folder and through its DICOMDIR, a series split by image size, files without an
// image and files that are not DICOM at all, thumbnails, opening a stack, a folder
// opened again, and cancelling a large folder.
#include <gtest/gtest.h>

#include <QMainWindow>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>
#include <QTreeWidget>

#include <filesystem>

#include "tests/support/TempFiles.h"
#include "tools/dicomstream/DicomStreamBuilder.h"
#include "tools/generator/SeriesStudy.h"
#include "views/StudyBrowser.h"

namespace fs = std::filesystem;

namespace {

class StudyBrowserTest : public ::testing::Test {
protected:
    void SetUp() override {
        window.resize(900, 700);
        browser = new CStudyBrowser(window.statusBar(), &window);
        window.addDockWidget(Qt::LeftDockWidgetArea, browser);
        window.show();
    }

    // Indexes `paths` and waits for the end.
    int IndexAndWait(const QStringList& paths, const QString& label) {
        QSignalSpy done(browser, &CStudyBrowser::indexFinished);
        const int entry = browser->Index(paths, label);
        EXPECT_TRUE(done.wait(20000)) << "the index never ended";
        return entry;
    }

    static QString Q(const std::string& text) { return QString::fromStdString(text); }

    // The items under `item`, depth first, as "text|images" lines.
    static QStringList Lines(const QTreeWidgetItem* item, int depth = 0) {
        QStringList lines;
        for (int i = 0; i < item->childCount(); ++i) {
            const QTreeWidgetItem* child = item->child(i);
            lines << QString(depth * 2, QLatin1Char(' ')) + child->text(CStudyBrowser::kName) + QLatin1Char('|') +
                         child->text(CStudyBrowser::kImages);
            lines << Lines(child, depth + 1);
        }
        return lines;
    }

    QMainWindow window;
    CStudyBrowser* browser = nullptr;
    TempFolder folder;
};

// The generated study's UID: its series' UIDs end in ".3.k", its own in ".2.1".
std::string StudyUid() {
    const std::string series = SeriesStudySeriesUid(0);
    return series.substr(0, series.size() - 4) + ".2.1";
}

// A file of the generated study's patient and study, in series `seriesUid`.
DicomStreamBuilder& InStudy(DicomStreamBuilder& b, const std::string& modality, const std::string& seriesUid) {
    return b.Preamble()
        .MetaGroup()
        .ExplicitText(0x0008, 0x0060, "CS", modality)
        .ExplicitText(0x0010, 0x0010, "PN", "PHANTOM^STUDY")
        .ExplicitText(0x0010, 0x0020, "LO", "PHANTOM-0002")
        .ExplicitText(0x0020, 0x000D, "UI", StudyUid())
        .ExplicitText(0x0020, 0x000E, "UI", seriesUid);
}

SeriesStudyOptions SmallStudy() {
    SeriesStudyOptions o;
    o.rows = 16;
    o.columns = 16;
    o.series = 3;
    o.slices = 12;
    return o;
}

}  // namespace

TEST_F(StudyBrowserTest, AGeneratedStudyAndTheSameThroughItsDicomdir) {
    SeriesStudyOptions o = SmallStudy();
    o.dicomDir = true;
    const std::string problem = WriteSeriesStudy(folder.File("cd"), o);
    if (problem.find("could not be started") != std::string::npos) GTEST_SKIP() << problem;
    ASSERT_EQ(problem, "");

    const int byFolder = IndexAndWait({Q(folder.File("cd"))}, QStringLiteral("cd"));
    const int byDicomdir = IndexAndWait({Q(folder.File("cd/DICOMDIR"))}, QStringLiteral("DICOMDIR"));
    QTreeWidget* tree = browser->Tree();
    ASSERT_EQ(tree->topLevelItemCount(), 2);
    const QStringList expected = {
        "PHANTOM^STUDY (PHANTOM-0002)|",
        "  Phantom series study|",
        "    Axial S1|12",
        "    Axial S2|12",
        "    Axial S3|12",
    };
    EXPECT_EQ(Lines(tree->topLevelItem(0)), expected);
    EXPECT_EQ(Lines(tree->topLevelItem(1)), expected);
    EXPECT_EQ(tree->topLevelItem(0)->text(CStudyBrowser::kName), QStringLiteral("cd: 3 series"));
    const QTreeWidgetItem* study = tree->topLevelItem(1)->child(0)->child(0);
    EXPECT_EQ(study->text(CStudyBrowser::kDate), QStringLiteral("2026-12-07"));
    EXPECT_EQ(study->text(CStudyBrowser::kAccession), QStringLiteral("ACC0001"));
    const QTreeWidgetItem* series = study->child(1);
    EXPECT_EQ(series->text(CStudyBrowser::kModality), QStringLiteral("CT"));
    EXPECT_EQ(series->text(CStudyBrowser::kNumber), QStringLiteral("2"));

    // Each series gets the thumbnail of its middle image, made in the background.
    QSignalSpy thumbnails(browser, &CStudyBrowser::thumbnailArrived);
    while (browser->ThumbnailCount() < 6 && thumbnails.wait(10000)) {
    }
    ASSERT_EQ(browser->ThumbnailCount(), 6);
    const QPixmap icon = series->icon(CStudyBrowser::kName).pixmap(64, 64);
    ASSERT_FALSE(icon.isNull());
    const QImage picture = icon.toImage();
    // The phantom's middle slice: a bright disc on black, scaled to 64 x 64.
    EXPECT_EQ(picture.size(), QSize(64, 64));
    EXPECT_GT(qGray(picture.pixel(32, 32)), 60);
    EXPECT_EQ(qGray(picture.pixel(1, 1)), 0);

    // A double click opens the series as one stack in slice order.
    QSignalSpy chosen(browser, &CStudyBrowser::stackChosen);
    emit tree->itemActivated(tree->topLevelItem(byDicomdir - 1)->child(0)->child(0)->child(2), 0);
    ASSERT_EQ(chosen.count(), 1);
    const auto stack = chosen.at(0).at(0).value<std::shared_ptr<SeriesStack>>();
    ASSERT_TRUE(stack);
    EXPECT_EQ(stack->Count(), 12);
    EXPECT_NEAR(stack->Location(11).value_or(0), 11 * SeriesStudySpacing(2), 1e-9);
    EXPECT_EQ(SeriesTitle(stack->Level()), "CT 3 Axial S3");
    (void)byFolder;
}

TEST_F(StudyBrowserTest, SplitStacksFilesWithoutImageAndFilesNotRead) {
    const SeriesStudyOptions o = SmallStudy();
    ASSERT_EQ(WriteSeriesStudy(folder.File("mixed"), o), "");
    // Two images of the second series at another size, a report in the first, and
    // two files that are not DICOM.
    for (int i = 0; i < 2; ++i) {
        DicomStreamBuilder b;
        InStudy(b, "CT", SeriesStudySeriesUid(1))
            .ImageAttributes(8, 8, 8)
            .PixelData8(std::vector<std::uint8_t>(64, static_cast<std::uint8_t>(40 * i)));
        b.WriteTo(folder.File("mixed/SMALL" + std::to_string(i)));
    }
    DicomStreamBuilder report;
    InStudy(report, "SR", SeriesStudySeriesUid(0));
    report.WriteTo(folder.File("mixed/REPORT"));
    folder.Put("mixed/notes.txt", std::string_view("nothing to see here"));
    folder.Put("mixed/empty", std::string_view(""));

    IndexAndWait({Q(folder.File("mixed"))}, QStringLiteral("mixed"));
    const QStringList lines = Lines(browser->Tree()->topLevelItem(0));
    const QString all = lines.join(QLatin1Char('\n'));
    // The second series' main stack of 12 and the 2 images of another size split off.
    EXPECT_TRUE(lines.contains(QStringLiteral("    Axial S2|14 (12 in the main stack)"))) << all.toStdString();
    EXPECT_TRUE(all.contains(QStringLiteral("Split off: ")) && all.contains(QStringLiteral("8 x 8")))
        << all.toStdString();
    EXPECT_TRUE(lines.contains(QStringLiteral("      No image: REPORT|"))) << all.toStdString();
    EXPECT_TRUE(lines.contains(QStringLiteral("Not read: 2|2"))) << all.toStdString();
    EXPECT_TRUE(all.contains(QStringLiteral(" is not a DICOM file (and 1 more like it)|2"))) << all.toStdString();

    // The stack split off opens as a stack of its own.
    QTreeWidgetItem* series = browser->SeriesItem(1, Q(SeriesStudySeriesUid(1)), 1);
    ASSERT_NE(series, nullptr);
    const std::shared_ptr<SeriesStack> split = browser->StackOf(series);
    ASSERT_TRUE(split);
    EXPECT_EQ(split->Count(), 2);
    EXPECT_EQ(split->Columns(), 8);
}

TEST_F(StudyBrowserTest, ProgressInTheStatusBarAndCancel) {
    SeriesStudyOptions o = SmallStudy();
    o.series = 2;
    o.slices = 400;
    ASSERT_EQ(WriteSeriesStudy(folder.File("large"), o), "");
    QSignalSpy done(browser, &CStudyBrowser::indexFinished);
    const int entry = browser->Index({Q(folder.File("large"))}, QStringLiteral("large"));
    auto* progress = window.statusBar()->findChild<QWidget*>(QStringLiteral("indexProgress"));
    ASSERT_NE(progress, nullptr);
    EXPECT_TRUE(progress->isVisible());
    EXPECT_TRUE(browser->Indexing());
    browser->Cancel();
    ASSERT_TRUE(done.count() == 1 || done.wait(10000));
    ASSERT_TRUE(browser->ResultOf(entry));
    // Whatever was read by then is kept and shown.
    if (browser->ResultOf(entry)->cancelled) {
        EXPECT_TRUE(browser->Tree()->topLevelItem(0)->text(CStudyBrowser::kName).endsWith("(cancelled)"));
    }
    EXPECT_FALSE(browser->Indexing());
    EXPECT_FALSE(progress->isVisible());
}

TEST_F(StudyBrowserTest, NamesShowAsTheirFilesWriteThem) {
    // A Latin-1 name beside a Japanese one written with ISO 2022 escapes.
    const auto write = [&](const std::string& name, std::string_view set, std::string_view patient) {
        DicomStreamBuilder b;
        b.Preamble().MetaGroup().ExplicitText(0x0008, 0x0005, "CS", set).ExplicitText(0x0010, 0x0010, "PN", patient);
        b.ExplicitText(0x0020, 0x000E, "UI", "1.2.3." + std::to_string(name.size()));
        b.ImageAttributes(2, 2, 8).PixelData8({1, 2, 3, 4});
        b.WriteTo(folder.File("names/" + name));
    };
    fs::create_directory(folder.File("names"));
    write("latin", "ISO_IR 100", "M\xfcller^J\xf6rg");
    write("japanese", "\\ISO 2022 IR 87", "Yamada^Tarou=\x1b$B;3ED\x1b(B^\x1b$BB@O:\x1b(B");
    IndexAndWait({Q(folder.File("names"))}, QStringLiteral("names"));
    const QString all = Lines(browser->Tree()->topLevelItem(0)).join(QLatin1Char('\n'));
    EXPECT_TRUE(all.contains(QStringLiteral("Müller^Jörg"))) << all.toStdString();
    EXPECT_TRUE(all.contains(QStringLiteral("Yamada^Tarou=山田^太郎"))) << all.toStdString();
}

TEST_F(StudyBrowserTest, AFolderOpenedAgainIsListedOnceAsItIsNow) {
    ASSERT_EQ(WriteSeriesStudy(folder.File("cd"), SmallStudy()), "");
    const int first = IndexAndWait({Q(folder.File("cd"))}, QStringLiteral("cd"));
    browser->Tree()->topLevelItem(0)->child(0)->setExpanded(false);
    // The third series goes; the folder is opened again under another spelling of its name.
    const std::shared_ptr<SeriesStack> third = browser->StackOf(browser->SeriesItem(first, Q(SeriesStudySeriesUid(2))));
    ASSERT_TRUE(third);
    for (std::int32_t i = 0; i < third->Count(); ++i)
        fs::remove(third->PathOf(i));
    const int again = IndexAndWait({Q(folder.File("cd")) + QStringLiteral("/./")}, QStringLiteral("cd again"));
    EXPECT_EQ(again, first);
    QTreeWidget* tree = browser->Tree();
    ASSERT_EQ(tree->topLevelItemCount(), 1);
    EXPECT_EQ(tree->topLevelItem(0)->text(CStudyBrowser::kName), QStringLiteral("cd again: 2 series"));
    EXPECT_EQ(Lines(tree->topLevelItem(0)).size(), 4);
    EXPECT_FALSE(tree->topLevelItem(0)->child(0)->isExpanded());
    EXPECT_EQ(browser->SeriesItem(first, Q(SeriesStudySeriesUid(2))), nullptr);

    // Another folder, and the same files chosen in another order, are one entry each.
    ASSERT_EQ(WriteSeriesStudy(folder.File("other"), SmallStudy()), "");
    const QStringList two = {Q(browser->FirstStack(first)->PathOf(1)), Q(browser->FirstStack(first)->PathOf(0))};
    const int files = IndexAndWait({two[0], two[1]}, QStringLiteral("two"));
    IndexAndWait({Q(folder.File("other"))}, QStringLiteral("other"));
    EXPECT_EQ(IndexAndWait({two[1], two[0]}, QStringLiteral("two")), files);
    EXPECT_EQ(tree->topLevelItemCount(), 3);
}
