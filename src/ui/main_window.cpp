#include "ui/main_window.h"

#include "ui/accessibility.h"
#include "ui/captions.h"
#include "ui/colours.h"
#include "ui/drop_list.h"
#include "ui/group_frame.h"
#include "ui/lamp.h"
#include "ui/remark_box.h"
#include "ui/status_line.h"
#include "ui/styled_button.h"
#include "ui/tab_control.h"
#include "ui/text_box.h"
#include "ui/tile_numbering.h"
#include "ui/wrapping_button.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>

namespace {
constexpr QSize DesignOuterSize(1303, 741);
// The right column ends at x 1296, the tile area at y 688.
constexpr QSize ClientExtent(1298, 690);
// The status line runs under the controls, 2 pixels in from the window's edges.
constexpr int StatusLineHeight = 20;
constexpr int StatusLineMargin = 2;

template <typename Widget, typename... Args>
Widget* place(QWidget* parent, const QString& name, QRect geometry, Args&&... args) {
    auto* widget = new Widget(std::forward<Args>(args)..., parent);
    widget->setObjectName(name);
    widget->setAccessibleDescription(name);
    widget->setGeometry(geometry);
    return widget;
}

QGroupBox* groupBox(QWidget* parent, const QString& name, const QString& caption, QRect geometry) {
    return place<GroupFrame>(parent, name, geometry, caption);
}

Lamp* lamp(QWidget* parent, int number, QRect geometry, std::optional<quint32> colour) {
    auto* lamp = new Lamp(tiles::LampPrefix + QString::number(number), colour, parent);
    lamp->setGeometry(geometry);
    return lamp;
}

StyledButton* styledButton(QWidget* parent, int number, const QString& caption, QRect geometry) {
    auto* button = new StyledButton(tiles::ButtonPrefix + QString::number(number), caption, parent);
    button->setGeometry(geometry);
    return button;
}
} // namespace

MainWindow::MainWindow() {
    accessibility::install();
    setWindowTitle(QStringLiteral("Hubrix（单机版）"));
    auto* client = new QWidget;
    client->setObjectName(QStringLiteral("client"));
    client->setMinimumSize(ClientExtent);
    // On a screen smaller than the design (a laptop with a panel, a large screen at 200 %)
    // the client area scrolls rather than being cut off.
    auto* scroller = new QScrollArea;
    scroller->setFrameShape(QFrame::NoFrame);
    scroller->setWidgetResizable(true);
    scroller->setWidget(client);
    // The status line stays in view below the scrolled controls: a prompt the operator cannot
    // hear must not land where the window is scrolled away from.
    auto* centre = new QWidget;
    auto* column = new QVBoxLayout(centre);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(scroller, 1);
    auto* lineRow = new QHBoxLayout;
    lineRow->setContentsMargins(StatusLineMargin, 0, StatusLineMargin, StatusLineMargin);
    column->addLayout(lineRow);
    setCentralWidget(centre);

    auto* menu = menuBar()->addMenu(QStringLiteral("设置"));
    menuBar()->setObjectName(QStringLiteral("超级菜单1"));
    menuBar()->setAccessibleDescription(menuBar()->objectName());
    ui_.promptSoundItem = menu->addAction(QStringLiteral("提示音已关闭"));
    ui_.promptSoundItem->setCheckable(true);

    createTopStrip(client);
    ui_.tileArea =
        new TabControl(QStringLiteral("高级选择夹1"),
                       {QStringLiteral("端口1"), QStringLiteral("端口2"), QStringLiteral("端口3"),
                        QStringLiteral("端口4"), QStringLiteral("端口5"), QStringLiteral("端口6"),
                        QStringLiteral("端口7"), QStringLiteral("端口8")},
                       client);
    ui_.tileArea->setGeometry(2, 111, 998, 576);
    ui_.tileArea->hide();
    createTiles();
    ui_.statusLine = new StatusLine(centre);
    ui_.statusLine->setFixedHeight(StatusLineHeight);
    lineRow->addWidget(ui_.statusLine);

    move(50, 50);
    resize(DesignOuterSize);
}

