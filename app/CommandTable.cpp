#include "app/CommandTable.h"

#include <QtGlobal>

#include <algorithm>
#include <array>

namespace {

constexpr std::array kCommands = {
    CommandText{CommandId::FileNew,
                QT_TRANSLATE_NOOP("CommandTable", "新規作成(&N)...\tCtrl+N"),
                QT_TRANSLATE_NOOP("CommandTable", "新規作成"),
                QT_TRANSLATE_NOOP("CommandTable", "新規作成")},
    CommandText{CommandId::FileOpen,
                QT_TRANSLATE_NOOP("CommandTable", "点群/3DGSファイルを開く(&O)...\tCtrl+O"),
                QT_TRANSLATE_NOOP("CommandTable", "点群/3DGSファイルを開く"),
                QT_TRANSLATE_NOOP("CommandTable", "開く")},
    CommandText{CommandId::FileOpenCameraPoses,
                QT_TRANSLATE_NOOP("CommandTable", "カメラ位置ファイルを開く(&P)"),
                QT_TRANSLATE_NOOP("CommandTable", "カメラ位置ファイルを開く"),
                QT_TRANSLATE_NOOP("CommandTable", "カメラ位置ファイルを開く")},
    CommandText{CommandId::FileExportFlyThrough,
                QT_TRANSLATE_NOOP("CommandTable", "フライスルー動画を書き出す(&V)..."),
                QT_TRANSLATE_NOOP("CommandTable", "カメラ位置ファイルのカメラを順にたどる動画を書き出す"),
                QT_TRANSLATE_NOOP("CommandTable", "フライスルー動画を書き出す")},
    CommandText{CommandId::FileExportPointCloud,
                QT_TRANSLATE_NOOP("CommandTable", "点群を書き出す(&E)..."),
                QT_TRANSLATE_NOOP("CommandTable", "開いている点群のファイルを LAS、LAZ または COPC に書き出す"),
                QT_TRANSLATE_NOOP("CommandTable", "点群を書き出す")},
    CommandText{CommandId::AppExit,
                QT_TRANSLATE_NOOP("CommandTable", "終了(&X)"),
                QT_TRANSLATE_NOOP("CommandTable", "アプリケーションを終了"),
                QT_TRANSLATE_NOOP("CommandTable", "終了")},
    CommandText{CommandId::ViewAxisXFront,
                QT_TRANSLATE_NOOP("CommandTable", "X（前方向）"),
                QT_TRANSLATE_NOOP("CommandTable", "X（前方向）"),
                QT_TRANSLATE_NOOP("CommandTable", "X（前方向）")},
    CommandText{CommandId::ViewAxisXBack,
                QT_TRANSLATE_NOOP("CommandTable", "X（後方向）"),
                QT_TRANSLATE_NOOP("CommandTable", "X（後方向）"),
                QT_TRANSLATE_NOOP("CommandTable", "X（後方向）")},
    CommandText{CommandId::ViewAxisYFront,
                QT_TRANSLATE_NOOP("CommandTable", "Y（前方向）"),
                QT_TRANSLATE_NOOP("CommandTable", "Y（前方向）"),
                QT_TRANSLATE_NOOP("CommandTable", "Y（前方向）")},
    CommandText{CommandId::ViewAxisYBack,
                QT_TRANSLATE_NOOP("CommandTable", "Y（後方向）"),
                QT_TRANSLATE_NOOP("CommandTable", "Y（後方向）"),
                QT_TRANSLATE_NOOP("CommandTable", "Y（後方向）")},
    CommandText{CommandId::ViewAxisZFront,
                QT_TRANSLATE_NOOP("CommandTable", "Z（前方向）"),
                QT_TRANSLATE_NOOP("CommandTable", "Z（前方向）"),
                QT_TRANSLATE_NOOP("CommandTable", "Z（前方向）")},
    CommandText{CommandId::ViewAxisZBack,
                QT_TRANSLATE_NOOP("CommandTable", "Z（後方向）"),
                QT_TRANSLATE_NOOP("CommandTable", "Z（後方向）"),
                QT_TRANSLATE_NOOP("CommandTable", "Z（後方向）")},
    CommandText{CommandId::ViewFit,
                QT_TRANSLATE_NOOP("CommandTable", "フィット"),
                QT_TRANSLATE_NOOP("CommandTable", "全体表示"),
                QT_TRANSLATE_NOOP("CommandTable", "フィット")},
    CommandText{CommandId::ViewStatusBar,
                QT_TRANSLATE_NOOP("CommandTable", "ステータス バー(&S)"),
                QT_TRANSLATE_NOOP("CommandTable", "ステータス バーの表示/非表示"),
                QT_TRANSLATE_NOOP("CommandTable", "ステータス バーの表示切り替え")},
    CommandText{CommandId::Settings,
                QT_TRANSLATE_NOOP("CommandTable", "設定(&S)"),
                QT_TRANSLATE_NOOP("CommandTable", "設定"),
                QT_TRANSLATE_NOOP("CommandTable", "設定")},
    CommandText{CommandId::AppAbout,
                QT_TRANSLATE_NOOP("CommandTable", "ヘルプ(&A)..."),
                QT_TRANSLATE_NOOP("CommandTable", "プログラム情報、バージョン、著作権を表示します。"),
                QT_TRANSLATE_NOOP("CommandTable", "バージョン情報")},
};

constexpr MenuEntry kFileMenu[] = {CommandId::FileNew,
                                   kSeparator,
                                   CommandId::FileOpen,
                                   CommandId::FileOpenCameraPoses,
                                   CommandId::FileExportFlyThrough,
                                   CommandId::FileExportPointCloud,
                                   kSeparator,
                                   MenuEntry::Kind::RecentFiles,
                                   kSeparator,
                                   CommandId::AppExit};
constexpr MenuEntry kViewMenu[] = {MenuEntry::Kind::ViewDirectionSubmenu, CommandId::ViewFit, kSeparator,
                                   CommandId::ViewStatusBar};
constexpr MenuEntry kSettingsMenu[] = {CommandId::Settings};
constexpr MenuEntry kHelpMenu[] = {CommandId::AppAbout};

constexpr std::array kMenus = {
    MenuLayout{QT_TRANSLATE_NOOP("CommandTable", "ファイル(&F)"),
               kFileMenu},
    MenuLayout{QT_TRANSLATE_NOOP("CommandTable", "表示(&V)"),
               kViewMenu},
    MenuLayout{QT_TRANSLATE_NOOP("CommandTable", "設定(&S)"),
               kSettingsMenu},
    MenuLayout{QT_TRANSLATE_NOOP("CommandTable", "ヘルプ(&H)"),
               kHelpMenu},
};

constexpr MenuEntry kViewDirections[] = {
    CommandId::ViewAxisXFront, CommandId::ViewAxisXBack, kSeparator, CommandId::ViewAxisYFront,
    CommandId::ViewAxisYBack,  kSeparator, CommandId::ViewAxisZFront, CommandId::ViewAxisZBack,
};

constexpr MenuEntry kToolbar[] = {
    CommandId::FileOpen, kSeparator, CommandId::Settings, kSeparator, CommandId::ViewFit, kSeparator,
    CommandId::ViewAxisXFront, CommandId::ViewAxisXBack, CommandId::ViewAxisYFront,
    CommandId::ViewAxisYBack, CommandId::ViewAxisZFront, CommandId::ViewAxisZBack,
};

}  // namespace

std::span<const CommandText> CommandTexts() { return kCommands; }

const CommandText* FindCommandText(CommandId id)
{
    const auto it = std::ranges::find(kCommands, id, &CommandText::id);
    return it == kCommands.end() ? nullptr : &*it;
}

std::span<const MenuLayout> MainMenuLayout() { return kMenus; }
const char* ViewDirectionSubmenuCaption() { return QT_TRANSLATE_NOOP("CommandTable", "ビュー方向"); }
std::span<const MenuEntry> ViewDirectionSubmenuItems() { return kViewDirections; }
std::span<const MenuEntry> MainToolbarLayout() { return kToolbar; }
