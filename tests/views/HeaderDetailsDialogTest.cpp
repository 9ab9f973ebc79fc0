// The header details dialog over files generated for each case: what rows the
// listing holds, how cells read, and what happens when there is nothing to read.
#include <gtest/gtest.h>

#include <QHeaderView>
#include <QPalette>
#include <QSignalSpy>
#include <QTest>
#include <QTreeView>
#include <filesystem>
#include <fstream>

#include "document/DorvanelleDoc.h"
#include "tests/support/TempFiles.h"
#include "tests/views/QStringPrinter.h"
#include "tools/dicomstream/DicomStreamBuilder.h"
#include "views/HeaderDetailsDialog.h"
#include "views/HeaderListModel.h"

namespace {

// The dialog waits for its walk, which runs on a thread of its own.
bool Listed(HeaderDetailsDialog& dialog) {
    if (dialog.listingFinished()) return true;
    QSignalSpy listed(&dialog, &HeaderDetailsDialog::listed);
    return listed.wait(10000) || dialog.listingFinished();
}

QString Cell(const HeaderDetailsDialog& dialog, int row, int column) {
    return dialog.model()->index(row, column).data().toString();
}

// The row of the first element with this tag, or -1.
int FindRow(const HeaderDetailsDialog& dialog, std::uint16_t group, std::uint16_t element) {
    const auto& rows = dialog.model()->rows();
    for (std::size_t i = 0; i < rows.size(); ++i)
        if (rows[i].group == group && rows[i].element == element) return static_cast<int>(i);
    return -1;
}

// A file in the standard form: zero preamble, DICM, meta group, then a private
// element, a name in Windows-1252, a sequence of undefined length and pixel data.
DicomStreamBuilder SampleStudy() {
    DicomStreamBuilder b;
    b.Preamble()
        .MetaGroup()
        .ExplicitText(0x0009, 0x0010, "LO", "ACME 1.0")
        .ExplicitText(0x0010, 0x0010, "PN", "O\x92Neill^Ann")
        .BeginSequence(0x0008, 0x1140)
        .BeginItem()
        .ExplicitText(0x0008, 0x1150, "UI", "1.2.3")
        .EndItem()
        .EndSequence()
        .ExplicitUS(0x0028, 0x0010, 512)
        .PixelData16({1, 2, 3, 4});
    return b;
}

class HeaderDialogTest : public ::testing::Test {
protected:
    std::string Write(const DicomStreamBuilder& b, const std::string& name = "study.dcm") {
        const std::string path = m_folder.File(name);
        EXPECT_TRUE(b.WriteTo(path));
        return path;
    }
    TempFolder m_folder;
};

TEST_F(HeaderDialogTest, ListsEveryElementInFileOrder) {
    HeaderDetailsDialog dialog(Write(SampleStudy()));
    ASSERT_TRUE(Listed(dialog));
    ASSERT_TRUE(dialog.fileWasRead());
    EXPECT_TRUE(dialog.notice().isEmpty());
    // The walk starts right after the preamble and its prefix.
    EXPECT_EQ(Cell(dialog, 0, HeaderListModel::Group), "0x0002");
    EXPECT_EQ(Cell(dialog, 0, HeaderListModel::Element), "0x0000");
    EXPECT_EQ(Cell(dialog, 0, HeaderListModel::VR), "UL");

    const int privateRow = FindRow(dialog, 0x0009, 0x0010);
    ASSERT_GE(privateRow, 0);
    EXPECT_EQ(Cell(dialog, privateRow, HeaderListModel::TagName), "");
    EXPECT_EQ(Cell(dialog, privateRow, HeaderListModel::VR), "");
    EXPECT_EQ(Cell(dialog, privateRow, HeaderListModel::VL), "8");

    // The sequence of undefined length shows 0; its item's elements follow it.
    const int sequence = FindRow(dialog, 0x0008, 0x1140);
    ASSERT_GE(sequence, 0);
    EXPECT_EQ(Cell(dialog, sequence, HeaderListModel::VL), "0");
    EXPECT_EQ(FindRow(dialog, 0x0008, 0x1150), sequence + 1);
    EXPECT_EQ(Cell(dialog, sequence + 2, HeaderListModel::Element), "0xE00D");
    EXPECT_EQ(Cell(dialog, sequence + 3, HeaderListModel::Element), "0xE0DD");

    const int last = dialog.model()->rowCount() - 1;
    EXPECT_EQ(Cell(dialog, last, HeaderListModel::Group), "0x7FE0");
    EXPECT_EQ(Cell(dialog, last, HeaderListModel::VL), "8");
    EXPECT_EQ(FindRow(dialog, 0x0028, 0x0010), last - 1);
    EXPECT_EQ(Cell(dialog, last - 1, HeaderListModel::Value), "512");
}

TEST_F(HeaderDialogTest, NamesAndValuesReadAsWindows1252) {
    HeaderDetailsDialog dialog(Write(SampleStudy()));
    ASSERT_TRUE(Listed(dialog));
    const int row = FindRow(dialog, 0x0010, 0x0010);
    ASSERT_GE(row, 0);
    EXPECT_EQ(Cell(dialog, row, HeaderListModel::TagName), QString::fromUtf8("Patient\u2019s Name"));
    EXPECT_EQ(Cell(dialog, row, HeaderListModel::VR), "PN");
    // The text is shown as stored, its padding blank included.
    EXPECT_EQ(Cell(dialog, row, HeaderListModel::Value), QString::fromUtf8("O\u2019Neill^Ann "));
}

TEST_F(HeaderDialogTest, EachOpeningReadsTheFileAsItIsNow) {
    const std::string path = Write(SampleStudy());
    HeaderDetailsDialog first(path);
    ASSERT_TRUE(Listed(first));
    HeaderDetailsDialog second(path);
    ASSERT_TRUE(Listed(second));
    ASSERT_EQ(first.model()->rowCount(), second.model()->rowCount());
    for (int row = 0; row < first.model()->rowCount(); ++row)
        for (int column = 0; column < HeaderListModel::ColumnCount; ++column)
            ASSERT_EQ(Cell(first, row, column), Cell(second, row, column)) << row << "," << column;

    DicomStreamBuilder changed;
    changed.ImplicitUS(0x0028, 0x0011, 7);
    Write(changed);
    HeaderDetailsDialog third(path);
    ASSERT_TRUE(Listed(third));
    ASSERT_EQ(third.model()->rowCount(), 1);
    EXPECT_EQ(Cell(third, 0, HeaderListModel::Element), "0x0011");
    EXPECT_EQ(first.model()->rowCount(), second.model()->rowCount());  // earlier listings stand
}

class NoUi : public IDocumentUi {
    void UpdateControlPanel(const CDorvanelleDoc&) override {}
    void ClearControlPanel() override {}
    void ShowNotice(const std::string&) override {}
};

// The dialog of an open document walks the bytes the document's reader holds, on a
// thread of its own: it shows at once, saying it is reading, and lists the rows a
// fresh read lists. A file changed since the document opened is not listed as if it
// were the one shown: the dialog says it changed. A dialog closed while its walk
// runs drops the walk.
TEST_F(HeaderDialogTest, ADocumentsDialogListsWhatItsReaderOpened) {
    const std::string path = Write(SampleStudy());
    NoUi ui;
    CDorvanelleDoc document(ui);
    ASSERT_TRUE(document.OnOpenDocument(path, false));
    HeaderDetailsDialog dialog(document.HeaderBytes(), document.m_strDicomPath);
    EXPECT_FALSE(dialog.listingFinished());
    EXPECT_TRUE(dialog.notice().startsWith("Reading")) << dialog.notice().toStdString();
    ASSERT_TRUE(Listed(dialog));
    EXPECT_TRUE(dialog.fileWasRead());
    EXPECT_TRUE(dialog.notice().isEmpty()) << dialog.notice().toStdString();
    HeaderDetailsDialog fresh(path);
    ASSERT_TRUE(Listed(fresh));
    ASSERT_EQ(dialog.model()->rowCount(), fresh.model()->rowCount());
    for (int row = 0; row < dialog.model()->rowCount(); ++row)
        ASSERT_EQ(Cell(dialog, row, HeaderListModel::Value), Cell(fresh, row, HeaderListModel::Value)) << row;

    for (int i = 0; i < 3; ++i) {
        HeaderDetailsDialog closed(document.HeaderBytes(), path);
    }
    DicomStreamBuilder other;
    other.ImplicitUS(0x0028, 0x0011, 7);
    Write(other);
    HeaderDetailsDialog changed(document.HeaderBytes(), path);
    ASSERT_TRUE(Listed(changed));
    EXPECT_TRUE(changed.notice().contains("changed on disk")) << changed.notice().toStdString();
    EXPECT_EQ(FindRow(changed, 0x0028, 0x0011), -1);
}

TEST_F(HeaderDialogTest, NothingToReadIsSaidAndNothingIsWalked) {
    HeaderDetailsDialog bitmap("");
    ASSERT_TRUE(Listed(bitmap));
    EXPECT_FALSE(bitmap.fileWasRead());
    EXPECT_FALSE(bitmap.notice().isEmpty());
    EXPECT_EQ(bitmap.model()->rowCount(), 0);

    const std::string gone = m_folder.File("moved-away.dcm");
    HeaderDetailsDialog missing(gone);
    ASSERT_TRUE(Listed(missing));
    EXPECT_FALSE(missing.fileWasRead());
    EXPECT_TRUE(missing.notice().contains(QString::fromStdString(gone))) << missing.notice().toStdString();
    EXPECT_EQ(missing.model()->rowCount(), 0);

    HeaderDetailsDialog folder(m_folder.Path().string());
    ASSERT_TRUE(Listed(folder));
    EXPECT_FALSE(folder.fileWasRead());
    EXPECT_EQ(folder.model()->rowCount(), 0);
}

TEST_F(HeaderDialogTest, ShortAndEmptyFilesGiveEmptyLists) {
    DicomStreamBuilder preambleOnly;
    preambleOnly.Preamble();  // exactly 132 bytes: the walk does not start
    HeaderDetailsDialog dicm(Write(preambleOnly, "preamble.dcm"));
    ASSERT_TRUE(Listed(dicm));
    EXPECT_TRUE(dicm.fileWasRead());
    EXPECT_TRUE(dicm.notice().isEmpty());
    EXPECT_EQ(dicm.model()->rowCount(), 0);

    DicomStreamBuilder nothing;
    HeaderDetailsDialog empty(Write(nothing, "empty.dcm"));
    ASSERT_TRUE(Listed(empty));
    EXPECT_EQ(empty.model()->rowCount(), 0);

    // A file of zeros after the preamble: no rows, and a notice says why.
    DicomStreamBuilder zeros;
    zeros.Preamble().Raw(std::vector<std::uint8_t>(1 << 20, 0));
    HeaderDetailsDialog stopped(Write(zeros, "zeros.dcm"));
    ASSERT_TRUE(Listed(stopped));
    EXPECT_TRUE(stopped.fileWasRead());
    EXPECT_EQ(stopped.model()->rowCount(), 0);
    EXPECT_TRUE(stopped.notice().contains("repeat element (0000,0000)")) << stopped.notice().toStdString();
}

TEST_F(HeaderDialogTest, WindowAndColumns) {
    HeaderDetailsDialog dialog(Write(SampleStudy()));
    ASSERT_TRUE(Listed(dialog));
    EXPECT_EQ(dialog.windowTitle(), "Dicom File Header Details");
    EXPECT_TRUE(dialog.isModal());
    const QStringList headings = {"  Group", "Element", "Tag Name", "VR", "VL", "Value"};
    const int widths[] = {80, 80, 250, 60, 60, 280};
    for (int column = 0; column < HeaderListModel::ColumnCount; ++column) {
        EXPECT_EQ(dialog.model()->headerData(column, Qt::Horizontal).toString(), headings[column]);
        EXPECT_EQ(dialog.list()->header()->sectionSize(column), widths[column]) << column;
        EXPECT_EQ(dialog.model()->index(0, column).data(Qt::TextAlignmentRole).value<Qt::Alignment>(), Qt::AlignCenter);
    }
    const QPalette palette = dialog.list()->palette();
    EXPECT_EQ(palette.color(QPalette::Base), QColor(0, 0, 0));
    EXPECT_EQ(palette.color(QPalette::Text), QColor(0, 220, 220));
    EXPECT_EQ(dialog.list()->selectionMode(), QAbstractItemView::SingleSelection);
}

// The dialog has no buttons: Enter and Escape close it, wherever the focus is.
TEST_F(HeaderDialogTest, EnterAndEscapeClose) {
    const std::string path = Write(SampleStudy());
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
        HeaderDetailsDialog dialog(path);
        ASSERT_TRUE(Listed(dialog));
        dialog.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
        dialog.list()->setFocus();
        dialog.list()->setCurrentIndex(dialog.model()->index(2, 0));
        QTest::keyClick(dialog.list(), key);
        EXPECT_FALSE(dialog.isVisible()) << key;
        EXPECT_EQ(dialog.result(), key == Qt::Key_Escape ? QDialog::Rejected : QDialog::Accepted);
    }
}

