// The command vocabulary of the viewer: ids, prompts and tooltips, the two menu
// bars, the toolbar and the accelerator table. Texts are kept exactly as the user
// sees them; "&" marks a mnemonic and a tab separates an item from its key name.
#include "app/CommandTable.h"

#include <algorithm>

namespace {

// One row per command. The MRU rows share their prompt; New, which appears nowhere
// visible, carries no text.
std::vector<CommandInfo> BuildCommands() {
    std::vector<CommandInfo> rows = {
        {ID_ACTIONS_RECTANGLE, "ID_ACTIONS_RECTANGLE", "Select Rectangle", "Select Rectangle"},
        {ID_FILE_SAVE_SELECTED, "ID_FILE_SAVE_SELECTED", "Save Selected Image", "Save Selected Image"},
        // The prompt really ends in a blank, and the tooltip names a window.
        {ID_ACTIONS_VIDEO, "ID_ACTIONS_VIDEO", "Play Video ", "Play Video Window"},
        {ID_SHOW_DICOM_HEADER, "ID_SHOW_DICOM_HEADER", "Show Dicom Header", "Show Dicom Header"},
        {ID_FIRST_SLIDE, "ID_FIRST_SLIDE", "Show First Slide", "Show First Slide"},
        {ID_PREV_SLIDE, "ID_PREV_SLIDE", "Move One Slide Left", "Move One Slide Left"},
        {ID_LAST_SLIDE, "ID_LAST_SLIDE", "Move to Last Image", "Move to Last Image"},
        {ID_NEXT_SLIDE, "ID_NEXT_SLIDE", "Move One Slide Right", "Move One Slide Right"},
        {ID_PLAY_VIDEO, "ID_PLAY_VIDEO", "Play Video", "Play Video"},
        {ID_FILTERS_SMOOTHING, "ID_FILTERS_SMOOTHING", "Smoothing", "Smoothing"},
        {ID_VIEW_ZOOM_FIT, "ID_VIEW_ZOOM_FIT", "Show the whole image in the window", "Zoom to Fit"},
        {ID_VIEW_ZOOM_ACTUAL, "ID_VIEW_ZOOM_ACTUAL", "One image pixel per screen pixel", "Actual Size"},
        {ID_VIEW_ZOOM_IN, "ID_VIEW_ZOOM_IN", "Enlarge the image around the cursor", "Zoom In"},
        {ID_VIEW_ZOOM_OUT, "ID_VIEW_ZOOM_OUT", "Reduce the image around the cursor", "Zoom Out"},
        {ID_VIEW_OVERLAY, "ID_VIEW_OVERLAY", "Show patient, study and window in the image's corners", "Corner Texts"},
        {ID_VIEW_WINDOW_LEVEL, "ID_VIEW_WINDOW_LEVEL", "Choose a grey-level window", "Window Level"},
        {ID_ACTIONS_CINE_RATE, "ID_ACTIONS_CINE_RATE", "Choose how fast Play Video shows the frames", "Cine Rate"},
        {ID_WINDOW_NEXT, "ID_WINDOW_NEXT", "Activate the next window", "Next Window"},
        {ID_WINDOW_PREV, "ID_WINDOW_PREV", "Activate the previous window", "Previous Window"},
        {ID_VIEW_INVERT, "ID_VIEW_INVERT", "Show the image's grey levels inverted (display only)", "Invert"},
        {ID_VIEW_ROTATE_RIGHT, "ID_VIEW_ROTATE_RIGHT", "Turn the image a quarter turn clockwise (display only)",
         "Rotate Right"},
        {ID_VIEW_ROTATE_LEFT, "ID_VIEW_ROTATE_LEFT", "Turn the image a quarter turn anticlockwise (display only)",
         "Rotate Left"},
        {ID_VIEW_FLIP_HORIZONTAL, "ID_VIEW_FLIP_HORIZONTAL", "Mirror the image left to right (display only)",
         "Flip Horizontal"},
        {ID_VIEW_FLIP_VERTICAL, "ID_VIEW_FLIP_VERTICAL", "Mirror the image top to bottom (display only)",
         "Flip Vertical"},
        {ID_VIEW_WINDOW_SET, "ID_VIEW_WINDOW_SET", "Type the window's centre and width", "Set Window"},
        {ID_ACTIONS_RULER, "ID_ACTIONS_RULER", "Measure a distance: drag from one point to another", "Ruler"},
        {ID_ACTIONS_ELLIPSE, "ID_ACTIONS_ELLIPSE", "Measure the values inside an ellipse: drag across it", "Ellipse"},
        {ID_ACTIONS_DELETE_MEASUREMENT, "ID_ACTIONS_DELETE_MEASUREMENT",
         "Delete the last measurement made on the frame shown", "Delete Measurement"},
        {ID_ACTIONS_DELETE_ALL_MEASUREMENTS, "ID_ACTIONS_DELETE_ALL_MEASUREMENTS",
         "Delete every measurement of the document", "Delete All Measurements"},
    };
    static const char* const kPresetNames[] = {
        "ID_VIEW_PRESET_1", "ID_VIEW_PRESET_2", "ID_VIEW_PRESET_3", "ID_VIEW_PRESET_4", "ID_VIEW_PRESET_5",
        "ID_VIEW_PRESET_6", "ID_VIEW_PRESET_7", "ID_VIEW_PRESET_8", "ID_VIEW_PRESET_9",
    };
    for (int i = 0; i <= ID_VIEW_PRESET_9 - ID_VIEW_PRESET_1; ++i)
        rows.push_back({ID_VIEW_PRESET_1 + i, kPresetNames[i], "Choose this window of the Window Level menu", ""});
    const std::vector<CommandInfo> files = {
        {ID_FILE_QUERY_RETRIEVE, "ID_FILE_QUERY_RETRIEVE", "Find studies on a DICOM server and retrieve them",
         "Query/Retrieve"},
        {ID_FILE_SEND_TO, "ID_FILE_SEND_TO", "Send the active document, its series or its study to a DICOM server",
         "Send To"},
        {ID_FILE_NEW, "ID_FILE_NEW", "", ""},
        {ID_FILE_OPEN, "ID_FILE_OPEN", "Open an existing document", "Open"},
        {ID_FILE_CLOSE, "ID_FILE_CLOSE", "Close the active document", "Close"},
        {ID_FILE_SAVE, "ID_FILE_SAVE", "Save the active document", "Save"},
        {ID_FILE_PRINT, "ID_FILE_PRINT", "Print the image shown, fitted to the page", "Print"},
    };
    rows.insert(rows.end(), files.begin(), files.end());
    static const char* const kMruNames[] = {
        "ID_FILE_MRU_FILE1",  "ID_FILE_MRU_FILE2",  "ID_FILE_MRU_FILE3",  "ID_FILE_MRU_FILE4",
        "ID_FILE_MRU_FILE5",  "ID_FILE_MRU_FILE6",  "ID_FILE_MRU_FILE7",  "ID_FILE_MRU_FILE8",
        "ID_FILE_MRU_FILE9",  "ID_FILE_MRU_FILE10", "ID_FILE_MRU_FILE11", "ID_FILE_MRU_FILE12",
        "ID_FILE_MRU_FILE13", "ID_FILE_MRU_FILE14", "ID_FILE_MRU_FILE15", "ID_FILE_MRU_FILE16",
    };
    for (int i = 0; i <= ID_FILE_MRU_FILE16 - ID_FILE_MRU_FILE1; ++i)
        rows.push_back({ID_FILE_MRU_FILE1 + i, kMruNames[i], "Open this document", ""});
    const std::vector<CommandInfo> rest = {
        {ID_EDIT_COPY, "ID_EDIT_COPY", "Copy the selection and put it on the Clipboard", "Copy"},
        {ID_EDIT_CUT, "ID_EDIT_CUT", "Cut the selection and put it on the Clipboard", "Cut"},
        {ID_EDIT_PASTE, "ID_EDIT_PASTE", "Insert Clipboard contents", "Paste"},
        {ID_EDIT_UNDO, "ID_EDIT_UNDO", "Undo the last action", "Undo"},
        {ID_WINDOW_NEW, "ID_WINDOW_NEW", "Open another window for the active document", "New Window"},
        {ID_WINDOW_ARRANGE, "ID_WINDOW_ARRANGE", "Arrange icons at the bottom of the window", "Arrange Icons"},
        {ID_WINDOW_CASCADE, "ID_WINDOW_CASCADE", "Arrange windows so they overlap", "Cascade Windows"},
        {ID_WINDOW_TILE_HORZ, "ID_WINDOW_TILE_HORZ", "Arrange windows as non-overlapping tiles", "Tile Windows"},
        {ID_APP_ABOUT, "ID_APP_ABOUT", "Display program information, version number and copyright", "About"},
        {ID_APP_EXIT, "ID_APP_EXIT", "Quit the application; prompts to save documents", "Exit"},
        {ID_NEXT_PANE, "ID_NEXT_PANE", "Switch to the next window pane", "Next Pane"},
        {ID_PREV_PANE, "ID_PREV_PANE", "Switch back to the previous window pane", "Previous Pane"},
        {ID_VIEW_TOOLBAR, "ID_VIEW_TOOLBAR", "Show or hide the toolbar", "Toggle ToolBar"},
        {ID_VIEW_STATUS_BAR, "ID_VIEW_STATUS_BAR", "Show or hide the status bar", "Toggle StatusBar"},
    };
    rows.insert(rows.end(), rest.begin(), rest.end());
    return rows;
}

MenuEntry Item(const char* text, int id) { return MenuEntry{MenuEntry::Kind::Item, text, id, {}}; }

MenuEntry Separator() { return MenuEntry{MenuEntry::Kind::Separator, "", 0, {}}; }

MenuEntry Popup(const char* text, std::vector<MenuEntry> items) {
    return MenuEntry{MenuEntry::Kind::Popup, text, 0, std::move(items)};
}

// Stands where the recent-file list goes; shown greyed while the list is empty.
MenuEntry RecentFiles() { return MenuEntry{MenuEntry::Kind::RecentFiles, "Recent File", ID_FILE_MRU_FILE1, {}}; }

// A popup whose items the active view makes each time it opens.
MenuEntry Choices(const char* text, int id) { return MenuEntry{MenuEntry::Kind::Choices, text, id, {}}; }

// The list of open child windows, appended at the end of the Window popup.
MenuEntry WindowList() { return MenuEntry{MenuEntry::Kind::WindowList, "", 0, {}}; }

MenuEntry QueryRetrieve() { return Item("&Query/Retrieve...", ID_FILE_QUERY_RETRIEVE); }

MenuEntry ViewPopup() {
    return Popup("&View", {Item("&Toolbar", ID_VIEW_TOOLBAR), Item("&Status Bar", ID_VIEW_STATUS_BAR)});
}

MenuEntry HelpPopup() { return Popup("&Help", {Item("&About Dorvanelle...", ID_APP_ABOUT)}); }

std::vector<MenuEntry> BuildNoDocumentMenu() {
    return {
        Popup("&File", {Item("&Open...\tCtrl+O", ID_FILE_OPEN), Separator(), QueryRetrieve(), Separator(),
                        RecentFiles(), Separator(), Item("E&xit", ID_APP_EXIT)}),
        ViewPopup(),
        HelpPopup(),
    };
}

std::vector<MenuEntry> BuildDocumentMenu() {
    return {
        Popup("&File", {Item("&Open...\tCtrl+O", ID_FILE_OPEN), Item("&Close", ID_FILE_CLOSE), Separator(),
                        Item("Save Selected Image", ID_FILE_SAVE_SELECTED), Item("&Save\tCtrl+S", ID_FILE_SAVE),
                        Separator(), QueryRetrieve(), Item("Sen&d To...", ID_FILE_SEND_TO), Separator(),
                        RecentFiles(), Separator(), Item("E&xit", ID_APP_EXIT)}),
        Popup("&Edit", {Item("&Undo\tCtrl+Z", ID_EDIT_UNDO), Separator(), Item("Cu&t\tCtrl+X", ID_EDIT_CUT),
                        Item("&Copy\tCtrl+C", ID_EDIT_COPY), Item("&Paste\tCtrl+V", ID_EDIT_PASTE)}),
        Popup("Actions", {Item("Rectangle", ID_ACTIONS_RECTANGLE), Item("Ruler\tCtrl+M", ID_ACTIONS_RULER),
                          Item("Ellipse\tCtrl+E", ID_ACTIONS_ELLIPSE), Separator(),
                          Item("Delete Measurement\tDel", ID_ACTIONS_DELETE_MEASUREMENT),
                          Item("Delete All Measurements", ID_ACTIONS_DELETE_ALL_MEASUREMENTS), Separator(),
                          Item("Video", ID_ACTIONS_VIDEO), Choices("Cine &Rate", ID_ACTIONS_CINE_RATE)}),
        Popup("Filters", {Item("Smoothing", ID_FILTERS_SMOOTHING)}),
        Popup("&View",
              {Item("&Toolbar", ID_VIEW_TOOLBAR), Item("&Status Bar", ID_VIEW_STATUS_BAR), Separator(),
               Item("Zoom to &Fit", ID_VIEW_ZOOM_FIT), Item("&Actual Size", ID_VIEW_ZOOM_ACTUAL),
               Item("Zoom &In\tCtrl++", ID_VIEW_ZOOM_IN), Item("Zoom &Out\tCtrl+-", ID_VIEW_ZOOM_OUT), Separator(),
               Choices("Window &Level", ID_VIEW_WINDOW_LEVEL), Item("Set &Window...\tCtrl+Shift+W", ID_VIEW_WINDOW_SET),
               Item("In&vert\tCtrl+I", ID_VIEW_INVERT), Separator(),
               Item("Rotate &Right\tCtrl+R", ID_VIEW_ROTATE_RIGHT), Item("Rotate L&eft\tCtrl+L", ID_VIEW_ROTATE_LEFT),
               Item("Flip &Horizontal\tCtrl+Shift+H", ID_VIEW_FLIP_HORIZONTAL),
               Item("Fli&p Vertical\tCtrl+Shift+V", ID_VIEW_FLIP_VERTICAL), Separator(),
               Item("&Corner Texts", ID_VIEW_OVERLAY)}),
        Popup("&Window", {Item("&New Window", ID_WINDOW_NEW), Item("&Cascade", ID_WINDOW_CASCADE),
                          Item("&Tile", ID_WINDOW_TILE_HORZ), Item("&Arrange Icons", ID_WINDOW_ARRANGE), WindowList()}),
        HelpPopup(),
    };
}

}  // namespace

