#include "app/run_program.h"
#include "fakes/inline_writer.h"
#include "fakes/test_rig.h"
#include "store/stores.h"
#include "tiles/tile_refill.h"
#include "ui/remark_box.h"
#include "ui/styled_button.h"
#include "ui/tab_control.h"

#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace {
QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// Writes into the stores of rig's directory as an earlier run would have left them.
struct StoreWriter {
    TableStore store{inlineWriter()};
    QString dir;
    bool open(const QString& file, const QString& alias) {
        return store.openTable(dir + file, alias) && store.makeCurrent(alias);
    }
    void goToRecord(int record) {
        store.goToFirstRecord();
        for (int r = 1; r < record; ++r)
            store.skip();
    }
};
} // namespace

class StartupTest : public QObject {
    Q_OBJECT
private slots:
    void firstStart_createsBothStoresAndGreets() {
        TestRig rig;
        Program& program = rig.start();
        QCOMPARE(rig.speech.spoken, QStringList({QStringLiteral("欢迎使用Hubrix"),
                                                 QStringLiteral("创建备注数据库成功"),
                                                 QStringLiteral("数据创建成功")}));
        QVERIFY(contents(rig.path(stores::RemarkFile)).startsWith("SQLite format 3"));
        QVERIFY(contents(rig.path(stores::BindingFile)).startsWith("SQLite format 3"));

        const auto& ui = program.window().ui();
        QCOMPARE(ui.connectButton->text(), QStringLiteral(" 连接设备"));
        QVERIFY(!ui.bindButton->isEnabled());
        QVERIFY(!ui.unbindButton->isEnabled());
        QVERIFY(!ui.addDeviceButton->isEnabled());
        QVERIFY(!ui.searchText->isEnabled());
        QVERIFY(!ui.favourites->isEnabled());
        QCOMPARE(ui.favourites->count(), 0);
        QVERIFY(ui.tileArea->isHidden());
        QCOMPARE(ui.probeWaitList->currentText(), QStringLiteral("100"));
        QCOMPARE(program.state().linkMode, LinkMode::Query);
        QCOMPARE(program.state().fillMode, 1);
        QCOMPARE(program.window().tile(1).remarkBox->text(), QString());
        rig.stop();

        StoreWriter check{.dir = rig.dir.path()};
        QVERIFY(check.open(stores::RemarkFile, stores::RemarkAlias));
        QCOMPARE(check.store.recordCount(), 339);
        QCOMPARE(check.store.readField(1), QStringLiteral("1"));
        check.goToRecord(2);
        QCOMPARE(check.store.readField(1), QString());
        QVERIFY(check.open(stores::BindingFile, stores::BindingAlias));
        QCOMPARE(check.store.recordCount(), 0);
    }

    void secondStart_restoresRemarksAndFavourites() {
        TestRig rig;
        rig.start();
        rig.stop();
        {
            StoreWriter writer{.dir = rig.dir.path()};
            QVERIFY(writer.open(stores::RemarkFile, stores::RemarkAlias));
            writer.goToRecord(7);
            writer.store.writeField(1, QStringLiteral("打印机"));
            writer.store.writeField(2, QStringLiteral("7:打印机"));
            writer.goToRecord(3);
            writer.store.writeField(2, QStringLiteral("3:扫描仪"));
            writer.goToRecord(336);
            writer.store.writeField(1, QStringLiteral("最后一个"));
            writer.goToRecord(338);
            writer.store.writeField(2, QStringLiteral("338:看不见"));
            writer.goToRecord(339);
            writer.store.writeField(2, QStringLiteral("339:不算"));
        }
        rig.speech.spoken.clear();
        Program& program = rig.start();
        QCOMPARE(rig.speech.spoken, QStringList{QStringLiteral("欢迎使用Hubrix")});
        QCOMPARE(program.window().tile(1).remarkBox->text(), QStringLiteral("1"));
        QCOMPARE(program.window().tile(7).remarkBox->text(), QStringLiteral("打印机"));
        QCOMPARE(program.window().tile(336).remarkBox->text(), QStringLiteral("最后一个"));
        QCOMPARE(program.window().tile(2).remarkBox->text(), QString());
        QComboBox& favourites = *program.window().ui().favourites;
        QCOMPARE(favourites.count(), 3);
        QCOMPARE(favourites.itemText(0), QStringLiteral("3:扫描仪"));
        QCOMPARE(favourites.itemText(1), QStringLiteral("7:打印机"));
        QCOMPARE(favourites.itemText(2), QStringLiteral("338:看不见"));
        QCOMPARE(favourites.currentIndex(), 0);
        QCOMPARE(program.state().linkMode, LinkMode::Query);
    }

