#pragma once

constexpr int LinkCount = 8;
constexpr int SlotsPerLink = 42;
constexpr int TileCount = LinkCount * SlotsPerLink;
constexpr int SerialPortCount = 30;
