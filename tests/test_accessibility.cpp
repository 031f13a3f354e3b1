#include "hub/dimensions.h"
#include "ui/colours.h"
#include "ui/lamp.h"
#include "ui/main_window.h"
#include "ui/remark_box.h"
#include "ui/styled_button.h"
#include "ui/tab_control.h"

#include <QAccessible>
#include <QAction>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>

namespace {
QAccessibleInterface* interfaceOf(QObject* object) {
    return QAccessible::queryAccessibleInterface(object);
}

QString nameOf(QObject* object) {
    QAccessibleInterface* face = interfaceOf(object);
    return face ? face->text(QAccessible::Name) : QStringLiteral("<no interface>");
}

bool hasDesignName(const QObject* object) {
    for (QChar c : object->objectName())
        if (c.unicode() >= 0x4E00 && c.unicode() <= 0x9FFF)
            return true;
    return false;
}

// The menu item as the menu's interface shows it to a tool.
QAccessibleInterface* menuItemInterface(const MainWindow& window) {
    auto* menu = window.findChild<QMenu*>();
    QAccessibleInterface* face = menu ? interfaceOf(menu) : nullptr;
    if (!face)
        return nullptr;
    for (int i = 0; i < face->childCount(); ++i)
        if (face->child(i)->object() == window.ui().promptSoundItem)
            return face->child(i);
    return nullptr;
}
} // namespace

// What a screen reader or a test tool reads of the window through the toolkit's accessibility.
class AccessibilityTest : public QObject {
    Q_OBJECT
private slots:
    void init() {
        window_ = std::make_unique<MainWindow>();
        window_->show();
    }
    void cleanup() { window_.reset(); }

    void controls_tellWhichOneTheyAreAndWhatTheyShow_data() {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("role");
        QTest::newRow("tile button 1") << "超级按钮1"
                                       << "设备1 已关闭" << int(QAccessible::Button);
        QTest::newRow("tile button 336") << "超级按钮336"
                                         << "设备336 已关闭" << int(QAccessible::Button);
        QTest::newRow("remark box 12") << "超级编辑框12"
                                       << "设备12 备注" << int(QAccessible::EditableText);
        QTest::newRow("tile lamp 12") << "外形框22"
                                      << "设备12 指示灯 红色" << int(QAccessible::Graphic);
        QTest::newRow("tile lamp 336") << "外形框346"
                                       << "设备336 指示灯 红色" << int(QAccessible::Graphic);
        QTest::newRow("connection lamp") << "外形框1"
                                         << "连接 指示灯 红色" << int(QAccessible::Graphic);
        QTest::newRow("link lamp 1") << "外形框2"
                                     << "端口1 指示灯 红色" << int(QAccessible::Graphic);
        QTest::newRow("link lamp 8") << "外形框9"
                                     << "端口8 指示灯 红色" << int(QAccessible::Graphic);
        QTest::newRow("search lamp") << "外形框10"
                                     << "搜索 指示灯 无颜色" << int(QAccessible::Graphic);
        QTest::newRow("add-device button") << "超级按钮337"
                                           << "添加设备" << int(QAccessible::Button);
        QTest::newRow("favourite view button") << "超级按钮340"
                                               << "常用查看" << int(QAccessible::Button);
        QTest::newRow("connect button") << "按钮1_查询连接"
                                        << " 连接设备" << int(QAccessible::Button);
        QTest::newRow("tile area") << "高级选择夹1"
                                   << "" << int(QAccessible::PageTabList);
        QTest::newRow("tile page 3") << "端口3"
                                     << "端口3" << int(QAccessible::PageTab);
    }
    void controls_tellWhichOneTheyAreAndWhatTheyShow() {
        QFETCH(QString, control);
        QFETCH(QString, name);
        QFETCH(int, role);
        auto* widget = window_->findChild<QWidget*>(control);
        QVERIFY(widget);
        QAccessibleInterface* face = interfaceOf(widget);
        QVERIFY(face);
        QCOMPARE(face->text(QAccessible::Name), name);
        QCOMPARE(face->text(QAccessible::Description), control);
        QCOMPARE(int(face->role()), role);
    }

    // The window's 1046 design controls and the eight tile pages.
    void everyDesignName_isTheDescription() {
        int named = 0;
        const auto widgets = window_->findChildren<QWidget*>();
        for (QWidget* widget : widgets) {
            if (!hasDesignName(widget))
                continue;
            ++named;
            QAccessibleInterface* face = interfaceOf(widget);
            QVERIFY2(face, qPrintable(widget->objectName()));
            QCOMPARE(face->text(QAccessible::Description), widget->objectName());
        }
        QCOMPARE(named, 3 * TileCount + 38 + LinkCount);
    }

    void tileMembers_sitInTheirPageOfTheTileArea() {
        const MainWindow::Tile& tile = window_->tile(43);
        QAccessibleInterface* page = interfaceOf(tile.button)->parent();
        QVERIFY(page);
        QCOMPARE(page->role(), QAccessible::PageTab);
        QCOMPARE(page->text(QAccessible::Name), QStringLiteral("端口2"));
        QVERIFY(page->indexOfChild(interfaceOf(tile.lamp)) >= 0);
        QVERIFY(page->indexOfChild(interfaceOf(tile.remarkBox)) >= 0);
        QAccessibleInterface* area = page->parent();
        QVERIFY(area);
        QCOMPARE(area->object(), window_->ui().tileArea);
        QCOMPARE(area->indexOfChild(page), 1);
    }

