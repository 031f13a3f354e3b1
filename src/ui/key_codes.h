#pragma once

#include <Qt>

// Keys as the window design numbers them (virtual-key codes), so that handlers compare the
// same codes the design gives; keys the design never names map to 0.
namespace keys {
constexpr int Enter = 13;
constexpr int Left = 37;
constexpr int Up = 38;
constexpr int Right = 39;
constexpr int Down = 40;
constexpr int Delete = 46;

constexpr int designCode(int qtKey) {
    switch (qtKey) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return Enter;
    case Qt::Key_Left:
        return Left;
    case Qt::Key_Up:
        return Up;
    case Qt::Key_Right:
        return Right;
    case Qt::Key_Down:
        return Down;
    case Qt::Key_Delete:
        return Delete;
    default:
        return 0;
    }
}
} // namespace keys
