// What the query window asks a server for and how it shows the answers: the study
// search as C-FIND keys, names and dates as people read them, a server's entries
// checked before they are kept, and the arguments that reach the network helper.
#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>

#include "tests/views/QStringPrinter.h"
#include "views/DicomServers.h"
#include "views/QueryResultsTree.h"
#include "views/ServerDialog.h"
#include "views/StudySearch.h"

namespace {

TEST(StudySearch, NamesMatchByTheirBeginningAndDescriptionsAnywhereUnlessPatternsAreGiven) {
    CStudySearch search;
    search.patientName = QStringLiteral(" DOE ");
    search.description = QStringLiteral("chest");
    search.patientId = QStringLiteral("12\\34");  // a backslash would split the value in two
    search.modality = QStringLiteral("ct");
    EXPECT_EQ(StudySearchKeys(search), (QStringList{"PatientName=DOE*", "PatientID=1234", "ModalitiesInStudy=CT",
                                                    "StudyDescription=*chest*"}));
    search = {};
    search.patientName = QStringLiteral("D?E^J*");
    search.description = QStringLiteral("CT*");
    search.accession = QStringLiteral("A1");
    EXPECT_EQ(StudySearchKeys(search), (QStringList{"PatientName=D?E^J*", "AccessionNumber=A1", "StudyDescription=CT*"}));
    EXPECT_TRUE(StudySearchKeys({}).isEmpty());
}

TEST(StudySearch, DatesMakeOneDayOrARangeOpenAtEitherEnd) {
    CStudySearch search;
    search.from = QDate(2024, 1, 31);
    search.to = QDate(2024, 1, 31);
    EXPECT_EQ(StudySearchKeys(search), QStringList{"StudyDate=20240131"});
    search.to = QDate(2024, 2, 29);
    EXPECT_EQ(StudySearchKeys(search), QStringList{"StudyDate=20240131-20240229"});
    search.to = {};
    EXPECT_EQ(StudySearchKeys(search), QStringList{"StudyDate=20240131-"});
    search.from = {};
    search.to = QDate(2024, 2, 29);
    EXPECT_EQ(StudySearchKeys(search), QStringList{"StudyDate=-20240229"});
}

TEST(StudySearch, PersonNamesAndDatesReadAsPeopleWriteThem) {
    EXPECT_EQ(PersonNameText(QStringLiteral("DOE^JANE^M^DR^III")), QStringLiteral("DOE, DR JANE M III"));
    EXPECT_EQ(PersonNameText(QStringLiteral("DOE")), QStringLiteral("DOE"));
    EXPECT_EQ(PersonNameText(QStringLiteral("^JANE")), QStringLiteral("JANE"));
    // Only the alphabetic group of a name with ideographic and phonetic ones.
    EXPECT_EQ(PersonNameText(QStringLiteral("YAMADA^TARO=山田^太郎=やまだ^たろう")), QStringLiteral("YAMADA, TARO"));
    EXPECT_EQ(DicomDateText(QStringLiteral("20240131")), QStringLiteral("2024-01-31"));
    EXPECT_EQ(DicomDateText(QStringLiteral("2024")), QStringLiteral("2024"));
}

TEST(QueryResults, DatesAndCountsSortAsDatesAndNumbers) {
    CQueryResultsTree tree;
    tree.AddStudy({{"StudyInstanceUID", "1.1"}, {"StudyDate", "20230105"}, {"NumberOfStudyRelatedInstances", "9"}});
    tree.AddStudy({{"StudyInstanceUID", "1.2"}, {"StudyDate", "20240101"}, {"NumberOfStudyRelatedInstances", "120"}});
    tree.AddStudy({{"StudyInstanceUID", "1.3"}, {"StudyDate", ""}});
    // Newest first at the start.
    EXPECT_EQ(CQueryResultsTree::StudyUid(tree.topLevelItem(0)), QStringLiteral("1.2"));
    tree.sortByColumn(CQueryResultsTree::kImages, Qt::AscendingOrder);
    QStringList order;
    for (int i = 0; i < tree.topLevelItemCount(); ++i)
        order << tree.topLevelItem(i)->text(CQueryResultsTree::kImages);
    EXPECT_EQ(order, (QStringList{"", "9", "120"}));
    // A series given twice (a server that repeats itself) is listed once.
    QTreeWidgetItem* study = tree.FindStudy(QStringLiteral("1.1"));
    tree.AddSeries(study, {{"SeriesInstanceUID", "1.1.1"}, {"SeriesNumber", "2"}, {"Modality", "MR"}});
    tree.AddSeries(study, {{"SeriesInstanceUID", "1.1.1"}, {"SeriesNumber", "2"}, {"Modality", "MR"}});
    ASSERT_EQ(study->childCount(), 1);
    EXPECT_EQ(CQueryResultsTree::Describe(study->child(0)), QStringLiteral("series 2 (MR) of (no name)"));
}

TEST(DicomServers, EntriesThatCannotMakeAServerAreRefusedWithTheReason) {
    CDicomServer server{QStringLiteral("PACS"), QStringLiteral("ARCHIVE"), QStringLiteral("fe80::1"), 11112};
    EXPECT_TRUE(server.Problem().isEmpty());
    // An IPv6 address is bracketed so that the port stays apart.
    EXPECT_EQ(server.HelperArguments(), (QStringList{"--server", "ARCHIVE@[fe80::1]:11112", "--calling-ae", "DORVANELLE",
                                                     "--timeout", "30"}));
    server.aeTitle = QStringLiteral("MUCH TOO LONG A TITLE");
    EXPECT_FALSE(server.Problem().isEmpty());

    CServerDialog dialog(CDicomServer{});
    dialog.findChild<QLineEdit*>(QStringLiteral("serverAeTitle"))->setText(QStringLiteral("BACK\\SLASH"));
    dialog.findChild<QLineEdit*>(QStringLiteral("serverHost"))->setText(QStringLiteral("pacs"));
    dialog.accept();
    EXPECT_NE(dialog.result(), QDialog::Accepted);
    EXPECT_TRUE(dialog.findChild<QLabel*>(QStringLiteral("serverProblem"))->text().contains(QStringLiteral("AE title")));
    dialog.findChild<QLineEdit*>(QStringLiteral("serverAeTitle"))->setText(QStringLiteral("PACS"));
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.Server().host, QStringLiteral("pacs"));
}

}  // namespace
