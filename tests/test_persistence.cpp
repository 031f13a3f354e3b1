// What an operator keeps between runs, through the real serial code against simulated boards
// on pseudo-terminals and the real store files: the binding, the remarks and the favourites.
#include "fakes/inline_writer.h"
#include "fakes/real_rig.h"
#include "fakes/test_rig.h"
#include "fakes/write_protection.h"
#include "ops/screen_procedures.h"
#include "store/store_session.h"
#include "store/stores.h"
#include "ui/captions.h"
#include "ui/drop_list.h"
#include "ui/main_window.h"
#include "ui/remark_box.h"
#include "ui/styled_button.h"
#include "ui/tab_control.h"
#include "ui/text_box.h"
#include "ui/tile_numbering.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>

namespace {
QString field(const QString& path, const QString& alias, int record, int position) {
    TableStore store{inlineWriter()};
    const StoreSession session(store, path, alias);
    if (!session.isOpen())
        return QStringLiteral("<not open>");
    session.goToRecord(record);
    return store.readField(position);
}

int records(const QString& path, const QString& alias) {
    TableStore store{inlineWriter()};
    const StoreSession session(store, path, alias);
    return session.isOpen() ? store.recordCount() : -1;
}

QByteArray bytesOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Runs sql on the file as the sqlite3 tool would.
bool runSql(const QString& path, const char* sql) {
    sqlite3* db = nullptr;
    const bool opened = sqlite3_open(QFile::encodeName(path).constData(), &db) == SQLITE_OK;
    const bool ran = opened && sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return ran;
}

// Both stores made by hand, with unquoted names and lower-case types: the remark store
// initialised, tile 47's remark kept as a favourite and tile 48's remark not; the binding store
// bound to board 0102 on link 1, or unbound.
void makeStoresByHand(const TestRig& rig, bool bound) {
    QVERIFY(runSql(rig.path(stores::RemarkFile),
                   "create table records(备注的 text, 常用的 text, 字段3 text);"
                   "with recursive n(i) as (select 1 union all select i + 1 from n where i < 339)"
                   " insert into records(备注的, 常用的) select case i when 1 then '1'"
                   " when 47 then '扫描仪' when 48 then '扫描枪' end,"
                   " case i when 47 then '47:扫描仪' end from n"));
    QVERIFY(runSql(rig.path(stores::BindingFile),
                   bound ? "create table records(端口1 text, 端口2 text, 端口3 text, 端口4 text,"
                           " 端口5 text, 端口6 text, 端口7 text, 端口8 text);"
                           "insert into records(端口1) values('0102')"
                         : "create table records(端口1 text, 端口2 text, 端口3 text, 端口4 text,"
                           " 端口5 text, 端口6 text, 端口7 text, 端口8 text)"));
}

bool spoke(const TestRig& rig, const QString& prompt) {
    return rig.speech.spoken.contains(prompt);
}

// Gives the remark box of tile the focus, on its page of the tile area, as a click would.
void focusRemarkBox(TestRig& rig, int tile) {
    linkFound(rig.program->context(), tiles::linkOf(tile), QStringLiteral("端口"));
    rig.program->window().ui().tileArea->setCurrentPage(tiles::linkOf(tile) - 1);
    rig.program->window().tile(tile).remarkBox->setFocus(Qt::OtherFocusReason);
    QCOMPARE(QApplication::focusWidget(), rig.program->window().tile(tile).remarkBox);
}
} // namespace

