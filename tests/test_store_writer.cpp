#include "fakes/inline_writer.h"
#include "fakes/real_rig.h"
#include "ops/screen_procedures.h"
#include "script/script_commands.h"
#include "store/store_session.h"
#include "store/stores.h"
#include "ui/remark_box.h"
#include "ui/tab_control.h"
#include "ui/tile_numbering.h"

#include <QApplication>
#include <QJsonObject>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <future>
#include <sys/resource.h>

namespace {
// Holds the writer at a job of its own until released, as a sync that takes its time.
class Gate {
public:
    explicit Gate(BackgroundWriter& writer) {
        writer.submit([opened = opened_.get_future().share()] { return opened.wait(), true; },
                      nullptr, {});
    }
    ~Gate() { release(); }
    void release() {
        if (!released_)
            opened_.set_value();
        released_ = true;
    }

private:
    std::promise<void> opened_;
    bool released_ = false;
};

// No file of this process may grow while the writer runs the writes queued between the two:
// they fail as on a full disk.
void noRoomToGrow(BackgroundWriter& writer, bool none) {
    writer.submit(
        [none] {
            static rlimit saved{};
            if (none) {
                ::getrlimit(RLIMIT_FSIZE, &saved);
                const rlimit nothing{0, saved.rlim_max};
                ::setrlimit(RLIMIT_FSIZE, &nothing);
            } else {
                ::setrlimit(RLIMIT_FSIZE, &saved);
            }
            return true;
        },
        nullptr, {});
}

QString fileField(const QString& path, const QString& alias, int record, int field) {
    TableStore store{inlineWriter()};
    if (!store.openTable(path, alias) || !store.makeCurrent(alias))
        return QStringLiteral("<not open>");
    goToRecord(store, record);
    return store.readField(field);
}

// A program whose binding store names board 0102 on link 1, so that remarks may be saved.
Program& startBound(RealRig& rig) {
    rig.start();
    rig.end();
    TableStore store{inlineWriter()};
    store.openTable(rig.path(stores::BindingFile), stores::BindingAlias);
    store.makeCurrent(stores::BindingAlias);
    store.appendRecord({QStringLiteral("0102")});
    return rig.start();
}

void saveRemark(RealRig& rig, int tile, const QString& text) {
    rig.program->window().show();
    rig.program->window().activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&rig.program->window()));
    linkFound(rig.program->context(), tiles::linkOf(tile), QStringLiteral("端口"));
    rig.ui().tileArea->setCurrentPage(tiles::linkOf(tile) - 1);
    RemarkBox* box = rig.program->window().tile(tile).remarkBox;
    box->setFocus(Qt::OtherFocusReason);
    QCOMPARE(QApplication::focusWidget(), box);
    box->setText(text);
    QTest::keyClick(box, Qt::Key_Return);
}

QString readRemark(RealRig& rig, int tile) {
    return ScriptCommands(rig.program->context()).remark(tile).value("text").toString();
}
} // namespace

