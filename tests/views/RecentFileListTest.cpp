// The recent-file list: four entries, newest first, one entry per file, and menu
// texts short enough for the File menu that still name the file.
#include <gtest/gtest.h>

#include <QSettings>

#include "app/RecentFileList.h"

TEST(RecentFileList, KeepsFourNewestFirstWithoutRepeats) {
    QSettings(QStringLiteral("Davov Adivir"), QStringLiteral("Dorvanelle")).clear();
    CRecentFileList list;
    for (const char* path : {"/a", "/b", "/c", "/d", "/e", "/c"})
        list.Add(QString::fromLatin1(path));
    EXPECT_EQ(list.Paths(), (QStringList{"/c", "/e", "/d", "/b"}));
    list.Save();

    CRecentFileList reread;
    reread.Load();
    EXPECT_EQ(reread.Paths(), list.Paths());
    reread.Remove(1);
    reread.Save();
    list.Load();
    EXPECT_EQ(list.Paths(), (QStringList{"/c", "/d", "/b"}));
    // The entry that fell off is gone from the settings too.
    QSettings settings(QStringLiteral("Davov Adivir"), QStringLiteral("Dorvanelle"));
    EXPECT_FALSE(settings.contains(QStringLiteral("Recent File List/File4")));
}

TEST(RecentFileList, MenuTextsAreShortAndNameTheFile) {
    const QString longPath = QStringLiteral("/home/radiology/studies/2026/december/patient-0042/head.dcm");
    const QString shortened = CRecentFileList::Abbreviate(longPath, 30);
    EXPECT_LE(shortened.size(), 30);
    EXPECT_TRUE(shortened.endsWith(QStringLiteral("/head.dcm")));
    EXPECT_EQ(CRecentFileList::Abbreviate(QStringLiteral("/tmp/a.dcm"), 30), QStringLiteral("/tmp/a.dcm"));

    CRecentFileList list;
    list.Add(QStringLiteral("/tmp/R&D.bmp"));
    EXPECT_EQ(list.MenuText(0), QStringLiteral("&1 /tmp/R&&D.bmp"));  // "&" is not a mnemonic
}
