#include "offscreen_screen.h"
#include "ui/colours.h"
#include "ui/drop_list.h"
#include "ui/lamp.h"
#include "ui/main_window.h"
#include "ui/remark_box.h"
#include "ui/styled_button.h"
#include "ui/tab_control.h"
#include "ui/tile_numbering.h"

#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

namespace {
// Types text as key presses, one character at a time, as an input method would deliver it.
void type(QWidget* widget, const QString& text) {
    for (QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &press);
    }
}
} // namespace

class WindowLayoutTest : public QObject {
    Q_OBJECT
private slots:
    void numbering_tilesOnTheirPagesAndSlots_data() {
        QTest::addColumn<int>("tile");
        QTest::addColumn<int>("link");
        QTest::addColumn<int>("slot");
        QTest::addColumn<QRect>("remark");
        QTest::addColumn<QRect>("button");
        QTest::addColumn<QRect>("lamp");
        QTest::newRow("tile 1") << 1 << 1 << 1 << QRect(16, 35, 88, 40) << QRect(16, 77, 88, 40)
                                << QRect(109, 53, 32, 48);
        QTest::newRow("tile 42") << 42 << 1 << 42 << QRect(864, 481, 88, 40)
                                 << QRect(864, 523, 88, 40) << QRect(958, 499, 32, 48);
        QTest::newRow("tile 43") << 43 << 2 << 1 << QRect(16, 35, 88, 40) << QRect(16, 77, 88, 40)
                                 << QRect(109, 53, 32, 48);
        QTest::newRow("tile 100") << 100 << 3 << 16 << QRect(157, 213, 88, 40)
                                  << QRect(157, 255, 88, 40) << QRect(250, 231, 32, 48);
        QTest::newRow("tile 336") << 336 << 8 << 42 << QRect(864, 481, 88, 40)
                                  << QRect(864, 523, 88, 40) << QRect(958, 499, 32, 48);
    }
    void numbering_tilesOnTheirPagesAndSlots() {
        QFETCH(int, tile);
        QFETCH(int, link);
        QFETCH(int, slot);
        QFETCH(QRect, remark);
        QFETCH(QRect, button);
        QFETCH(QRect, lamp);
        QCOMPARE(tiles::linkOf(tile), link);
        QCOMPARE(tiles::slotOf(tile), slot);

        const MainWindow& window = *window_;
        const MainWindow::Tile& controls = window.tile(tile);
        QWidget* page = window.ui().tileArea->page(link - 1);
        QCOMPARE(controls.remarkBox->objectName(), QStringLiteral("超级编辑框%1").arg(tile));
        QCOMPARE(controls.button->objectName(), QStringLiteral("超级按钮%1").arg(tile));
        QCOMPARE(controls.lamp->objectName(), QStringLiteral("外形框%1").arg(tile + 10));
        for (QWidget* member :
             {static_cast<QWidget*>(controls.remarkBox), static_cast<QWidget*>(controls.button),
              static_cast<QWidget*>(controls.lamp)})
            QCOMPARE(member->parentWidget(), page);
        QCOMPARE(controls.remarkBox->geometry(), remark);
        QCOMPARE(controls.button->geometry(), button);
        QCOMPARE(controls.lamp->geometry(), lamp);
        QCOMPARE(controls.remarkBox->property("tag").toString(), QString::number(tile));
        QCOMPARE(controls.button->text(), QStringLiteral("已关闭"));
        QCOMPARE(controls.lamp->colour(), std::optional<quint32>(colour::Red));
        QCOMPARE(window.findChild<Lamp*>(tiles::lampName(tile)), controls.lamp);
    }

    void numbering_namesGiveTheTileNumberBack() {
        QCOMPARE(tiles::numberFromName(QStringLiteral("超级按钮336"), tiles::ButtonPrefix), 336);
        QCOMPARE(tiles::numberFromName(QStringLiteral("超级编辑框7"), tiles::RemarkBoxPrefix), 7);
        QCOMPARE(tiles::numberFromName(QStringLiteral("超级编辑框7"), tiles::ButtonPrefix), 0);
        QCOMPARE(tiles::numberFromName(QStringLiteral("超级按钮"), tiles::ButtonPrefix), 0);
    }

