// The command vocabulary as data: every command id with its status-bar prompt and
// tooltip, the two menus, the toolbar and the accelerators. The main frame builds
// one QAction per command from this table and its menus, toolbar and shortcuts from
// the layouts below, so completing the vocabulary means filling in rows here.
#pragma once

#include <vector>

// Command ids, as the resource script numbers them.
enum CommandId : int {
    ID_ACTIONS_RECTANGLE = 32771,
    ID_FILE_SAVE_SELECTED = 32772,
    ID_ACTIONS_VIDEO = 32773,
    ID_SHOW_DICOM_HEADER = 32778,
    ID_FIRST_SLIDE = 32779,
    ID_PREV_SLIDE = 32780,
    ID_LAST_SLIDE = 32781,
    ID_NEXT_SLIDE = 32783,
    ID_PLAY_VIDEO = 32790,
    ID_FILTERS_SMOOTHING = 32791,
    ID_FILE_NEW = 57600,
    ID_FILE_OPEN = 57601,
    ID_FILE_CLOSE = 57602,
    ID_FILE_SAVE = 57603,
    ID_FILE_PRINT = 57607,
    ID_FILE_MRU_FILE1 = 57616,
    ID_FILE_MRU_FILE16 = 57631,
    ID_EDIT_COPY = 57634,
    ID_EDIT_CUT = 57635,
    ID_EDIT_PASTE = 57637,
    ID_EDIT_UNDO = 57643,
    ID_WINDOW_NEW = 57648,
    ID_WINDOW_ARRANGE = 57649,
    ID_WINDOW_CASCADE = 57650,
    ID_WINDOW_TILE_HORZ = 57651,
    ID_APP_ABOUT = 57664,
    ID_APP_EXIT = 57665,
    ID_NEXT_PANE = 57680,
    ID_PREV_PANE = 57681,
    ID_VIEW_TOOLBAR = 59392,
    ID_VIEW_STATUS_BAR = 59393,
};

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
    enum class Kind { Item, Separator, Popup, RecentFiles, WindowList };
    Kind kind = Kind::Item;
    const char* text = "";  // with its "&" mnemonic and, after a tab, the key name
    int id = 0;             // command of an item
    std::vector<MenuEntry> children;  // items of a popup
};

// The menu bar shown while no document window is open, and while one is.
const std::vector<MenuEntry>& NoDocumentMenu();
const std::vector<MenuEntry>& DocumentMenu();

// Toolbar buttons left to right; 0 stands for a separator. Button i (counting
// buttons only) shows cell i of the toolbar image strip.
const std::vector<int>& ToolbarLayout();

struct AcceleratorEntry {
    const char* keys;  // QKeySequence text, e.g. "Ctrl+C", "Shift+F6"
    int id;
};
// The accelerator table, in its order.
const std::vector<AcceleratorEntry>& Accelerators();