class PersistenceTest : public QObject {
    Q_OBJECT
private slots:
    void bindCloseRestart_boundConnectFindsTheSameBoards() {
        RealRig rig;
        QVERIFY(rig.rack.addSilentPort(1));
        QVERIFY(rig.rack.addBoard(2, 0x0102));
        QVERIFY(rig.rack.addBoard(5, 0x0A0B));
        rig.start();
        rig.ui().connectButton->click();
        QVERIFY(rig.ui().bindButton->isEnabled());
        rig.dialogs.answers = {Dialogs::Answer::Yes};
        rig.ui().bindButton->click();
        QTRY_COMPARE(rig.ui().bindButton->text(), QStringLiteral("已绑定"));
        rig.close();
        rig.dialogs.shown.clear();

        rig.start();
        QCOMPARE(rig.ui().connectButton->text(), QStringLiteral("开始连接"));
        QVERIFY(rig.ui().unbindButton->isEnabled());
        rig.ui().connectButton->click();
        QCOMPARE(rig.ui().tileArea->pageTitle(0), QStringLiteral("端口1绑定设备号：258"));
        QCOMPARE(rig.ui().tileArea->pageTitle(1), QStringLiteral("端口2绑定设备号：2571"));
        QCOMPARE(rig.program->rack().port(1), 2);
        QCOMPARE(rig.program->rack().port(2), 5);
        QVERIFY(!rig.ui().tileArea->isPageEnabled(2));
        QVERIFY(rig.dialogs.shown.isEmpty());

        // Unbinding leaves a blank remark store and no binding.
        rig.dialogs.answers = {Dialogs::Answer::Yes};
        rig.ui().unbindButton->click();
        rig.close();
        QCOMPARE(records(rig.path(stores::BindingFile), stores::BindingAlias), 0);
        QCOMPARE(records(rig.path(stores::RemarkFile), stores::RemarkAlias), 339);
        QCOMPARE(field(rig.path(stores::RemarkFile), stores::RemarkAlias, 1, 1),
                 QStringLiteral("1"));
        for (int record = 2; record <= 339; ++record)
            QVERIFY(field(rig.path(stores::RemarkFile), stores::RemarkAlias, record, 1).isEmpty());
    }

