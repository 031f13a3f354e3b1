#pragma once

constexpr int LinkCount = 8;
constexpr int SlotsPerLink = 42;
constexpr int TileCount = LinkCount * SlotsPerLink;
constexpr int SerialPortCount = 30;

// Device tile N (1 ... 336) is slot s (1 ... 42) of hub link k (1 ... 8).
namespace tiles {
constexpr int linkOf(int tile) {
    return (tile - 1) / SlotsPerLink + 1;
}
constexpr int slotOf(int tile) {
    return tile - SlotsPerLink * (linkOf(tile) - 1);
}
constexpr int firstTile(int link) {
    return (link - 1) * SlotsPerLink + 1;
}
} // namespace tiles
