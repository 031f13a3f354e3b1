#include "fakes/test_rig.h"
#include "store/stores.h"
#include "ui/colours.h"
#include "ui/lamp.h"
#include "ui/remark_box.h"
#include "ui/styled_button.h"
#include "ui/tab_control.h"

#include <QFile>
#include <QPushButton>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

namespace {

const MainWindow::Controls& ui(TestRig& rig) {
    return rig.program->window().ui();
}

QStringList bindingRecord(const TestRig& rig) {
    QStringList fields;
    for (int k = 1; k <= LinkCount; ++k)
        fields << rig.storedField(stores::BindingFile, stores::BindingAlias, 1, k);
    return fields;
}
QByteArray fileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// While it lives, no file of this process may grow, as on a full disk: writes that would fail
// with an error instead of the signal that ends the process.
class NoRoomToGrow {
public:
    NoRoomToGrow() {
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        previousHandler_ = ::signal(SIGXFSZ, SIG_IGN);
        const rlimit none{0, saved_.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &none);
    }
    ~NoRoomToGrow() {
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        ::signal(SIGXFSZ, previousHandler_);
    }
    NoRoomToGrow(const NoRoomToGrow&) = delete;
    NoRoomToGrow& operator=(const NoRoomToGrow&) = delete;

private:
    rlimit saved_{};
    sighandler_t previousHandler_ = nullptr;
};
} // namespace

// 按钮4_绑定 and 按钮5_解除绑定: what is stored, what the window shows, and the full reset.
class BindingTest : public QObject {
    Q_OBJECT
private slots:
    void bind_storesTheBoardsThatAnswered_data() {
        QTest::addColumn<QStringList>("earlierRecord");
        QTest::newRow("no binding record yet") << QStringList();
        // Only record 1 is ever read: a bind that appended behind it was lost at restart.
        QTest::newRow("over an earlier record")
            << QStringList{QStringLiteral("1111"), QStringLiteral("2222")};
    }
    void bind_storesTheBoardsThatAnswered() {
        QFETCH(QStringList, earlierRecord);
        TestRig rig;
        if (earlierRecord.isEmpty())
            rig.start();
        else {
            rig.bindAtFirstStart(earlierRecord);
            rig.start();
        }
        rig.findBoard(5, 0x0505);
        ui(rig).bindButton->setEnabled(true);
        rig.dialogs.answers = {Dialogs::Answer::Yes};
        ui(rig).bindButton->click();

        QCOMPARE(rig.dialogs.shown.size(), 1);
        QCOMPARE(rig.dialogs.shown[0].text, QStringLiteral("确认是否绑定设备"));
        QCOMPARE(rig.dialogs.shown[0].title, QStringLiteral("绑定设备"));
        QCOMPARE(rig.dialogs.shown[0].icon, Dialogs::Icon::Question);
        QCOMPARE(rig.dialogs.shown[0].buttons, Dialogs::Buttons::YesNo);
        QCOMPARE(rig.storedRecordCount(stores::BindingFile, stores::BindingAlias), 1);
        QStringList expected(LinkCount);
        expected[4] = QStringLiteral("0505");
        QCOMPARE(bindingRecord(rig), expected);
        QCOMPARE(rig.program->state().linkMode, LinkMode::Bound);
        QVERIFY(!ui(rig).bindButton->isEnabled());
        QCOMPARE(ui(rig).bindButton->text(), QStringLiteral("已绑定"));
        QVERIFY(ui(rig).unbindButton->isEnabled());
        QCOMPARE(ui(rig).connectButton->text(), QStringLiteral("开始连接"));
        for (QWidget* control : std::initializer_list<QWidget*>{
                 ui(rig).searchText, ui(rig).searchButton, ui(rig).addDeviceButton,
                 ui(rig).favouriteViewButton, ui(rig).favourites})
            QVERIFY2(control->isEnabled(), qPrintable(control->objectName()));
        QVERIFY(!ui(rig).viewButton->isEnabled());
        QVERIFY(!ui(rig).searchResults->isEnabled());
        QVERIFY(ui(rig).favouriteViewButton->isLit());
        // The binding store stays open for the bound connect.
        QVERIFY(rig.program->store().isOpen(stores::BindingAlias));
    }