    // The remark is in the file the moment its success is spoken: a copy of the .edb file
    // alone, taken after the program was killed, holds it.
    void savedRemark_survivesAKillAtOnce_andIsFoundAndKeptAsAFavourite() {
        RealRig rig;
        {
            rig.start();
            rig.close();
            TableStore store{inlineWriter()};
            const StoreSession binding(store, rig.path(stores::BindingFile), stores::BindingAlias);
            QVERIFY(store.appendRecord({QStringLiteral("0102")}));
        }
        QProcess saver;
        saver.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        saver.start(QStringLiteral(REMARK_SAVER),
                    {rig.dir.path(), QStringLiteral("47"), QStringLiteral("二号柜扫描仪")});
        QVERIFY(saver.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(saver.canReadLine() || saver.state() == QProcess::NotRunning,
                                 20000);
        QCOMPARE(saver.readLine(), QByteArray("saved\n"));
        saver.kill();
        QVERIFY(saver.waitForFinished());

        QTemporaryDir copy;
        QVERIFY(QFile::copy(rig.path(stores::RemarkFile), copy.path() + stores::RemarkFile));
        QCOMPARE(field(copy.path() + stores::RemarkFile, stores::RemarkAlias, 47, 1),
                 QStringLiteral("二号柜扫描仪"));
        for (const char* side : {"-wal", "-shm", "-journal"})
            QVERIFY2(!QFile::exists(rig.path(stores::RemarkFile) + QLatin1String(side)), side);

        rig.start();
        QCOMPARE(rig.program->window().tile(47).remarkBox->text(), QStringLiteral("二号柜扫描仪"));
        rig.ui().searchText->setEnabled(true);
        rig.ui().searchButton->setEnabled(true);
        rig.ui().searchText->setText(QStringLiteral("扫描"));
        rig.ui().searchButton->click();
        QCOMPARE(rig.ui().searchResults->itemText(0), QStringLiteral("47:二号柜扫描仪"));
        rig.close();
        rig.start();
        QCOMPARE(rig.ui().favourites->count(), 1);
        QCOMPARE(rig.ui().favourites->itemText(0), QStringLiteral("47:二号柜扫描仪"));
    }

    void firstStart_remarkStoreHasAThirdFieldToKeepForEachTile() {
        TestRig rig;
        rig.start();
        rig.stop();
        QCOMPARE(stores::remarkColumns(),
                 (QStringList{QStringLiteral("备注的"), QStringLiteral("常用的"),
                              QStringLiteral("字段3")}));
        QVERIFY(rig.storeField(stores::RemarkFile, stores::RemarkAlias, 200, 3,
                               QStringLiteral("已打开")));
        TableStore store{inlineWriter()};
        const StoreSession remarks(store, rig.path(stores::RemarkFile), stores::RemarkAlias,
                                   StoreSession::OnLeave::Close, stores::remarkColumns());
        QVERIFY(remarks.isOpen());
        remarks.goToRecord(200);
        QCOMPARE(store.readField(3), QStringLiteral("已打开"));
        QCOMPARE(store.readField(stores::RemarkField), QString());
        remarks.goToRecord(199);
        QCOMPARE(store.readField(3), QString());
    }

    void storesMadeByHand_areUsedWhateverTextCreatedThem() {
        TestRig rig;
        makeStoresByHand(rig, true);
        rig.start();
        QVERIFY(!spoke(rig, QStringLiteral("备注数据库打开失败")));
        QVERIFY(!spoke(rig, QStringLiteral("数据打开失败")));
        const auto& ui = rig.program->window().ui();
        QCOMPARE(rig.program->window().tile(1).remarkBox->text(), QStringLiteral("1"));
        QCOMPARE(rig.program->window().tile(47).remarkBox->text(), QStringLiteral("扫描仪"));
        QCOMPARE(ui.favourites->count(), 1);
        QCOMPARE(ui.favourites->itemText(0), QStringLiteral("47:扫描仪"));
        QCOMPARE(ui.connectButton->text(), captions::ConnectBound);
        QVERIFY(ui.unbindButton->isEnabled());
    }

    // Each store file put in the other's place, or a copy of the remark store in the binding
    // store's: neither is used, the window starts unbound without remarks, and the files stay.
    void storesInTheWrongPlace_areNotUsedAndLeftAsTheyWere_data() {
        QTest::addColumn<bool>("swapped");
        QTest::newRow("swapped") << true;
        QTest::newRow("remark store copied over the binding store") << false;
    }

    void storesInTheWrongPlace_areNotUsedAndLeftAsTheyWere() {
        QFETCH(bool, swapped);
        TestRig rig;
        makeStoresByHand(rig, true);
        const QString remarks = rig.path(stores::RemarkFile);
        const QString binding = rig.path(stores::BindingFile);
        const QString aside = rig.path(QStringLiteral("/aside"));
        if (swapped)
            QVERIFY(QFile::rename(remarks, aside) && QFile::rename(binding, remarks) &&
                    QFile::rename(aside, binding));
        else
            QVERIFY(QFile::remove(binding) && QFile::copy(remarks, binding));
        const QByteArray remarkBytes = bytesOf(remarks);
        const QByteArray bindingBytes = bytesOf(binding);
        rig.start();
        QCOMPARE(spoke(rig, QStringLiteral("备注数据库打开失败")), swapped);
        QVERIFY(spoke(rig, QStringLiteral("数据打开失败")));
        const auto& ui = rig.program->window().ui();
        QVERIFY(ui.connectButton->text() != captions::ConnectBound);
        QVERIFY(rig.program->state().linkMode == LinkMode::Query);
        QVERIFY(!ui.unbindButton->isEnabled());
        QCOMPARE(rig.program->window().tile(1).remarkBox->text(),
                 swapped ? QString() : QStringLiteral("1"));
        rig.stop();
        QCOMPARE(bytesOf(remarks), remarkBytes);
        QCOMPARE(bytesOf(binding), bindingBytes);
    }

    // A table as the program creates it, but of one column, used to pass for the remark store.
    void remarkStoreOfOneColumn_isNotUsedAndLeftAsItWas() {
        TestRig rig;
        const QString remarks = rig.path(stores::RemarkFile);
        QVERIFY(runSql(remarks,
                       "CREATE TABLE records(\"备注的\" TEXT); INSERT INTO records VALUES('1')"));
        const QByteArray remarkBytes = bytesOf(remarks);
        rig.start();
        QVERIFY(spoke(rig, QStringLiteral("备注数据库打开失败")));
        QCOMPARE(rig.program->window().tile(1).remarkBox->text(), QString());
        rig.stop();
        QCOMPARE(bytesOf(remarks), remarkBytes);
    }

    // Store files this program may read but not write: everything they hold is shown, and every
    // write the operator asks for says that it failed. The files stay as they were.
    void storesThatCannotBeWritten_areShownAndEachWriteSaysItFailed() {
        TestRig rig;
        makeStoresByHand(rig, true);
        const QString remarks = rig.path(stores::RemarkFile);
        const QString binding = rig.path(stores::BindingFile);
        const QByteArray remarkBytes = bytesOf(remarks);
        const QByteArray bindingBytes = bytesOf(binding);
        const WriteProtection protection({remarks, binding});
        QVERIFY(WriteProtection::refuses(remarks) && WriteProtection::refuses(binding));

        rig.start();
        rig.showActive();
        QVERIFY(!spoke(rig, QStringLiteral("备注数据库打开失败")));
        QVERIFY(!spoke(rig, QStringLiteral("数据打开失败")));
        const auto& ui = rig.program->window().ui();
        QCOMPARE(rig.program->window().tile(47).remarkBox->text(), QStringLiteral("扫描仪"));
        QCOMPARE(ui.favourites->itemText(0), QStringLiteral("47:扫描仪"));
        QCOMPARE(ui.connectButton->text(), captions::ConnectBound);

        focusRemarkBox(rig, 12);
        rig.program->window().tile(12).remarkBox->setText(QStringLiteral("网关"));
        QTest::keyClick(rig.program->window().tile(12).remarkBox, Qt::Key_Return);
        QCOMPARE(rig.speech.spoken.last(), QStringLiteral("保存失败"));

        // Tile 48's hit would become a favourite.
        ui.searchText->setEnabled(true);
        ui.searchButton->setEnabled(true);
        ui.searchText->setText(QStringLiteral("扫描"));
        rig.speech.spoken.clear();
        ui.searchButton->click();
        QCOMPARE(ui.searchResults->count(), 2);
        QCOMPARE(rig.speech.spoken, QStringList{QStringLiteral("保存失败")});

        ui.favourites->setEnabled(true);
        ui.favourites->setCurrentIndex(
            ui.favourites->findText(QStringLiteral("47:扫描仪"), Qt::MatchExactly));
        ui.favourites->setFocus();
        rig.dialogs.answers = {Dialogs::Answer::Yes};
        QTest::keyClick(ui.favourites, Qt::Key_Delete);
        QCOMPARE(rig.speech.spoken.last(), QStringLiteral("删除失败"));
        rig.stop();
        QCOMPARE(bytesOf(remarks), remarkBytes);
        QCOMPARE(bytesOf(binding), bindingBytes);
    }

    void unboundStoreThatCannotBeWritten_bindSaysItFailed() {
        TestRig rig;
        makeStoresByHand(rig, false);
        const QString binding = rig.path(stores::BindingFile);
        const QByteArray bindingBytes = bytesOf(binding);
        const WriteProtection protection({binding});
        rig.start();
        QVERIFY(!spoke(rig, QStringLiteral("数据打开失败")));
        rig.findBoard(5, 0x0505);
        const auto& ui = rig.program->window().ui();
        ui.bindButton->setEnabled(true);
        rig.dialogs.answers = {Dialogs::Answer::Yes};
        ui.bindButton->click();
        QCOMPARE(rig.speech.spoken.last(), QStringLiteral("绑定失败"));
        QVERIFY(ui.bindButton->text() != QStringLiteral("已绑定"));
        rig.stop();
        QCOMPARE(bytesOf(binding), bindingBytes);
    }

    // An uninitialised remark store that cannot be written stays so; the operator hears it.
    void uninitialisedRemarkStoreThatCannotBeWritten_saysSoAtStart() {
        TestRig rig;
        const QString remarks = rig.path(stores::RemarkFile);
        QVERIFY(runSql(remarks, "create table records(备注的 text, 常用的 text, 字段3 text)"));
        const QByteArray remarkBytes = bytesOf(remarks);
        const WriteProtection protection({remarks});
        rig.start();
        QVERIFY(spoke(rig, QStringLiteral("备注数据库创建失败")));
        QVERIFY(!spoke(rig, QStringLiteral("备注数据库打开失败")));
        rig.stop();
        QCOMPARE(bytesOf(remarks), remarkBytes);
    }

    // What an unbind cut off by a kill can leave beside the stores is gone after the next start.
    void start_removesSuperJournalsThatNothingRefersTo() {
        TestRig rig;
        rig.start();
        rig.stop();
        const QString stale = rig.path(stores::BindingFile) + QStringLiteral("-mj1DCEF1903");
        QFile file(stale);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        rig.start();
        QVERIFY(!QFile::exists(stale));
        QCOMPARE(rig.storedRecordCount(stores::RemarkFile, stores::RemarkAlias), 339);
    }
};

QTEST_MAIN(PersistenceTest)
#include "test_persistence.moc"