// The writer thread under the stores: order, what reads see, and when the program says done.
class StoreWriterTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { ::signal(SIGXFSZ, SIG_IGN); }

    void writes_landInTheOrderTaken_readsSeeThemAtOnce_aFailedOneIsTakenBack() {
        QTemporaryDir dir;
        const QString path = dir.filePath("t.db");
        ThreadWriter writer;
        TableStore store{writer};
        QVERIFY(store.createTable(path, QList<FieldDefinition>(2)));
        QVERIFY(store.openTable(path, "t") && store.makeCurrent("t"));
        Gate gate(writer);
        QList<QString> answers;
        const auto answered = [&answers](const QString& name) {
            return [&answers, name](bool landed) { answers << name + (landed ? "+" : "-"); };
        };
        {
            TableStore::Batch batch(store);
            store.appendRecord({"first"});
            store.appendRecord({"second"});
            batch.commit(answered("appended"));
        }
        noRoomToGrow(writer, true);
        {
            store.goToFirstRecord();
            TableStore::Batch batch(store);
            store.writeField(1, "lost");
            batch.commit(answered("lost"));
        }
        noRoomToGrow(writer, false);
        {
            store.skip();
            TableStore::Batch batch(store);
            store.writeField(2, "kept");
            batch.commit(answered("kept"));
        }
        store.goToFirstRecord();
        QCOMPARE(store.readField(1), "lost");
        store.skip();
        QCOMPARE(store.readField(2), "kept");
        QCOMPARE(fileField(path, "check", 1, 1), QString());
        QVERIFY(answers.isEmpty());

        gate.release();
        QTRY_COMPARE(answers, (QStringList{"appended+", "lost-", "kept+"}));
        store.goToFirstRecord();
        QCOMPARE(store.readField(1), "first");
        store.skip();
        QCOMPARE(store.readField(2), "kept");
        QCOMPARE(fileField(path, "check", 1, 1), "first");
        QCOMPARE(fileField(path, "check", 2, 2), "kept");
    }

    void remarkSave_saidSavedOnlyOnceDurable() {
        RealRig rig;
        startBound(rig);
        Gate gate(rig.writer);
        saveRemark(rig, 4, QStringLiteral("打印机"));
        QTest::qWait(200);
        QVERIFY(!rig.speech.spoken.contains(QStringLiteral("保存成功")));
        QCOMPARE(fileField(rig.path(stores::RemarkFile), "check", 4, 1), QString());
        QCOMPARE(readRemark(rig, 4), QStringLiteral("打印机"));
        gate.release();
        QTRY_COMPARE(rig.speech.spoken.last(), QStringLiteral("保存成功"));
        QCOMPARE(fileField(rig.path(stores::RemarkFile), "check", 4, 1), QStringLiteral("打印机"));
    }

    void remarkSave_onAFullDisk_saysFailedAndReadsWhatTheFileHolds() {
        RealRig rig;
        startBound(rig);
        Gate gate(rig.writer);
        noRoomToGrow(rig.writer, true);
        saveRemark(rig, 4, QStringLiteral("打印机"));
        noRoomToGrow(rig.writer, false);
        QCOMPARE(readRemark(rig, 4), QStringLiteral("打印机"));
        gate.release();
        QTRY_COMPARE(rig.speech.spoken.last(), QStringLiteral("保存失败"));
        QCOMPARE(readRemark(rig, 4), QString());
        QCOMPARE(fileField(rig.path(stores::RemarkFile), "check", 4, 1), QString());
    }

    // The board hears of the switch only once its intent is kept, and the window meanwhile
    // shows the tile awaiting its echo.
    void switchOn_frameWaitsUntilItsIntentIsKept() {
        RealRig rig;
        QVERIFY(rig.rack.addBoard(2, 0x0102));
        Program& program = rig.start();
        rig.ui().connectButton->click();
        QVERIFY(program.rack().isFound(1));
        Gate gate(rig.writer);
        rig.tile(5)->click();
        QCOMPARE(program.rack().state(5), SlotState::Unknown);
        QTest::qWait(300);
        QVERIFY(!rig.rack.slotOn(2, 5));
        gate.release();
        QTRY_VERIFY(rig.rack.slotOn(2, 5));
        QTRY_COMPARE(program.rack().state(5), SlotState::On);
    }

    void bind_takesNoSecondClickUntilKept_andAFailureChangesNothing() {
        RealRig rig;
        QVERIFY(rig.rack.addBoard(2, 0x0102));
        rig.start();
        rig.ui().connectButton->click();
        {
            Gate gate(rig.writer);
            noRoomToGrow(rig.writer, true);
            rig.dialogs.answers = {Dialogs::Answer::Yes};
            rig.ui().bindButton->click();
            noRoomToGrow(rig.writer, false);
            QVERIFY(!rig.ui().bindButton->isEnabled());
        }
        QTRY_VERIFY(rig.ui().bindButton->isEnabled());
        QCOMPARE(rig.speech.spoken.last(), QStringLiteral("绑定失败"));
        QVERIFY(!rig.ui().unbindButton->isEnabled());
        QCOMPARE(fileField(rig.path(stores::BindingFile), "check", 1, 1), QString());

        Gate gate(rig.writer);
        rig.dialogs.answers = {Dialogs::Answer::Yes};
        rig.ui().bindButton->click();
        QVERIFY(!rig.ui().bindButton->isEnabled());
        QVERIFY(!rig.ui().unbindButton->isEnabled());
        gate.release();
        QTRY_VERIFY(rig.ui().unbindButton->isEnabled());
        QCOMPARE(rig.ui().bindButton->text(), QStringLiteral("已绑定"));
        QCOMPARE(fileField(rig.path(stores::BindingFile), "check", 1, 1), QStringLiteral("0102"));
    }
};

QTEST_MAIN(StoreWriterTest)
#include "test_store_writer.moc"