    void secondStart_anyBindingFieldGivesTheBoundState_data() {
        QTest::addColumn<int>("field");
        QTest::newRow("only 端口8") << 8;
        QTest::newRow("端口1") << 1;
    }
    void secondStart_anyBindingFieldGivesTheBoundState() {
        QFETCH(int, field);
        TestRig rig;
        QStringList fields(8);
        fields[field - 1] = QStringLiteral("0102");
        rig.bindAtFirstStart(fields);
        Program& program = rig.start();
        const auto& ui = program.window().ui();
        QCOMPARE(program.state().linkMode, LinkMode::Bound);
        QCOMPARE(ui.connectButton->text(), QStringLiteral("开始连接"));
        QVERIFY(!ui.bindButton->isEnabled());
        QVERIFY(ui.unbindButton->isEnabled());
        QVERIFY(ui.tileArea->isHidden());
        QVERIFY(program.store().isOpen(stores::BindingAlias));
    }

    void secondStart_emptyBindingRecordStaysUnbound() {
        TestRig rig;
        rig.start();
        rig.stop();
        {
            StoreWriter writer{.dir = rig.dir.path()};
            QVERIFY(writer.open(stores::BindingFile, stores::BindingAlias));
            QVERIFY(writer.store.appendBlankRecord());
        }
        Program& program = rig.start();
        QCOMPARE(program.state().linkMode, LinkMode::Query);
        QVERIFY(!program.window().ui().unbindButton->isEnabled());
        QVERIFY(!program.store().isOpen(stores::BindingAlias));
    }

    void start_emptyMarkAppendsAFreshSetBehindTheRecords() {
        TestRig rig;
        rig.start();
        rig.stop();
        {
            StoreWriter writer{.dir = rig.dir.path()};
            QVERIFY(writer.open(stores::RemarkFile, stores::RemarkAlias));
            writer.store.writeField(1, QString());
            writer.goToRecord(5);
            writer.store.writeField(1, QStringLiteral("五号"));
        }
        Program& program = rig.start();
        // Tiles are not refilled from a store that counts as new.
        QCOMPARE(program.window().tile(5).remarkBox->text(), QString());
        rig.stop();

        StoreWriter check{.dir = rig.dir.path()};
        QVERIFY(check.open(stores::RemarkFile, stores::RemarkAlias));
        QCOMPARE(check.store.recordCount(), 678);
        QCOMPARE(check.store.readField(1), QString());
        check.goToRecord(5);
        QCOMPARE(check.store.readField(1), QStringLiteral("五号"));
        check.goToRecord(340);
        QCOMPARE(check.store.readField(1), QStringLiteral("1"));
    }

