// The numbers of the viewer's commands. The views handle some of them; the command
// table in app/ gives every one its prompt, tooltip, menu place and shortcut.
#pragma once

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
    // Viewing aids.
    ID_VIEW_ZOOM_FIT = 32800,
    ID_VIEW_ZOOM_ACTUAL = 32801,
    ID_VIEW_ZOOM_IN = 32802,
    ID_VIEW_ZOOM_OUT = 32803,
    ID_VIEW_OVERLAY = 32804,
    ID_VIEW_WINDOW_LEVEL = 32805,  // a menu of window presets
    ID_ACTIONS_CINE_RATE = 32806,  // a menu of cine rates
    ID_WINDOW_NEXT = 32807,
    ID_WINDOW_PREV = 32808,
    // Display only: the image as stored is never changed by these.
    ID_VIEW_INVERT = 32809,
    ID_VIEW_ROTATE_RIGHT = 32810,
    ID_VIEW_ROTATE_LEFT = 32811,
    ID_VIEW_FLIP_HORIZONTAL = 32812,
    ID_VIEW_FLIP_VERTICAL = 32813,
    ID_VIEW_WINDOW_SET = 32814,  // a window typed in a dialog
    // Measurements.
    ID_ACTIONS_RULER = 32815,
    ID_ACTIONS_ELLIPSE = 32816,
    ID_ACTIONS_DELETE_MEASUREMENT = 32817,  // the last one made on the frame shown
    ID_ACTIONS_DELETE_ALL_MEASUREMENTS = 32818,
    // The window presets of the Window Level menu, by the number keys 1 to 9.
    ID_VIEW_PRESET_1 = 32821,
    ID_VIEW_PRESET_9 = 32829,
    // DICOM servers.
    ID_FILE_QUERY_RETRIEVE = 32850,
    ID_FILE_SEND_TO = 32851,
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
