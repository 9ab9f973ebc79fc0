// The command table is data that four places consume (actions, menus, toolbar,
// shortcuts); these tests catch rows that disagree with each other.
#include <gtest/gtest.h>

#include <QKeySequence>
#include <QString>
#include <set>
#include <string>

#include "app/CommandTable.h"

namespace {

void CollectItems(const std::vector<MenuEntry>& entries, std::vector<const MenuEntry*>& out) {
    for (const MenuEntry& entry : entries) {
        if (entry.kind == MenuEntry::Kind::Popup)
            CollectItems(entry.children, out);
        else if (entry.kind == MenuEntry::Kind::Item)
            out.push_back(&entry);
    }
}

std::vector<const MenuEntry*> ItemsOf(const std::vector<MenuEntry>& menu) {
    std::vector<const MenuEntry*> items;
    CollectItems(menu, items);
    return items;
}

TEST(CommandTable, IdsAreUniqueAndInOrder) {
    int previous = 0;
    for (const CommandInfo& row : Commands()) {
        EXPECT_LT(previous, row.id) << row.name;
        previous = row.id;
        EXPECT_EQ(FindCommand(row.id), &row);
    }
    EXPECT_EQ(FindCommand(0), nullptr);
    EXPECT_EQ(FindCommand(32787), nullptr);  // a string no command uses
}

TEST(CommandTable, EveryPlacedCommandHasARow) {
    for (const auto* menu : {&NoDocumentMenu(), &DocumentMenu()})
        for (const MenuEntry* item : ItemsOf(*menu))
            EXPECT_NE(FindCommand(item->id), nullptr) << item->text;
    for (int id : ToolbarLayout()) {
        if (id == 0) continue;
        ASSERT_NE(FindCommand(id), nullptr) << id;
        EXPECT_STRNE(FindCommand(id)->tooltip, "") << "toolbar buttons need a tooltip, " << id;
    }
    for (const AcceleratorEntry& entry : Accelerators())
        EXPECT_NE(FindCommand(entry.id), nullptr) << entry.keys;
}

TEST(CommandTable, TextsThatAreEasyToGetWrong) {
    EXPECT_STREQ(FindCommand(ID_LAST_SLIDE)->tooltip, "Move to Last Image");
    EXPECT_STREQ(FindCommand(ID_ACTIONS_VIDEO)->prompt, "Play Video ");
    EXPECT_STREQ(FindCommand(ID_ACTIONS_VIDEO)->tooltip, "Play Video Window");
    EXPECT_STREQ(FindCommand(ID_VIEW_TOOLBAR)->tooltip, "Toggle ToolBar");
    EXPECT_STREQ(FindCommand(ID_FILE_NEW)->prompt, "");
    EXPECT_STREQ(FindCommand(ID_FILE_PRINT)->tooltip, "Print");
    for (int id = ID_FILE_MRU_FILE1; id <= ID_FILE_MRU_FILE16; ++id) {
        ASSERT_NE(FindCommand(id), nullptr) << id;
        EXPECT_STREQ(FindCommand(id)->prompt, "Open this document");
    }
}

// A key name shown after the tab in a menu must be one of the accelerators of the
// same command, so that the menu never promises a key that does something else.
TEST(CommandTable, MenuKeyNamesMatchAccelerators) {
    int withKeys = 0;
    for (const auto* menu : {&NoDocumentMenu(), &DocumentMenu()})
        for (const MenuEntry* item : ItemsOf(*menu)) {
            const QString text = QString::fromLatin1(item->text);
            const qsizetype tab = text.indexOf(QLatin1Char('\t'));
            if (tab < 0) continue;
            ++withKeys;
            const QKeySequence shown(text.mid(tab + 1));
            bool matched = false;
            for (const AcceleratorEntry& entry : Accelerators())
                matched = matched || (entry.id == item->id && QKeySequence(QString::fromLatin1(entry.keys)) == shown);
            EXPECT_TRUE(matched) << item->text;
        }
    EXPECT_EQ(withKeys, 18);
}

TEST(CommandTable, AcceleratorsParseToDistinctKeys) {
    // The twelve of the first table, then zoom, window switching, display, the
    // measuring tools and the nine window presets.
    ASSERT_EQ(Accelerators().size(), 35u);
    std::set<int> combos;
    for (const AcceleratorEntry& entry : Accelerators()) {
        const QKeySequence keys = QKeySequence::fromString(QString::fromLatin1(entry.keys), QKeySequence::PortableText);
        ASSERT_EQ(keys.count(), 1) << entry.keys;
        EXPECT_NE(keys[0].key(), Qt::Key_unknown) << entry.keys;
        EXPECT_TRUE(combos.insert(keys[0].toCombined()).second) << entry.keys << " used twice";
    }
    const QKeySequence cut(QString::fromLatin1(Accelerators()[5].keys));
    EXPECT_EQ(cut[0].key(), Qt::Key_Delete);
    EXPECT_EQ(cut[0].keyboardModifiers(), Qt::ShiftModifier);
    const QKeySequence copy(QString::fromLatin1(Accelerators()[8].keys));
    EXPECT_EQ(copy[0].key(), Qt::Key_Insert);
    EXPECT_EQ(copy[0].keyboardModifiers(), Qt::ControlModifier);
    const QKeySequence undo(QString::fromLatin1(Accelerators()[4].keys));
    EXPECT_EQ(undo[0].key(), Qt::Key_Backspace);
    EXPECT_EQ(undo[0].keyboardModifiers(), Qt::AltModifier);
}

TEST(CommandTable, ToolbarGroups) {
    // Buttons between separators, left to right.
    std::vector<int> groupSizes(1, 0);
    for (int id : ToolbarLayout()) {
        if (id == 0)
            groupSizes.push_back(0);
        else
            ++groupSizes.back();
    }
    EXPECT_EQ(groupSizes, (std::vector<int>{3, 4, 1, 1, 4, 1, 1}));
    EXPECT_EQ(ToolbarLayout()[15], ID_NEXT_SLIDE);
    EXPECT_EQ(ToolbarLayout()[16], ID_LAST_SLIDE);
}

}  // namespace