    void start_foreignFilesAreLeftUntouched_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("remark store, text") << stores::RemarkFile << QByteArray("not a store\n");
        QTest::newRow("binding store, text") << stores::BindingFile << QByteArray("garbage");
        QTest::newRow("remark store, empty") << stores::RemarkFile << QByteArray();
        QTest::newRow("binding store, truncated header")
            << stores::BindingFile << QByteArray("SQLite format 3\0\x10\0", 19);
    }
    void start_foreignFilesAreLeftUntouched() {
        QFETCH(QString, file);
        QFETCH(QByteArray, bytes);
        TestRig rig;
        writeFile(rig.path(file), bytes);
        Program& program = rig.start();
        QCOMPARE(contents(rig.path(file)), bytes);
        QVERIFY(program.window().isEnabled());
        QCOMPARE(rig.speech.spoken.first(), QStringLiteral("欢迎使用Hubrix"));
        // Each store that is there but unusable is reported, the other one is not.
        QCOMPARE(rig.speech.spoken.contains(QStringLiteral("数据打开失败")),
                 file == stores::BindingFile);
        QCOMPARE(rig.speech.spoken.contains(QStringLiteral("备注数据库打开失败")),
                 file == stores::RemarkFile);
        QCOMPARE(program.state().linkMode, LinkMode::Query);
    }

    void start_removesWhatAnInterruptedFirstStartLeft() {
        TestRig rig;
        const QStringList leftovers{
            QStringLiteral("/.备注数据库.edb.0123456789abcdef.creating"),
            QStringLiteral("/.备注数据库.edb.0123456789abcdef.creating-journal"),
            QStringLiteral("/.端口数据库.edb.fedcba9876543210.creating")};
        const QString kept = QStringLiteral("/.备注数据库.edb.备份");
        for (const QString& file : leftovers + QStringList{kept})
            writeFile(rig.path(file), "half made");
        rig.start();
        rig.stop();
        // The second start finds both stores there and still tidies up.
        writeFile(rig.path(leftovers[2]), "half made");
        rig.start();
        for (const QString& file : leftovers)
            QVERIFY2(!QFile::exists(rig.path(file)), qPrintable(file));
        QVERIFY(QFile::exists(rig.path(kept)));
    }

    void closingTheWindow_endsTheProgramWithExitCodeZero() {
        TestRig rig;
        bool shown = false;
        const int exitCode =
            runProgram(Services{rig.speech, rig.serialPorts, rig.waits, rig.dialogs, rig.network,
                                rig.tune, rig.writer},
                       rig.dir.path(), [&](Program& program) {
                           shown = program.window().isVisible();
                           QTimer::singleShot(0, &program.window(), &QWidget::close);
                       });
        QVERIFY(shown);
        QCOMPARE(exitCode, 0);
        QCOMPARE(rig.speech.spoken.first(), QStringLiteral("欢迎使用Hubrix"));
    }

    // The engine's libraries would hold up the first picture: it may load only once the window
    // is up and the events queued at its start are handled, and the greeting waits for it.
    void speechEngine_mayLoadOnlyAfterTheWindowIsUp() {
        TestRig rig;
        int begunWhenShown = -1;
        int begunWhenStartHandled = -1;
        const int exitCode =
            runProgram(Services{rig.speech, rig.serialPorts, rig.waits, rig.dialogs, rig.network,
                                rig.tune, rig.writer},
                       rig.dir.path(), [&](Program& program) {
                           begunWhenShown = rig.speech.loadingBegun;
                           QTimer::singleShot(0, &program.window(), [&] {
                               begunWhenStartHandled = rig.speech.loadingBegun;
                               QTimer::singleShot(0, &program.window(), &QWidget::close);
                           });
                       });
        QCOMPARE(exitCode, 0);
        QCOMPARE(begunWhenShown, 0);
        QCOMPARE(begunWhenStartHandled, 0);
        QCOMPARE(rig.speech.loadingBegun, 1);
        QCOMPARE(rig.speech.spoken.first(), QStringLiteral("欢迎使用Hubrix"));
    }

    void refill_fillsFromTheCurrentRecordOn() {
        TestRig rig;
        Program& program = rig.start();
        program.window().tile(2).remarkBox->setText(QStringLiteral("留着"));
        TableStore& store = program.store();
        QVERIFY(store.openTable(rig.path(stores::RemarkFile), stores::RemarkAlias));
        store.makeCurrent(stores::RemarkAlias);
        store.goToFirstRecord();
        for (int r = 1; r < 5; ++r)
            store.skip();
        store.writeField(1, QStringLiteral("五"));
        program.state().fillMode = 1;
        refillTiles(program.context());
        QCOMPARE(program.window().tile(2).remarkBox->text(), QStringLiteral("留着"));
        QCOMPARE(program.window().tile(5).remarkBox->text(), QStringLiteral("五"));
        QCOMPARE(program.window().tile(6).remarkBox->text(), QString());

        program.state().fillMode = 0;
        refillTiles(program.context());
        for (int tile : {1, 2, 5, 336})
            QCOMPARE(program.window().tile(tile).remarkBox->text(), QString());
        store.closeTable(stores::RemarkAlias);
    }
};

QTEST_MAIN(StartupTest)
#include "test_startup.moc"