    void bind_withNoBoardAnswered_writesNothing() {
        TestRig rig;
        rig.start();
        ui(rig).bindButton->setEnabled(true);
        rig.dialogs.answers = {Dialogs::Answer::Yes};
        ui(rig).bindButton->click();
        QCOMPARE(rig.program->state().linkMode, LinkMode::Bound);
        QVERIFY(ui(rig).searchText->isEnabled());
        QCOMPARE(rig.storedRecordCount(stores::BindingFile, stores::BindingAlias), 0);
        QCOMPARE(ui(rig).bindButton->text(), QStringLiteral("绑定设备"));
        QVERIFY(!ui(rig).unbindButton->isEnabled());
    }

    void bind_declined_changesNothing() {
        TestRig rig;
        rig.start();
        rig.answer(2, 0x0202);
        ui(rig).bindButton->setEnabled(true);
        ui(rig).bindButton->click();
        QCOMPARE(rig.program->state().linkMode, LinkMode::Query);
        QCOMPARE(rig.storedRecordCount(stores::BindingFile, stores::BindingAlias), 0);
        QVERIFY(ui(rig).bindButton->isEnabled());
        QVERIFY(!ui(rig).searchText->isEnabled());
        QVERIFY(!rig.program->store().isOpen(stores::BindingAlias));
    }

    // Captions that say "bound" for boards the next start will not know would be a failure
    // reported as success.
    void bind_whenTheStoreCannotBeWritten_saysSoAndKeepsTheCaptions() {
        TestRig rig;
        rig.start();
        rig.stop();
        rig.replaceWithForeignFile(stores::BindingFile, "not a store");
        rig.start();
        rig.findBoard(1, 0x0101);
        ui(rig).bindButton->setEnabled(true);
        rig.dialogs.answers = {Dialogs::Answer::Yes};
        ui(rig).bindButton->click();
        QCOMPARE(rig.speech.spoken.last(), QStringLiteral("绑定失败"));
        QCOMPARE(ui(rig).bindButton->text(), QStringLiteral("绑定设备"));
        QVERIFY(!ui(rig).unbindButton->isEnabled());
    }

    void unbind_declined_changesNothing() {
        TestRig rig;
        rig.bindAtFirstStart({QStringLiteral("0101")});
        rig.storeField(stores::RemarkFile, stores::RemarkAlias, 7, 1, QStringLiteral("打印机"));
        rig.start();
        ui(rig).unbindButton->click();
        QCOMPARE(rig.dialogs.shown.last().text, QStringLiteral("确认是否解除设备绑定"));
        QCOMPARE(rig.dialogs.shown.last().title, QStringLiteral("解除绑定"));
        QCOMPARE(rig.dialogs.shown.last().icon, Dialogs::Icon::Warning);
        // The box says what a Yes erases.
        QCOMPARE(rig.dialogs.shown.last().detail, QStringLiteral("所有备注和常用项都将被删除。"));
        QCOMPARE(bindingRecord(rig).first(), QStringLiteral("0101"));
        QCOMPARE(rig.program->window().tile(7).remarkBox->text(), QStringLiteral("打印机"));
        QVERIFY(ui(rig).unbindButton->isEnabled());
        QCOMPARE(rig.program->state().linkMode, LinkMode::Bound);
    }