const std::vector<CommandInfo>& Commands() {
    static const std::vector<CommandInfo> rows = BuildCommands();
    return rows;
}

const CommandInfo* FindCommand(int id) {
    const auto& rows = Commands();
    const auto it = std::find_if(rows.begin(), rows.end(), [id](const CommandInfo& row) { return row.id == id; });
    return it == rows.end() ? nullptr : &*it;
}

const std::vector<MenuEntry>& NoDocumentMenu() {
    static const std::vector<MenuEntry> menu = BuildNoDocumentMenu();
    return menu;
}

const std::vector<MenuEntry>& DocumentMenu() {
    static const std::vector<MenuEntry> menu = BuildDocumentMenu();
    return menu;
}

const std::vector<int>& ToolbarLayout() {
    static const std::vector<int> layout = {
        ID_FILE_OPEN,
        ID_FILE_SAVE,
        ID_FILE_SAVE_SELECTED,
        0,
        ID_EDIT_CUT,
        ID_EDIT_COPY,
        ID_EDIT_PASTE,
        ID_FILE_PRINT,
        0,
        ID_SHOW_DICOM_HEADER,
        0,
        ID_ACTIONS_RECTANGLE,
        0,
        ID_FIRST_SLIDE,
        ID_PREV_SLIDE,
        ID_NEXT_SLIDE,
        ID_LAST_SLIDE,
        0,
        ID_PLAY_VIDEO,
        0,
        ID_APP_ABOUT,
    };
    return layout;
}

