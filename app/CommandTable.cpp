#include "app/CommandTable.h"

#include <QtGlobal>

#include <algorithm>
#include <array>

namespace {

constexpr std::array kCommands = {
    CommandText{ID_FILE_NEW,
                QT_TRANSLATE_NOOP("CommandTable", "新規作成(&N)...\tCtrl+N"),
                QT_TRANSLATE_NOOP("CommandTable", "新規作成"),
                QT_TRANSLATE_NOOP("CommandTable", "新規作成")},
    CommandText{ID_FILE_OPEN,
                QT_TRANSLATE_NOOP("CommandTable", "点群/3DGSファイルを開く(&O)...\tCtrl+O"),
                QT_TRANSLATE_NOOP("CommandTable", "点群/3DGSファイルを開く"),
                QT_TRANSLATE_NOOP("CommandTable", "開く")},
    CommandText{ID_FILE_OPEN_CAMERA_POSES,
                QT_TRANSLATE_NOOP("CommandTable", "カメラ位置ファイルを開く(&P)"),
                QT_TRANSLATE_NOOP("CommandTable", "カメラ位置ファイルを開く"),
                QT_TRANSLATE_NOOP("CommandTable", "カメラ位置ファイルを開く")},
    CommandText{ID_FILE_EXPORT_FLY_THROUGH,
                QT_TRANSLATE_NOOP("CommandTable", "フライスルー動画を書き出す(&V)..."),
                QT_TRANSLATE_NOOP("CommandTable", "カメラ位置ファイルのカメラを順にたどる動画を書き出す"),
                QT_TRANSLATE_NOOP("CommandTable", "フライスルー動画を書き出す")},
    CommandText{ID_APP_EXIT,
                QT_TRANSLATE_NOOP("CommandTable", "終了(&X)"),
                QT_TRANSLATE_NOOP("CommandTable", "アプリケーションを終了"),
                QT_TRANSLATE_NOOP("CommandTable", "終了")},
    CommandText{ID_VIEW_AXIS_X_FRONT,
                QT_TRANSLATE_NOOP("CommandTable", "X（前方向）"),
                QT_TRANSLATE_NOOP("CommandTable", "X（前方向）"),
                QT_TRANSLATE_NOOP("CommandTable", "X（前方向）")},
    CommandText{ID_VIEW_AXIS_X_BACK,
                QT_TRANSLATE_NOOP("CommandTable", "X（後方向）"),
                QT_TRANSLATE_NOOP("CommandTable", "X（後方向）"),
                QT_TRANSLATE_NOOP("CommandTable", "X（後方向）")},
    CommandText{ID_VIEW_AXIS_Y_FRONT,
                QT_TRANSLATE_NOOP("CommandTable", "Y（前方向）"),
                QT_TRANSLATE_NOOP("CommandTable", "Y（前方向）"),
                QT_TRANSLATE_NOOP("CommandTable", "Y（前方向）")},
    CommandText{ID_VIEW_AXIS_Y_BACK,
                QT_TRANSLATE_NOOP("CommandTable", "Y（後方向）"),
                QT_TRANSLATE_NOOP("CommandTable", "Y（後方向）"),
                QT_TRANSLATE_NOOP("CommandTable", "Y（後方向）")},
    CommandText{ID_VIEW_AXIS_Z_FRONT,
                QT_TRANSLATE_NOOP("CommandTable", "Z（前方向）"),
                QT_TRANSLATE_NOOP("CommandTable", "Z（前方向）"),
                QT_TRANSLATE_NOOP("CommandTable", "Z（前方向）")},
    CommandText{ID_VIEW_AXIS_Z_BACK,
                QT_TRANSLATE_NOOP("CommandTable", "Z（後方向）"),
                QT_TRANSLATE_NOOP("CommandTable", "Z（後方向）"),
                QT_TRANSLATE_NOOP("CommandTable", "Z（後方向）")},
    CommandText{ID_VIEW_FIT,
                QT_TRANSLATE_NOOP("CommandTable", "フィット"),
                QT_TRANSLATE_NOOP("CommandTable", "全体表示"),
                QT_TRANSLATE_NOOP("CommandTable", "フィット")},
    CommandText{ID_VIEW_STATUS_BAR,
                QT_TRANSLATE_NOOP("CommandTable", "ステータス バー(&S)"),
                QT_TRANSLATE_NOOP("CommandTable", "ステータス バーの表示/非表示"),
                QT_TRANSLATE_NOOP("CommandTable", "ステータス バーの表示切り替え")},
    CommandText{ID_SETTINGS,
                QT_TRANSLATE_NOOP("CommandTable", "設定(&S)"),
                QT_TRANSLATE_NOOP("CommandTable", "設定"),
                QT_TRANSLATE_NOOP("CommandTable", "設定")},
    CommandText{ID_APP_ABOUT,
                QT_TRANSLATE_NOOP("CommandTable", "ヘルプ(&A)..."),
                QT_TRANSLATE_NOOP("CommandTable", "プログラム情報、バージョン、著作権を表示します。"),
                QT_TRANSLATE_NOOP("CommandTable", "バージョン情報")},
};

constexpr int kFileMenu[] = {ID_FILE_NEW, kSeparator, ID_FILE_OPEN, ID_FILE_OPEN_CAMERA_POSES,
                             ID_FILE_EXPORT_FLY_THROUGH, kSeparator, ID_FILE_MRU_FILE1, kSeparator, ID_APP_EXIT};
constexpr int kViewMenu[] = {kViewDirectionSubmenu, ID_VIEW_FIT, kSeparator, ID_VIEW_STATUS_BAR};
constexpr int kSettingsMenu[] = {ID_SETTINGS};
constexpr int kHelpMenu[] = {ID_APP_ABOUT};

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

constexpr int kViewDirections[] = {
    ID_VIEW_AXIS_X_FRONT, ID_VIEW_AXIS_X_BACK, kSeparator, ID_VIEW_AXIS_Y_FRONT,
    ID_VIEW_AXIS_Y_BACK,  kSeparator, ID_VIEW_AXIS_Z_FRONT, ID_VIEW_AXIS_Z_BACK,
};

constexpr int kToolbar[] = {
    ID_FILE_OPEN, kSeparator, ID_SETTINGS, kSeparator, ID_VIEW_FIT, kSeparator,
    ID_VIEW_AXIS_X_FRONT, ID_VIEW_AXIS_X_BACK, ID_VIEW_AXIS_Y_FRONT,
    ID_VIEW_AXIS_Y_BACK, ID_VIEW_AXIS_Z_FRONT, ID_VIEW_AXIS_Z_BACK,
};

}  // namespace

std::span<const CommandText> CommandTexts() { return kCommands; }

const CommandText* FindCommandText(int id)
{
    const auto it = std::ranges::find(kCommands, id, &CommandText::id);
    return it == kCommands.end() ? nullptr : &*it;
}

std::span<const MenuLayout> MainMenuLayout() { return kMenus; }
const char* ViewDirectionSubmenuCaption() { return QT_TRANSLATE_NOOP("CommandTable", "ビュー方向"); }
std::span<const int> ViewDirectionSubmenuItems() { return kViewDirections; }
std::span<const int> MainToolbarLayout() { return kToolbar; }