TEST(HeaderListModel, CellTexts) {
    HeaderRow row;
    row.group = 0x7FE0;
    row.element = 0xE000;
    row.length = 0x80000000u;
    row.value = std::string("caf\xE9 \x80 \x81", 8);
    EXPECT_EQ(HeaderListModel::cellText(row, HeaderListModel::Group), "0x7FE0");
    EXPECT_EQ(HeaderListModel::cellText(row, HeaderListModel::Element), "0xE000");
    EXPECT_EQ(HeaderListModel::cellText(row, HeaderListModel::VL), "-2147483648");
    EXPECT_EQ(HeaderListModel::cellText(row, HeaderListModel::Value), QString::fromUtf8("caf\u00E9 \u20AC \u0081"));
    row.group = 0x0028;
    row.element = 0x000a;
    EXPECT_EQ(HeaderListModel::cellText(row, HeaderListModel::Group), "0x0028");
    EXPECT_EQ(HeaderListModel::cellText(row, HeaderListModel::Element), "0x000A");
}

TEST(HeaderListModel, EveryByteDecodesToOneCharacter) {
    std::string all;
    for (int byte = 1; byte < 256; ++byte)
        all.push_back(static_cast<char>(byte));
    const QString text = FromWindows1252(all.data(), all.size());
    ASSERT_EQ(text.size(), 255);
    EXPECT_EQ(text[0x92 - 1], QChar(0x2019));
    EXPECT_EQ(text[0x9F - 1], QChar(0x0178));
    EXPECT_EQ(text[0xA0 - 1], QChar(0x00A0));
    EXPECT_EQ(text[0x7F - 1], QChar(0x007F));
}

}  // namespace
