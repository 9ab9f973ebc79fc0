// The command vocabulary as data: every command id with its status-bar prompt and
// tooltip, the two menus, the toolbar and the accelerators. The main frame builds
// one QAction per command from this table and its menus, toolbar and shortcuts from
// the layouts below, so completing the vocabulary means filling in rows here.
#pragma once

#include <vector>

#include "views/CommandIds.h"

struct CommandInfo {
    int id;
    const char* name;     // "ID_FILE_OPEN"
    const char* prompt;   // status-bar text while highlighted or hovered; "" for none
    const char* tooltip;  // "" for none
};

// Every command of the vocabulary, handled or not, in id order.
const std::vector<CommandInfo>& Commands();
// The row of `id`, or null.
const CommandInfo* FindCommand(int id);

struct MenuEntry {
    enum class Kind { Item, Separator, Popup, RecentFiles, WindowList, Choices };
    Kind kind = Kind::Item;
    const char* text = "";            // with its "&" mnemonic and, after a tab, the key name
    int id = 0;                       // command of an item
    std::vector<MenuEntry> children;  // items of a popup
};

// The menu bar shown while no document window is open, and while one is.
const std::vector<MenuEntry>& NoDocumentMenu();
const std::vector<MenuEntry>& DocumentMenu();

// Toolbar buttons left to right; 0 stands for a separator. Button i (counting
// buttons only) shows cell i of the toolbar image strip.
const std::vector<int>& ToolbarLayout();

// The zoom buttons, on a toolbar of their own beside the main one.
const std::vector<int>& ZoomToolbarLayout();

struct AcceleratorEntry {
    const char* keys;  // QKeySequence text, e.g. "Ctrl+C", "Shift+F6"
    int id;
};
// The accelerator table, in its order.
const std::vector<AcceleratorEntry>& Accelerators();