void MainWindow::createTopStrip(QWidget* client) {
    // Group boxes first, so that the window's own controls drawn over their frames stay on top.
    auto* portGroup =
        groupBox(client, QStringLiteral("分组框1"), QStringLiteral("端口操作"), {2, 4, 216, 104});
    auto* addressGroup =
        groupBox(client, QStringLiteral("分组框2"), QStringLiteral("IP查询"), {231, 5, 249, 104});
    auto* linkGroup =
        groupBox(client, QStringLiteral("分组框3"), QStringLiteral("端口状态"), {488, 5, 304, 104});
    auto* addGroup =
        groupBox(client, QStringLiteral("分组框4"), QStringLiteral("添加设备"), {800, 4, 72, 104});
    auto* searchGroup = groupBox(client, QStringLiteral("分组框5"), QStringLiteral("搜索USB口"),
                                 {880, 4, 408, 104});
    auto* listGroup = groupBox(client, QStringLiteral("分组框6"), QStringLiteral("设备端口显示"),
                               {1004, 144, 292, 544});

    ui_.connectButton = place<QPushButton>(client, QStringLiteral("按钮1_查询连接"),
                                           {10, 20, 72, 40}, captions::ConnectStart);
    ui_.disconnectButton = place<QPushButton>(client, QStringLiteral("按钮2_断开"),
                                              {87, 20, 72, 40}, QStringLiteral("断开连接"));
    place<QLabel>(client, QStringLiteral("标签1"), {18, 75, 56, 24}, QStringLiteral("连接延迟："));
    ui_.probeWaitList = place<QComboBox>(client, QStringLiteral("组合框1"), {86, 76, 74, 20});
    ui_.probeWaitList->addItems({QStringLiteral("60"), QStringLiteral("80"), QStringLiteral("100"),
                                 QStringLiteral("120"), QStringLiteral("150"),
                                 QStringLiteral("200"), QStringLiteral("250"),
                                 QStringLiteral("300")});
    ui_.connectionLamp = lamp(portGroup, 1, {168, 38, 32, 48}, colour::Red);

    place<QLabel>(addressGroup, QStringLiteral("标签2"), {9, 18, 72, 24},
                  QStringLiteral("本机内网IP："));
    ui_.internalAddress =
        place<QLineEdit>(addressGroup, QStringLiteral("编辑框9_内"), {89, 18, 104, 24});
    // Without a name of their own both boxes would read as their group, "IP查询".
    ui_.internalAddress->setAccessibleName(QStringLiteral("本机内网IP"));
    place<QLabel>(addressGroup, QStringLiteral("标签3"), {9, 66, 72, 24},
                  QStringLiteral("本机外网IP："));
    ui_.externalAddress =
        place<QLineEdit>(addressGroup, QStringLiteral("编辑框10_外"), {89, 66, 104, 24});
    ui_.externalAddress->setAccessibleName(QStringLiteral("本机外网IP"));
    ui_.addressButton = place<WrappingButton>(addressGroup, QStringLiteral("按钮3_IP"),
                                              {204, 18, 32, 72}, QStringLiteral("查询IP"));

    constexpr int LampLeft[4] = {16, 74, 132, 192};
    for (int k = 1; k <= LinkCount; ++k) {
        const int column = (k - 1) % 4;
        const int top = k <= 4 ? 24 : 66;
        ui_.linkLamps[size_t(k - 1)] =
            lamp(linkGroup, k + 1, {LampLeft[column], top, 40, 32}, colour::Red);
    }
    ui_.bindButton = place<QPushButton>(linkGroup, QStringLiteral("按钮4_绑定"), {235, 23, 64, 32},
                                        QStringLiteral("绑定设备"));
    ui_.bindButton->setEnabled(false);
    ui_.unbindButton = place<QPushButton>(client, QStringLiteral("按钮5_解除绑定"),
                                          {723, 70, 64, 32}, QStringLiteral("解除绑定"));
    ui_.unbindButton->setEnabled(false);

    ui_.addDeviceButton = styledButton(addGroup, 337, QStringLiteral("添加设备"), {7, 24, 56, 72});

    place<QLabel>(searchGroup, QStringLiteral("标签4"), {30, 40, 72, 16},
                  QStringLiteral("输入搜索内容"));
    ui_.searchText = place<TextBox>(searchGroup, QStringLiteral("编辑框9"), {6, 60, 138, 33});
    ui_.searchButton =
        styledButton(searchGroup, 338, QStringLiteral("开始搜索"), {148, 60, 87, 32});
    ui_.searchLamp = lamp(client, 10, {1055, 35, 32, 25}, std::nullopt);
    ui_.viewButton = styledButton(searchGroup, 339, QStringLiteral("查看控制"), {264, 41, 104, 24});
    ui_.searchResults = place<DropList>(searchGroup, QStringLiteral("组合框2"), {240, 72, 163, 20});
    ui_.searchResults->setAccessibleName(QStringLiteral("搜索结果"));

    ui_.favouriteViewButton =
        styledButton(client, 340, QStringLiteral("常用查看"), {1028, 113, 88, 24});
    ui_.favourites = place<DropList>(client, QStringLiteral("组合框3"), {1120, 114, 165, 20});
    ui_.favourites->setAccessibleName(QStringLiteral("常用列表"));
    ui_.openDevices = place<QListWidget>(listGroup, QStringLiteral("列表框1"), {2, 24, 288, 519});
    ui_.openDevices->setAccessibleName(QStringLiteral("设备端口显示"));
}