    void tileButton_nameFollowsTheCaption() {
        StyledButton* button = window_->tile(5).button;
        button->setText(QStringLiteral("已打开"));
        QCOMPARE(nameOf(button), QStringLiteral("设备5 已打开"));
        button->setText(QStringLiteral("已关闭"));
        QCOMPARE(nameOf(button), QStringLiteral("设备5 已关闭"));
    }

    void styledButton_pressFromAToolIsAClick() {
        StyledButton* button = window_->tile(7).button;
        QSignalSpy clicks(button, &StyledButton::clicked);
        QAccessibleActionInterface* actions = interfaceOf(button)->actionInterface();
        QVERIFY(actions);
        QVERIFY(actions->actionNames().contains(QAccessibleActionInterface::pressAction()));
        actions->doAction(QAccessibleActionInterface::pressAction());
        QCOMPARE(clicks.count(), 1);
        button->setEnabled(false);
        actions->doAction(QAccessibleActionInterface::pressAction());
        QCOMPARE(clicks.count(), 1);
    }

    void lamp_readsItsColourAsItChanges_data() {
        QTest::addColumn<QString>("lamp");
        QTest::addColumn<std::optional<quint32>>("colour");
        QTest::addColumn<QString>("name");
        using Colour = std::optional<quint32>;
        QTest::newRow("tile 1 blue") << "外形框11" << Colour(colour::Blue) << "设备1 指示灯 蓝色";
        QTest::newRow("tile 1 red") << "外形框11" << Colour(colour::Red) << "设备1 指示灯 红色";
        QTest::newRow("link 3 green") << "外形框4" << Colour(colour::Green) << "端口3 指示灯 绿色";
        QTest::newRow("connection green")
            << "外形框1" << Colour(colour::Green) << "连接 指示灯 绿色";
        QTest::newRow("search blue") << "外形框10" << Colour(colour::Blue) << "搜索 指示灯 蓝色";
        QTest::newRow("search yellow")
            << "外形框10" << Colour(colour::Yellow) << "搜索 指示灯 黄色";
        QTest::newRow("link 8 no colour") << "外形框9" << Colour() << "端口8 指示灯 无颜色";
        QTest::newRow("tile 336 other colour")
            << "外形框346" << Colour(0x0080FF) << "设备336 指示灯 颜色#FF8000";
    }
    void lamp_readsItsColourAsItChanges() {
        QFETCH(QString, lamp);
        QFETCH(std::optional<quint32>, colour);
        QFETCH(QString, name);
        auto* control = window_->findChild<Lamp*>(lamp);
        QVERIFY(control);
        // Read once before the change: a tool keeps the interface it was given.
        QAccessibleInterface* face = interfaceOf(control);
        control->setColour(colour);
        QCOMPARE(face->text(QAccessible::Name), name);
    }

    void tilePages_readAsDisabledWhileUnavailable() {
        TabControl* area = window_->ui().tileArea;
        area->show();
        QAccessibleInterface* face = interfaceOf(area);
        QCOMPARE(face->childCount(), LinkCount);
        for (int k = 0; k < LinkCount; ++k)
            QCOMPARE(face->child(k)->object(), area->page(k));

        area->setPageEnabled(1, false);
        area->setPageEnabled(4, false);
        area->setPageTitle(0, QStringLiteral("0102"));
        for (int k = 0; k < LinkCount; ++k) {
            const QAccessible::State state = face->child(k)->state();
            QCOMPARE(bool(state.disabled), k == 1 || k == 4);
            QVERIFY(!state.invisible);
            QCOMPARE(bool(state.selected), k == 0);
        }
        QCOMPARE(face->child(0)->text(QAccessible::Name), QStringLiteral("0102"));
        QCOMPARE(face->child(1)->text(QAccessible::Name), QStringLiteral("端口2"));

        area->setPageEnabled(1, true);
        QVERIFY(!face->child(1)->state().disabled);
    }

    void tilePages_choosingOneIsLikeClickingItsTab() {
        TabControl* area = window_->ui().tileArea;
        area->show();
        QAccessibleInterface* face = interfaceOf(area);
        area->setPageEnabled(2, false);
        QAccessibleActionInterface* unavailable = face->child(2)->actionInterface();
        QVERIFY(unavailable);
        unavailable->doAction(QAccessibleActionInterface::pressAction());
        QCOMPARE(area->currentPage(), 0);

        face->child(3)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QCOMPARE(area->currentPage(), 3);
        QVERIFY(face->child(3)->state().selected);
        QVERIFY(!face->child(0)->state().selected);
        // Only the page shown can be pointed at.
        const QPoint middle = area->mapToGlobal(area->rect().center());
        QAccessibleInterface* hit = face->childAt(middle.x(), middle.y());
        QVERIFY(hit);
        QCOMPARE(hit->object(), area->page(3));
    }

    void tileArea_hiddenTabsReadAsInvisible() {
        QAccessibleInterface* face = interfaceOf(window_->ui().tileArea);
        QVERIFY(face->state().invisible);
        QVERIFY(face->child(0)->state().invisible);
    }

    void promptSoundItem_readsItsTick() {
        QAccessibleInterface* item = menuItemInterface(*window_);
        QVERIFY(item);
        QCOMPARE(item->text(QAccessible::Name), QStringLiteral("提示音已关闭"));
        QVERIFY(item->state().checkable);
        QVERIFY(!item->state().checked);
        window_->ui().promptSoundItem->setChecked(true);
        QVERIFY(item->state().checked);
        window_->ui().promptSoundItem->setChecked(false);
        QVERIFY(!item->state().checked);
    }

private:
    std::unique_ptr<MainWindow> window_;
};

QTEST_MAIN(AccessibilityTest)
#include "test_accessibility.moc"
