#include "app/ClassificationNames.h"

#include <QCoreApplication>

#include <array>

namespace {

constexpr std::array<const char*, 19> kNames = {
    QT_TRANSLATE_NOOP("ClassificationNames", "未分類（作成時のまま）"),
    QT_TRANSLATE_NOOP("ClassificationNames", "未分類"),
    QT_TRANSLATE_NOOP("ClassificationNames", "地面"),
    QT_TRANSLATE_NOOP("ClassificationNames", "低い植生"),
    QT_TRANSLATE_NOOP("ClassificationNames", "中くらいの植生"),
    QT_TRANSLATE_NOOP("ClassificationNames", "高い植生"),
    QT_TRANSLATE_NOOP("ClassificationNames", "建物"),
    QT_TRANSLATE_NOOP("ClassificationNames", "低い点（ノイズ）"),
    QT_TRANSLATE_NOOP("ClassificationNames", "モデルのキーポイント"),
    QT_TRANSLATE_NOOP("ClassificationNames", "水面"),
    QT_TRANSLATE_NOOP("ClassificationNames", "鉄道"),
    QT_TRANSLATE_NOOP("ClassificationNames", "道路面"),
    QT_TRANSLATE_NOOP("ClassificationNames", "重複"),
    QT_TRANSLATE_NOOP("ClassificationNames", "架空地線"),
    QT_TRANSLATE_NOOP("ClassificationNames", "電線（導体）"),
    QT_TRANSLATE_NOOP("ClassificationNames", "送電鉄塔"),
    QT_TRANSLATE_NOOP("ClassificationNames", "電線と構造物の接続部"),
    QT_TRANSLATE_NOOP("ClassificationNames", "橋の床版"),
    QT_TRANSLATE_NOOP("ClassificationNames", "高いノイズ"),
};

}  // namespace

std::span<const char* const> ClassificationSourceNames() { return kNames; }

QString ClassificationDisplayName(std::uint8_t code)
{
    if (code < kNames.size())
        return QCoreApplication::translate("ClassificationNames", kNames[code]);
    return QCoreApplication::translate("ClassificationNames", "分類 %1").arg(code);
}