const std::vector<int>& ZoomToolbarLayout() {
    static const std::vector<int> layout = {ID_VIEW_ZOOM_FIT, ID_VIEW_ZOOM_ACTUAL, ID_VIEW_ZOOM_IN, ID_VIEW_ZOOM_OUT};
    return layout;
}

const std::vector<AcceleratorEntry>& Accelerators() {
    // QKeySequence's portable names: "Del", "Ins" and "Backspace".
    static const std::vector<AcceleratorEntry> table = {
        {"Ctrl+C", ID_EDIT_COPY},
        {"Ctrl+O", ID_FILE_OPEN},
        {"Ctrl+S", ID_FILE_SAVE},
        {"Ctrl+V", ID_EDIT_PASTE},
        {"Alt+Backspace", ID_EDIT_UNDO},
        {"Shift+Del", ID_EDIT_CUT},
        {"F6", ID_NEXT_PANE},
        {"Shift+F6", ID_PREV_PANE},
        {"Ctrl+Ins", ID_EDIT_COPY},
        {"Shift+Ins", ID_EDIT_PASTE},
        {"Ctrl+X", ID_EDIT_CUT},
        {"Ctrl+Z", ID_EDIT_UNDO},
        // Zoom and window switching.
        {"Ctrl++", ID_VIEW_ZOOM_IN},
        {"Ctrl+=", ID_VIEW_ZOOM_IN},
        {"Ctrl+-", ID_VIEW_ZOOM_OUT},
        {"Ctrl+F6", ID_WINDOW_NEXT},
        {"Ctrl+Shift+F6", ID_WINDOW_PREV},
        // Display and windowing.
        {"Ctrl+I", ID_VIEW_INVERT},
        {"Ctrl+R", ID_VIEW_ROTATE_RIGHT},
        {"Ctrl+L", ID_VIEW_ROTATE_LEFT},
        {"Ctrl+Shift+H", ID_VIEW_FLIP_HORIZONTAL},
        {"Ctrl+Shift+V", ID_VIEW_FLIP_VERTICAL},
        {"Ctrl+Shift+W", ID_VIEW_WINDOW_SET},
        {"Ctrl+M", ID_ACTIONS_RULER},
        {"Ctrl+E", ID_ACTIONS_ELLIPSE},
        {"Del", ID_ACTIONS_DELETE_MEASUREMENT},
        {"1", ID_VIEW_PRESET_1},
        {"2", ID_VIEW_PRESET_1 + 1},
        {"3", ID_VIEW_PRESET_1 + 2},
        {"4", ID_VIEW_PRESET_1 + 3},
        {"5", ID_VIEW_PRESET_1 + 4},
        {"6", ID_VIEW_PRESET_1 + 5},
        {"7", ID_VIEW_PRESET_1 + 6},
        {"8", ID_VIEW_PRESET_1 + 7},
        {"9", ID_VIEW_PRESET_9},
    };
    return table;
}
