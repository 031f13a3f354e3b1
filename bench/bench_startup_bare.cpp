// The baseline of bench_startup: a bare Qt window with the controls of the program's window
// (1008 tile members, the top strip, the right column, the tab control and its pages) as plain
// Qt widgets at the design's places, and nothing else (no stores, speech, serial ports or
// handlers). Prints the peak RSS once the window is shown and the event loop has gone idle,
// then closes, as bench_startup_child does for the program.
#include "process_figures.h"
#include "ui/tile_numbering.h"

#include <QApplication>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QMenuBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>

namespace {
template <typename Widget> Widget* place(QWidget* parent, QRect geometry) {
    auto* widget = new Widget(parent);
    widget->setGeometry(geometry);
    return widget;
}

// The controls of the top strip and the right column: 6 group boxes, 5 push buttons,
// 4 labels, 3 drop-down lists, 10 lamps, 3 edit boxes, 4 styled buttons, 1 list box and the
// 8 hidden receive buffers.
void topStrip(QWidget* client) {
    for (const QRect& geometry :
         {QRect(2, 4, 216, 104), QRect(231, 5, 249, 104), QRect(488, 5, 304, 104),
          QRect(800, 4, 72, 104), QRect(880, 4, 408, 104), QRect(1004, 144, 292, 544)})
        place<QGroupBox>(client, geometry)->setTitle(QStringLiteral("分组框"));
    for (const QRect& geometry :
         {QRect(10, 20, 72, 40), QRect(87, 20, 72, 40), QRect(435, 23, 32, 72),
          QRect(723, 28, 64, 32), QRect(723, 70, 64, 32), QRect(807, 28, 56, 72),
          QRect(1028, 60, 87, 32), QRect(1144, 45, 104, 24), QRect(1028, 113, 88, 24)})
        place<QPushButton>(client, geometry)->setText(QStringLiteral("按钮"));
    for (const QRect& geometry : {QRect(18, 75, 56, 24), QRect(240, 23, 72, 24),
                                  QRect(240, 71, 72, 24), QRect(910, 44, 72, 16)})
        place<QLabel>(client, geometry)->setText(QStringLiteral("标签"));
    for (const QRect& geometry :
         {QRect(86, 76, 74, 20), QRect(1120, 76, 163, 20), QRect(1120, 114, 165, 20)})
        place<QComboBox>(client, geometry)->addItem(QStringLiteral("100"));
    for (int lamp = 0; lamp < 10; ++lamp)
        place<QFrame>(client, QRect(170 + 60 * lamp, 40, 32, 32))->setFrameShape(QFrame::Box);
    for (const QRect& geometry :
         {QRect(320, 23, 104, 24), QRect(320, 71, 104, 24), QRect(886, 64, 138, 33)})
        place<QLineEdit>(client, geometry);
    place<QListWidget>(client, QRect(1006, 168, 288, 519));
    for (int buffer = 0; buffer < 8; ++buffer)
        place<QLineEdit>(client, QRect(0, 0, 10, 10))->hide();
}
} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Hubrix（单机版）"));
    window.menuBar()->addMenu(QStringLiteral("设置"))->addAction(QStringLiteral("提示音已关闭"));
    auto* client = new QWidget;
    client->setMinimumSize(1298, 690);
    window.setCentralWidget(client);
    topStrip(client);
    auto* tileArea = place<QTabWidget>(client, QRect(2, 111, 998, 576));
    std::vector<QWidget*> pages;
    for (int page = 1; page <= 8; ++page) {
        pages.push_back(new QWidget);
        tileArea->addTab(pages.back(), QStringLiteral("端口%1").arg(page));
    }
    for (int tile = 1; tile <= 336; ++tile) {
        QWidget* page = pages[size_t(tiles::linkOf(tile) - 1)];
        place<QLineEdit>(page, tiles::remarkBoxRect(tile));
        place<QPushButton>(page, tiles::buttonRect(tile))->setText(QStringLiteral("已关闭"));
        place<QFrame>(page, tiles::lampRect(tile))->setFrameShape(QFrame::Box);
    }
    window.move(50, 50);
    window.resize(1303, 741);
    window.show();
    QTimer::singleShot(0, &window, [&window] {
        printIdleFigures();
        window.close();
    });
    return QApplication::exec();
}
