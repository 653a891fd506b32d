#pragma once

#include <QtGlobal>

#include <span>

// The application's commands (menus, toolbar, accelerator).
enum class CommandId {
    FileNew,
    FileOpen,
    FileOpenCameraPoses,
    FileExportFlyThrough,
    FileExportPointCloud,
    AppExit,
    ViewAxisXFront,
    ViewAxisXBack,
    ViewAxisYFront,
    ViewAxisYBack,
    ViewAxisZFront,
    ViewAxisZBack,
    ViewFit,
    ViewStatusBar,
    Settings,
    AppAbout,
};

inline constexpr int kRecentFileCount = 8;

// One command as the user sees it: the menu caption (mnemonic after '&', shortcut hint
// after a tab), the prompt shown in the status bar while the item is highlighted, and the
// toolbar tooltip. The texts are the Japanese originals; QCoreApplication::translate with
// the context kCommandTextContext gives them in the user's language.
inline constexpr const char* kCommandTextContext = "CommandTable";

struct CommandText {
    CommandId id;
    const char* caption;
    const char* prompt;
    const char* tooltip;
};

std::span<const CommandText> CommandTexts();
// The texts of a command; null for an unknown id.
const CommandText* FindCommandText(CommandId id);

// A menu or toolbar entry: a command, a separator, the view-direction submenu or the place of
// the recent files.
struct MenuEntry {
    enum class Kind { Command, Separator, ViewDirectionSubmenu, RecentFiles };
    Kind kind = Kind::Separator;
    CommandId command = CommandId::FileNew;  // for Kind::Command

    constexpr MenuEntry(CommandId id) : kind(Kind::Command), command(id) {}  // NOLINT: a command is an entry
    constexpr MenuEntry(Kind entryKind) : kind(entryKind) {}                // NOLINT: so is a separator
    bool IsCommand(CommandId id) const { return kind == Kind::Command && command == id; }
};
inline constexpr MenuEntry kSeparator{MenuEntry::Kind::Separator};

struct MenuLayout {
    const char* caption;
    std::span<const MenuEntry> items;
};

std::span<const MenuLayout> MainMenuLayout();
const char* ViewDirectionSubmenuCaption();
std::span<const MenuEntry> ViewDirectionSubmenuItems();
std::span<const MenuEntry> MainToolbarLayout();

// The caption of the recent-file placeholder shown while the list is empty.
inline constexpr const char* kRecentFilesPlaceholder = QT_TRANSLATE_NOOP("CommandTable", "最近使ったファイル");
inline constexpr const char* kRecentFilePrompt = QT_TRANSLATE_NOOP("CommandTable", "指定のドキュメントを開く");
