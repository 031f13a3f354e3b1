#pragma once

#include "hub/dimensions.h"

#include <QMainWindow>

#include <array>
#include <functional>

class Lamp;
class QAction;
class DropList;
class QComboBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class RemarkBox;
class StatusLine;
class StyledButton;
class TabControl;
class TextBox;

// The program's one window, with every control of the design under its design name. Controls
// are created once and live as long as the window; handlers reach them through ui.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    struct Tile {
        RemarkBox* remarkBox; // 超级编辑框N
        StyledButton* button; // 超级按钮N
        Lamp* lamp;           // 外形框(N + 10)
    };

    struct Controls {
        QPushButton* connectButton;             // 按钮1_查询连接
        QPushButton* disconnectButton;          // 按钮2_断开
        QComboBox* probeWaitList;               // 组合框1
        Lamp* connectionLamp;                   // 外形框1
        QLineEdit* internalAddress;             // 编辑框9_内
        QLineEdit* externalAddress;             // 编辑框10_外
        QPushButton* addressButton;             // 按钮3_IP
        std::array<Lamp*, LinkCount> linkLamps; // 外形框2 ... 外形框9
        QPushButton* bindButton;                // 按钮4_绑定
        QPushButton* unbindButton;              // 按钮5_解除绑定
        StyledButton* addDeviceButton;          // 超级按钮337
        TextBox* searchText;                    // 编辑框9
        StyledButton* searchButton;             // 超级按钮338
        Lamp* searchLamp;                       // 外形框10
        StyledButton* viewButton;               // 超级按钮339
        DropList* searchResults;                // 组合框2
        StyledButton* favouriteViewButton;      // 超级按钮340
        DropList* favourites;                   // 组合框3
        QListWidget* openDevices;               // 列表框1
        TabControl* tileArea;                   // 高级选择夹1
        StatusLine* statusLine;                 // every prompt, under the tile area
        QAction* promptSoundItem;               // menu item of 设置
        std::array<Tile, TileCount> tiles;      // index N - 1
    };

    MainWindow();

    const Controls& ui() const { return ui_; }
    const Tile& tile(int number) const { return ui_.tiles[size_t(number - 1)]; }

    // Asked before the window closes; false keeps it open.
    void setCloseCheck(std::function<bool()> check) { closeCheck_ = std::move(check); }

    // Gives the window its designed outer size where the platform's frame leaves every control
    // fully visible, or as much of it as the screen holds (the rest scrolls); call once it is
    // shown.
    void fitDesignSize();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void createTopStrip(QWidget* client);
    void createTiles();

    Controls ui_{};
    std::function<bool()> closeCheck_;
};