void MainWindow::createTiles() {
    const QValidator* remarkWidth = RemarkBox::createValidator(this);
    for (int n = 1; n <= TileCount; ++n) {
        QWidget* page = ui_.tileArea->page(tiles::linkOf(n) - 1);
        Tile& tile = ui_.tiles[size_t(n - 1)];
        tile.remarkBox = new RemarkBox(n, remarkWidth, page);
        tile.remarkBox->setGeometry(tiles::remarkBoxRect(n));
        tile.button = new StyledButton(tiles::buttonName(n), captions::TileClosed, page);
        tile.button->setGeometry(tiles::buttonRect(n));
        tile.lamp = new Lamp(tiles::lampName(n), colour::Red, page);
        tile.lamp->setGeometry(tiles::lampRect(n));
    }
}

void MainWindow::fitDesignSize() {
    const QSize frame = frameGeometry().size() - geometry().size();
    // A frame thicker than the design's (a compositor's title bar drawn by the program itself)
    // would otherwise leave the last rows under a scroll bar even on a large screen.
    const QSize unscrolled(ClientExtent.width(), menuBar()->sizeHint().height() +
                                                     ClientExtent.height() + StatusLineHeight +
                                                     StatusLineMargin);
    QSize client = (DesignOuterSize - frame).expandedTo(unscrolled);
    if (const QScreen* shown = screen()) {
        const QRect available = shown->availableGeometry();
        const QSize room = available.size() - frame;
        // A side cut short brings a scroll bar, which takes its width from the other side.
        const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
        if (client.width() > room.width())
            client.rheight() += bar;
        if (client.height() > room.height())
            client.rwidth() += bar;
        client = client.boundedTo(room);
        // The design's place (50, 50) would push a window that fills the screen off its edge.
        QPoint place = pos();
        place.setX(std::clamp(place.x(), available.left(),
                              available.right() + 1 - (client.width() + frame.width())));
        place.setY(std::clamp(place.y(), available.top(),
                              available.bottom() + 1 - (client.height() + frame.height())));
        move(place);
    }
    resize(client);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (closeCheck_ && !closeCheck_()) {
        event->ignore();
        return;
    }
    event->accept();
}
