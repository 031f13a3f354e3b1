#include "ui/tile_numbering.h"

#include "hub/dimensions.h"

namespace tiles {
namespace {
constexpr int ColumnLeft[7] = {16, 157, 298, 439, 580, 721, 864};
constexpr int RemarkTop[6] = {35, 124, 213, 302, 391, 481};
constexpr int ButtonBelowRemark = 42;
constexpr int LampLeft[7] = {109, 250, 391, 532, 673, 814, 958};
constexpr int LampTop[6] = {53, 142, 231, 320, 409, 499};

int rowOf(int tile) {
    return (slotOf(tile) - 1) / 7;
}
int columnOf(int tile) {
    return (slotOf(tile) - 1) % 7;
}
} // namespace

int numberFromName(const QString& name, const QString& prefix) {
    if (!name.startsWith(prefix))
        return 0;
    bool ok = false;
    const int number = QStringView(name).mid(prefix.size()).toInt(&ok);
    return ok ? number : 0;
}

QString remarkBoxName(int tile) {
    return RemarkBoxPrefix + QString::number(tile);
}
QString buttonName(int tile) {
    return ButtonPrefix + QString::number(tile);
}
QString lampName(int tile) {
    return LampPrefix + QString::number(tile + LampOffset);
}

QRect remarkBoxRect(int tile) {
    return {ColumnLeft[columnOf(tile)], RemarkTop[rowOf(tile)], 88, 40};
}

QRect buttonRect(int tile) {
    return {ColumnLeft[columnOf(tile)], RemarkTop[rowOf(tile)] + ButtonBelowRemark, 88, 40};
}

QRect lampRect(int tile) {
    return {LampLeft[columnOf(tile)], LampTop[rowOf(tile)], 32, 48};
}

} // namespace tiles