    void unbind_confirmed_resetsTheWholeDeviceMap() {
        TestRig rig;
        rig.bindAtFirstStart({QStringLiteral("0101")});
        rig.storeField(stores::RemarkFile, stores::RemarkAlias, 7, 1, QStringLiteral("打印机"));
        rig.storeField(stores::RemarkFile, stores::RemarkAlias, 7, 2, QStringLiteral("7:打印机"));
        rig.bus.addBoard(3, 0x0101);
        Program& program = rig.start();
        QCOMPARE(ui(rig).favourites->count(), 1);
        ui(rig).connectButton->click();
        QVERIFY(program.port(1).isOpen());
        ui(rig).searchResults->addItem(QStringLiteral("7:打印机"));

        rig.dialogs.answers = {Dialogs::Answer::Yes};
        ui(rig).unbindButton->click();

        QCOMPARE(rig.storedRecordCount(stores::BindingFile, stores::BindingAlias), 0);
        QCOMPARE(rig.storedRecordCount(stores::RemarkFile, stores::RemarkAlias), 339);
        QCOMPARE(rig.storedField(stores::RemarkFile, stores::RemarkAlias, 1, 1),
                 QStringLiteral("1"));
        for (int record = 2; record <= 339; ++record) {
            QVERIFY(rig.storedField(stores::RemarkFile, stores::RemarkAlias, record, 1).isEmpty());
            QVERIFY(rig.storedField(stores::RemarkFile, stores::RemarkAlias, record, 2).isEmpty());
        }
        for (const MainWindow::Tile& tile : ui(rig).tiles)
            QVERIFY(tile.remarkBox->text().isEmpty());
        QCOMPARE(ui(rig).favourites->count(), 0);
        QCOMPARE(ui(rig).searchResults->count(), 0);
        for (int k = 1; k <= LinkCount; ++k) {
            QVERIFY(!program.port(k).isOpen());
            QCOMPARE(ui(rig).linkLamps[size_t(k - 1)]->colour(),
                     std::optional<quint32>(colour::Red));
            QVERIFY(!ui(rig).tileArea->isPageEnabled(k - 1));
        }
        QCOMPARE(ui(rig).connectionLamp->colour(), std::optional<quint32>(colour::Red));
        QVERIFY(ui(rig).tileArea->isHidden());
        QCOMPARE(program.state().linkMode, LinkMode::Query);
        QVERIFY(ui(rig).bindButton->isEnabled());
        QCOMPARE(ui(rig).bindButton->text(), QStringLiteral("绑定设备"));
        QVERIFY(!ui(rig).unbindButton->isEnabled());
        QCOMPARE(ui(rig).connectButton->text(), QStringLiteral("连接设备"));
        QVERIFY(!ui(rig).searchText->isEnabled());
        QVERIFY(!ui(rig).favourites->isEnabled());

        // The next start finds a blank store and no binding.
        rig.stop();
        rig.start();
        QCOMPARE(rig.program->state().linkMode, LinkMode::Query);
        QCOMPARE(rig.program->window().tile(1).remarkBox->text(), QStringLiteral("1"));
        QCOMPARE(rig.storedRecordCount(stores::RemarkFile, stores::RemarkAlias), 339);
    }

    // The disk is full: nothing of the reset lands, and the window stays bound as the stores are.
    void unbind_whenTheStoresCannotBeWritten_saysSoAndChangesNothing() {
        TestRig rig;
        rig.bindAtFirstStart({QStringLiteral("0101")});
        rig.storeField(stores::RemarkFile, stores::RemarkAlias, 7, 1, QStringLiteral("打印机"));
        rig.bus.addBoard(3, 0x0101);
        Program& program = rig.start();
        ui(rig).connectButton->click();
        QVERIFY(program.rack().isFound(1));
        const QByteArray remarkBytes = fileBytes(rig.path(stores::RemarkFile));
        const QByteArray bindingBytes = fileBytes(rig.path(stores::BindingFile));

        rig.dialogs.answers = {Dialogs::Answer::Yes};
        {
            const NoRoomToGrow full;
            ui(rig).unbindButton->click();
        }
        QCOMPARE(rig.speech.spoken.last(), QStringLiteral("解除绑定失败"));
        QCOMPARE(fileBytes(rig.path(stores::RemarkFile)), remarkBytes);
        QCOMPARE(fileBytes(rig.path(stores::BindingFile)), bindingBytes);
        QVERIFY(program.rack().isFound(1));
        QVERIFY(ui(rig).unbindButton->isEnabled());
        QCOMPARE(program.state().linkMode, LinkMode::Bound);
        QCOMPARE(program.window().tile(7).remarkBox->text(), QStringLiteral("打印机"));

        rig.stop();
        rig.start();
        QCOMPARE(rig.program->state().linkMode, LinkMode::Bound);
        QCOMPARE(rig.program->window().tile(7).remarkBox->text(), QStringLiteral("打印机"));
    }

    void unbind_withATileOn_isRefusedWithTheDisconnectsBox() {
        TestRig rig;
        rig.bindAtFirstStart({QStringLiteral("0101")});
        rig.bus.addBoard(3, 0x0101);
        Program& program = rig.start();
        ui(rig).connectButton->click();
        program.window().tile(4).button->click();
        rig.bus.deliver();
        QCOMPARE(program.window().tile(4).button->text(), QStringLiteral("已打开"));

        rig.dialogs.answers = {Dialogs::Answer::Yes};
        ui(rig).unbindButton->click();
        QCOMPARE(rig.dialogs.shown.size(), 1);
        QCOMPARE(rig.dialogs.shown.last().text, QStringLiteral("请关闭已打开的设备"));
        QCOMPARE(bindingRecord(rig).first(), QStringLiteral("0101"));
        QVERIFY(program.port(1).isOpen());
        QVERIFY(!ui(rig).tileArea->isHidden());
    }
};

QTEST_MAIN(BindingTest)
#include "test_binding.moc"
