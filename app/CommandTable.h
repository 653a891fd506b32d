#pragma once

#include <QtGlobal>

#include <span>

// Identifiers of the application's commands (menus, toolbar, accelerator).
enum CommandId : int {
    ID_FILE_NEW = 57600,
    ID_FILE_OPEN = 57601,
    ID_FILE_OPEN_CAMERA_POSES = 32824,
    ID_FILE_EXPORT_FLY_THROUGH = 32830,
    ID_FILE_MRU_FILE1 = 57616,  // the recent-file entries use ID_FILE_MRU_FILE1 + index
    ID_APP_EXIT = 57665,
    ID_VIEW_AXIS_X_FRONT = 32774,
    ID_VIEW_AXIS_X_BACK = 32803,
    ID_VIEW_AXIS_Y_FRONT = 32775,
    ID_VIEW_AXIS_Y_BACK = 32804,
    ID_VIEW_AXIS_Z_FRONT = 32776,
    ID_VIEW_AXIS_Z_BACK = 32805,
    ID_VIEW_FIT = 32771,
    ID_VIEW_STATUS_BAR = 59393,
    ID_SETTINGS = 32820,
    ID_APP_ABOUT = 57664,
};

inline constexpr int kRecentFileCount = 8;

// One command as the user sees it: the menu caption (mnemonic after '&', shortcut hint
// after a tab), the prompt shown in the status bar while the item is highlighted, and the
// toolbar tooltip. The texts are the Japanese originals; QCoreApplication::translate with
// the context kCommandTextContext gives them in the user's language.
inline constexpr const char* kCommandTextContext = "CommandTable";

struct CommandText {
    int id;
    const char* caption;
    const char* prompt;
    const char* tooltip;
};

std::span<const CommandText> CommandTexts();
// The texts of a command; null for an unknown id.
const CommandText* FindCommandText(int id);

// A menu or toolbar entry: a command, or kSeparator.
inline constexpr int kSeparator = 0;

struct MenuLayout {
    const char* caption;
    std::span<const int> items;  // kViewDirectionSubmenu stands for the view-direction submenu
};
inline constexpr int kViewDirectionSubmenu = -1;

std::span<const MenuLayout> MainMenuLayout();
const char* ViewDirectionSubmenuCaption();
std::span<const int> ViewDirectionSubmenuItems();
std::span<const int> MainToolbarLayout();

// The caption of the recent-file placeholder shown while the list is empty.
inline constexpr const char* kRecentFilesPlaceholder = QT_TRANSLATE_NOOP("CommandTable", "最近使ったファイル");
inline constexpr const char* kRecentFilePrompt = QT_TRANSLATE_NOOP("CommandTable", "指定のドキュメントを開く");
