// What an operator keeps between runs, through the real serial code against simulated boards
// on pseudo-terminals and the real store files: the binding, the remarks and the favourites.
#include "fakes/real_rig.h"
#include "store/store_session.h"
#include "store/stores.h"
#include "ui/drop_list.h"
#include "ui/remark_box.h"
#include "ui/styled_button.h"
#include "ui/tab_control.h"
#include "ui/text_box.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

namespace {
QString field(const QString& path, const QString& alias, int record, int position) {
    TableStore store;
    const StoreSession session(store, path, alias);
    if (!session.isOpen())
        return QStringLiteral("<not open>");
    session.goToRecord(record);
    return store.readField(position);
}

int records(const QString& path, const QString& alias) {
    TableStore store;
    const StoreSession session(store, path, alias);
    return session.isOpen() ? store.recordCount() : -1;
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
        QCOMPARE(rig.ui().bindButton->text(), QStringLiteral("已绑定"));
        rig.close();
        rig.dialogs.shown.clear();

        rig.start();
        QCOMPARE(rig.ui().connectButton->text(), QStringLiteral("开始连接"));
        QVERIFY(rig.ui().unbindButton->isEnabled());
        rig.ui().connectButton->click();
        QCOMPARE(rig.ui().tileArea->pageTitle(0), QStringLiteral("端口1绑定设备号：258"));
        QCOMPARE(rig.ui().tileArea->pageTitle(1), QStringLiteral("端口2绑定设备号：2571"));
        QCOMPARE(rig.program->state().links[0].address, QStringLiteral("02"));
        QCOMPARE(rig.program->state().links[1].address, QStringLiteral("05"));
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
            TableStore store;
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
};

QTEST_MAIN(PersistenceTest)
#include "test_persistence.moc"