    void window_holdsEveryTileOnce() {
        const MainWindow& window = *window_;
        QCOMPARE(window.findChildren<RemarkBox*>().size(), 336);
        // 336 tile buttons and the four command buttons.
        QCOMPARE(window.findChildren<StyledButton*>().size(), 340);
        // 336 tile lamps, the connection lamp, eight link lamps and the search lamp.
        QCOMPARE(window.findChildren<Lamp*>().size(), 346);
        for (int page = 0; page < 8; ++page)
            QCOMPARE(window.ui().tileArea->page(page)->findChildren<StyledButton*>().size(), 42);
    }

    void window_startsInItsDesignState() {
        const MainWindow& window = *window_;
        const auto& ui = window.ui();
        QCOMPARE(window.windowTitle(), QStringLiteral("Hubrix（单机版）"));
        QCOMPARE(ui.connectButton->objectName(), QStringLiteral("按钮1_查询连接"));
        QCOMPARE(ui.connectButton->text(), QStringLiteral(" 连接设备"));
        QCOMPARE(ui.disconnectButton->text(), QStringLiteral("断开连接"));
        QCOMPARE(ui.probeWaitList->count(), 8);
        QCOMPARE(ui.probeWaitList->itemText(7), QStringLiteral("300"));
        QVERIFY(!ui.bindButton->isEnabled());
        QVERIFY(!ui.unbindButton->isEnabled());
        QCOMPARE(ui.connectionLamp->colour(), std::optional<quint32>(colour::Red));
        for (int k = 0; k < 8; ++k) {
            QCOMPARE(ui.linkLamps[size_t(k)]->objectName(), QStringLiteral("外形框%1").arg(k + 2));
            QCOMPARE(ui.linkLamps[size_t(k)]->colour(), std::optional<quint32>(colour::Red));
            QCOMPARE(ui.tileArea->pageTitle(k), QStringLiteral("端口%1").arg(k + 1));
        }
        QCOMPARE(ui.searchLamp->colour(), std::nullopt);
        QVERIFY(ui.tileArea->isHidden());
        QCOMPARE(ui.tileArea->geometry(), QRect(2, 111, 998, 576));
        QCOMPARE(ui.addDeviceButton->objectName(), QStringLiteral("超级按钮337"));
        QCOMPARE(ui.favouriteViewButton->text(), QStringLiteral("常用查看"));
    }

    void window_showsEveryControlFully() {
        MainWindow& window = *window_;
        window.ui().tileArea->show();
        window.show();
        window.fitDesignSize();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QRect client = window.centralWidget()->rect();
        const auto& ui = window.ui();
        for (QWidget* control :
             {static_cast<QWidget*>(ui.favourites), static_cast<QWidget*>(ui.openDevices),
              static_cast<QWidget*>(ui.tileArea), static_cast<QWidget*>(ui.searchResults),
              static_cast<QWidget*>(ui.unbindButton)}) {
            const QRect onClient(control->mapTo(window.centralWidget(), QPoint(0, 0)),
                                 control->size());
            QVERIFY2(client.contains(onClient), qPrintable(control->objectName()));
        }
        for (int tile : {1, 42, 336}) {
            QWidget* button = window.tile(tile).button;
            QVERIFY(ui.tileArea->rect().contains(button->geometry()));
        }
        QCOMPARE(window.frameGeometry().size(), QSize(1303, 741));
    }

    void styledButton_plainLookUndoesTheColourSlots() {
        StyledButton* button = window_->tile(5).button;
        button->setLit(true);
        button->setColourSlot(4, colour::Green);
        QVERIFY(button->isLit());
        QCOMPARE(button->colourSlot(4), colour::Green);
        button->setLit(false);
        QVERIFY(!button->isLit());
        QCOMPARE(button->colourSlot(4), 0u);
    }

    void remarkBox_acceptsTwentyBytesOfGbkInWholeCharacters() {
        RemarkBox* box = window_->tile(1).remarkBox;
        QCOMPARE(RemarkBox::gbkLength(QStringLiteral("ab中文")), 6);
        box->clear();
        box->setFocus();
        type(box, QStringLiteral("一二三四五六七八九十百"));
        QCOMPARE(box->text(), QStringLiteral("一二三四五六七八九十"));
        box->clear();
        type(box, QStringLiteral("a一二三四五六七八九十"));
        QCOMPARE(box->text(), QStringLiteral("a一二三四五六七八九"));
        type(box, QStringLiteral("b"));
        QCOMPARE(box->text(), QStringLiteral("a一二三四五六七八九b"));
        // A full box refuses a key typed in its middle instead of losing its end.
        box->setCursorPosition(1);
        type(box, QStringLiteral("c"));
        QCOMPARE(box->text(), QStringLiteral("a一二三四五六七八九b"));
        // Typed over a selection, a character takes the selection's place.
        box->setSelection(1, 1);
        type(box, QStringLiteral("xy"));
        QCOMPARE(box->text(), QStringLiteral("axy二三四五六七八九b"));
    }

