#pragma once

#include <QString>

// Captions that stand for a stage of a procedure; the stage itself is kept in the state.
namespace captions {
// A tile button's caption is the tile's state.
inline const QString TileOpened = QStringLiteral("已打开");
inline const QString TileClosed = QStringLiteral("已关闭");

// 按钮1_查询连接: its caption names the link mode of the next run, and reads "正在连接"
// while a run is waiting. The form's caption, with its leading space, names neither.
inline const QString ConnectStart = QStringLiteral(" 连接设备");
inline const QString ConnectQuery = QStringLiteral("连接设备");
inline const QString ConnectBound = QStringLiteral("开始连接");
inline const QString ConnectQueryDone = QStringLiteral("连接完成");
inline const QString Connecting = QStringLiteral("正在连接");

// 超级按钮337: its caption tells which stage of adding a device comes next.
inline const QString AddDevice = QStringLiteral("添加设备");
inline const QString BindDevice = QStringLiteral("绑定设备");

inline const QString SearchStart = QStringLiteral("开始搜索");
} // namespace captions
