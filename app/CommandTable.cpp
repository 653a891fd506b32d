#include "app/CommandTable.h"

#include <algorithm>
#include <array>

namespace {

constexpr std::array kCommands = {
    CommandText{ID_FILE_NEW, "新規作成(&N)...\tCtrl+N", "新規作成", "新規作成"},
    CommandText{ID_FILE_OPEN, "点群/3DGSファイルを開く(&O)...\tCtrl+O", "点群/3DGSファイルを開く", "開く"},
    CommandText{ID_FILE_OPEN_CAMERA_POSES, "カメラ位置ファイルを開く(&P)", "カメラ位置ファイルを開く",
                "カメラ位置ファイルを開く"},
    CommandText{ID_FILE_EXPORT_FLY_THROUGH, "フライスルー動画を書き出す(&V)...",
                "カメラ位置ファイルのカメラを順にたどる動画を書き出す", "フライスルー動画を書き出す"},
    CommandText{ID_APP_EXIT, "終了(&X)", "アプリケーションを終了", "終了"},
    CommandText{ID_VIEW_AXIS_X_FRONT, "X（前方向）", "X（前方向）", "X（前方向）"},
    CommandText{ID_VIEW_AXIS_X_BACK, "X（後方向）", "X（後方向）", "X（後方向）"},
    CommandText{ID_VIEW_AXIS_Y_FRONT, "Y（前方向）", "Y（前方向）", "Y（前方向）"},
    CommandText{ID_VIEW_AXIS_Y_BACK, "Y（後方向）", "Y（後方向）", "Y（後方向）"},
    CommandText{ID_VIEW_AXIS_Z_FRONT, "Z（前方向）", "Z（前方向）", "Z（前方向）"},
    CommandText{ID_VIEW_AXIS_Z_BACK, "Z（後方向）", "Z（後方向）", "Z（後方向）"},
    CommandText{ID_VIEW_FIT, "フィット", "全体表示", "フィット"},
    CommandText{ID_VIEW_STATUS_BAR, "ステータス バー(&S)", "ステータス バーの表示/非表示",
                "ステータス バーの表示切り替え"},
    CommandText{ID_SETTINGS, "設定(&S)", "設定", "設定"},
    CommandText{ID_APP_ABOUT, "ヘルプ(&A)...", "プログラム情報、バージョン、著作権を表示します。", "バージョン情報"},
};

constexpr int kFileMenu[] = {ID_FILE_NEW, kSeparator, ID_FILE_OPEN, ID_FILE_OPEN_CAMERA_POSES,
                             ID_FILE_EXPORT_FLY_THROUGH, kSeparator, ID_FILE_MRU_FILE1, kSeparator, ID_APP_EXIT};
constexpr int kViewMenu[] = {kViewDirectionSubmenu, ID_VIEW_FIT, kSeparator, ID_VIEW_STATUS_BAR};
constexpr int kSettingsMenu[] = {ID_SETTINGS};
constexpr int kHelpMenu[] = {ID_APP_ABOUT};

constexpr std::array kMenus = {
    MenuLayout{"ファイル(&F)", kFileMenu},
    MenuLayout{"表示(&V)", kViewMenu},
    MenuLayout{"設定(&S)", kSettingsMenu},
    MenuLayout{"ヘルプ(&H)", kHelpMenu},
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
const char* ViewDirectionSubmenuCaption() { return "ビュー方向"; }
std::span<const int> ViewDirectionSubmenuItems() { return kViewDirections; }
std::span<const int> MainToolbarLayout() { return kToolbar; }