    void tabTitles_allEightFitAtTheDesignedWidth_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("query") << QStringLiteral("设备号：");
        QTest::newRow("bound") << QStringLiteral("绑定设备号：");
    }
    void tabTitles_allEightFitAtTheDesignedWidth() {
        QFETCH(QString, kind);
        MainWindow& window = *window_;
        TabControl& area = *window.ui().tileArea;
        area.show();
        window.show();
        window.fitDesignSize();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QStringList titles;
        for (int page = 0; page < 8; ++page) {
            // The widest device numbers there are.
            titles << QStringLiteral("端口%1").arg(page + 1) + kind + QStringLiteral("65535");
            area.setPageTitle(page, titles.last());
            area.setPageEnabled(page, true);
        }
        QCOMPARE(area.width(), 998);
        for (int page = 0; page < 8; ++page) {
            const QRect tab = area.tabRect(page);
            QVERIFY2(tab.left() >= 0 && tab.right() < area.width(), qPrintable(titles[page]));
            if (page > 0)
                QVERIFY(tab.left() > area.tabRect(page - 1).left());
            QCOMPARE(area.pageTitle(page), titles[page]);
            QCOMPARE(area.tabToolTip(page), titles[page]);
            QAccessibleInterface* tabInterface =
                QAccessible::queryAccessibleInterface(area.page(page));
            QCOMPARE(tabInterface->text(QAccessible::Name), titles[page]);
        }
        // No scroll arrows: the last pages are reached like the first.
        for (const QToolButton* arrow : area.findChildren<QToolButton*>())
            QVERIFY(!arrow->isVisible());
        area.setCurrentPage(7);
        QCOMPARE(area.currentPage(), 7);
    }

    void litTile_drawsItsTextReadably() {
        // A switched-on tile: white text (slot 1) on green (slot 4).
        const auto [text, fill] =
            colour::readable(colour::toQColor(colour::White), colour::toQColor(colour::Green));
        QVERIFY(colour::contrast(colour::toQColor(colour::White), colour::toQColor(colour::Green)) <
                2);
        QVERIFY(colour::contrast(text, fill) >= colour::ReadableContrast);
        QCOMPARE(text, colour::toQColor(colour::White));
        // Still green: the same slot shows the same state.
        QCOMPARE(fill.hue(), colour::toQColor(colour::Green).hue());
        // The search button's red on green keeps its fill and deepens the text.
        const auto [red, green] =
            colour::readable(colour::toQColor(colour::Red), colour::toQColor(colour::Green));
        QVERIFY(colour::contrast(red, green) >= colour::ReadableContrast);
        QCOMPARE(green, colour::toQColor(colour::Green));
        QCOMPARE(red.hue(), 0);
        // Readable pairs are left alone.
        const auto [black, yellow] =
            colour::readable(colour::toQColor(colour::Black), colour::toQColor(colour::Yellow));
        QCOMPARE(black, colour::toQColor(colour::Black));
        QCOMPARE(yellow, colour::toQColor(colour::Yellow));
    }

    void controls_readAsTheirOwnNames() {
        const auto& ui = window_->ui();
        const auto name = [](QWidget* widget) {
            return QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name);
        };
        QCOMPARE(name(ui.internalAddress), QStringLiteral("本机内网IP"));
        QCOMPARE(name(ui.externalAddress), QStringLiteral("本机外网IP"));
        QCOMPARE(name(ui.favourites), QStringLiteral("常用列表"));
        QCOMPARE(name(ui.searchResults), QStringLiteral("搜索结果"));
        QCOMPARE(name(ui.openDevices), QStringLiteral("设备端口显示"));
        QCOMPARE(ui.addressButton->text(), QStringLiteral("查询IP"));
    }

    void init() { window_ = std::make_unique<MainWindow>(); }
    void cleanup() { window_.reset(); }

private:
    std::unique_ptr<MainWindow> window_;
};

// A screen larger than the design, where the window takes its designed size.
HUBRIX_TEST_MAIN_ON_SCREEN(WindowLayoutTest, 1920, 1080)
#include "test_window_layout.moc"
