#include "fakes/test_rig.h"
#include "ops/screen_procedures.h"
#include "ops/stage_controls.h"
#include "store/stores.h"
#include "tiles/open_devices_list.h"
#include "ui/colours.h"
#include "ui/remark_box.h"
#include "ui/tab_control.h"
#include "ui/tile_numbering.h"

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

namespace {
RemarkBox* box(TestRig& rig, int tile) {
    return rig.program->window().tile(tile).remarkBox;
}

// Shows the tile area on the page of tile, as a board found there does, and gives its remark
// box the focus.
void focus(TestRig& rig, int tile) {
    linkFound(rig.program->context(), tiles::linkOf(tile), QStringLiteral("端口"));
    rig.program->window().ui().tileArea->setCurrentPage(tiles::linkOf(tile) - 1);
    box(rig, tile)->setFocus(Qt::OtherFocusReason);
    QCOMPARE(QApplication::focusWidget(), box(rig, tile));
}

// Wider than a remark box shows: 20 bytes, ten characters.
const QString LongRemark = QStringLiteral("一二三四五六七八九十");

QString storedRemark(const TestRig& rig, int tile) {
    return rig.storedField(stores::RemarkFile, stores::RemarkAlias, tile, stores::RemarkField);
}
} // namespace

// The remark boxes: highlight and editing only while bound, arrow keys within a page, saves.
class RemarkEditingTest : public QObject {
    Q_OBJECT
private slots:
    void init() {
        rig_ = std::make_unique<TestRig>();
        rig_->bindAtFirstStart({QStringLiteral("0101")});
        rig_->start();
        rig_->showActive();
    }
    void cleanup() { rig_.reset(); }

    void arrowKeys_moveWithinTheTilePage_data() {
        QTest::addColumn<int>("tile");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("target"); // 0: the focus stays
        QTest::newRow("down on 35") << 35 << int(Qt::Key_Down) << 42;
        QTest::newRow("down on 36, last row") << 36 << int(Qt::Key_Down) << 0;
        QTest::newRow("down on 42, last row") << 42 << int(Qt::Key_Down) << 0;
        QTest::newRow("right on 42, last of page") << 42 << int(Qt::Key_Right) << 0;
        QTest::newRow("right on 7 wraps to the next row") << 7 << int(Qt::Key_Right) << 8;
        QTest::newRow("left on 43, first of page") << 43 << int(Qt::Key_Left) << 0;
        QTest::newRow("left on 44") << 44 << int(Qt::Key_Left) << 43;
        QTest::newRow("up on 49, first row") << 49 << int(Qt::Key_Up) << 0;
        QTest::newRow("up on 50") << 50 << int(Qt::Key_Up) << 43;
        QTest::newRow("down on 245") << 245 << int(Qt::Key_Down) << 252;
        QTest::newRow("down on 246, last row") << 246 << int(Qt::Key_Down) << 0;
        QTest::newRow("down on 300") << 300 << int(Qt::Key_Down) << 307;
        QTest::newRow("down on 329") << 329 << int(Qt::Key_Down) << 336;
        QTest::newRow("down on 330, last row") << 330 << int(Qt::Key_Down) << 0;
        QTest::newRow("another key") << 20 << int(Qt::Key_A) << 0;
    }
    void arrowKeys_moveWithinTheTilePage() {
        QFETCH(int, tile);
        QFETCH(int, key);
        QFETCH(int, target);
        focus(*rig_, tile);
        QTest::keyClick(box(*rig_, tile), Qt::Key(key));
        QCOMPARE(QApplication::focusWidget(), box(*rig_, target == 0 ? tile : target));
        if (target != 0) {
            QCOMPARE(box(*rig_, tile)->highlight(), std::nullopt);
            QCOMPARE(box(*rig_, target)->highlight(), std::optional<quint32>(colour::Yellow));
            QCOMPARE(rig_->program->state().remarkTile, target);
        }
    }

    void gotFocus_whileBound_highlightsAndAsksOnlyForABoxWithText() {
        focus(*rig_, 1);
        QCOMPARE(rig_->speech.spoken.last(), QStringLiteral("请确认是否修改"));
        QCOMPARE(box(*rig_, 1)->highlight(), std::optional<quint32>(colour::Yellow));
        QVERIFY(!box(*rig_, 1)->isReadOnly());
        const int spoken = rig_->speech.spoken.size();
        focus(*rig_, 2);
        QCOMPARE(rig_->speech.spoken.size(), spoken);
        QCOMPARE(box(*rig_, 1)->highlight(), std::nullopt);
        QCOMPARE(rig_->program->state().remarkTile, 2);
    }

    void gotFocus_unbound_refusesAndKeepsTheTileToSave() {
        focus(*rig_, 5);
        offerUnbind(rig_->program->context(), false);
        focus(*rig_, 6);
        QCOMPARE(rig_->speech.spoken.last(), QStringLiteral("请先绑定设备"));
        QVERIFY(box(*rig_, 6)->isReadOnly());
        QCOMPARE(box(*rig_, 6)->highlight(), std::nullopt);
        QCOMPARE(rig_->program->state().remarkTile, 5);
    }

    void gotFocus_withTheTileAreaHidden_doesNothing() {
        tilePageReset(rig_->program->context());
        const int spoken = rig_->speech.spoken.size();
        box(*rig_, 1)->setFocus(Qt::OtherFocusReason);
        emit box(*rig_, 1)->gotFocus();
        QCOMPARE(rig_->speech.spoken.size(), spoken);
        QCOMPARE(box(*rig_, 1)->highlight(), std::nullopt);
        QCOMPARE(rig_->program->state().remarkTile, 0);
    }

    void save_speaksWhatTheStoreNowHolds_data() {
        QTest::addColumn<bool>("byEnter");
        QTest::newRow("enter") << true;
        QTest::newRow("double-click") << false;
    }
    void save_speaksWhatTheStoreNowHolds() {
        QFETCH(bool, byEnter);
        const auto save = [&](int tile) {
            if (byEnter)
                QTest::keyClick(box(*rig_, tile), Qt::Key_Return);
            else
                QTest::mouseDClick(box(*rig_, tile), Qt::LeftButton);
        };
        focus(*rig_, 12);
        box(*rig_, 12)->insert(QStringLiteral("扫描仪A"));
        save(12);
        QCOMPARE(rig_->speech.spoken.last(), QStringLiteral("保存成功"));
        QCOMPARE(storedRemark(*rig_, 12), QStringLiteral("扫描仪A"));
        box(*rig_, 12)->setText(QStringLiteral("扫描仪B"));
        save(12);
        QCOMPARE(rig_->speech.spoken.last(), QStringLiteral("修改成功"));
        QCOMPARE(storedRemark(*rig_, 12), QStringLiteral("扫描仪B"));

        // Record 1 starts with the store's "1", so tile 1's first save is a change.
        focus(*rig_, 1);
        box(*rig_, 1)->setText(QStringLiteral("主机"));
        save(1);
        QCOMPARE(rig_->speech.spoken.last(), QStringLiteral("修改成功"));
        QCOMPARE(storedRemark(*rig_, 1), QStringLiteral("主机"));
        QCOMPARE(storedRemark(*rig_, 12), QStringLiteral("扫描仪B"));
    }

    void save_ofAnEmptyBox_asksForText() {
        focus(*rig_, 3);
        QTest::keyClick(box(*rig_, 3), Qt::Key_Return);
        QCOMPARE(rig_->speech.spoken.last(), QStringLiteral("你还没有输入内容"));
        QVERIFY(storedRemark(*rig_, 3).isEmpty());
    }

    // A refused box used to write its text into the record of the box accepted before.
    void save_fromARefusedBox_writesNoRecord() {
        focus(*rig_, 5);
        offerUnbind(rig_->program->context(), false);
        focus(*rig_, 6);
        box(*rig_, 6)->setText(QStringLiteral("别的"));
        const int spoken = rig_->speech.spoken.size();
        QTest::keyClick(box(*rig_, 6), Qt::Key_Return);
        QVERIFY(storedRemark(*rig_, 5).isEmpty());
        QVERIFY(storedRemark(*rig_, 6).isEmpty());
        QCOMPARE(rig_->speech.spoken.size(), spoken);
    }

    void save_thatCannotReachTheFile_saysSoAndClaimsNothing() {
        focus(*rig_, 4);
        box(*rig_, 4)->setText(QStringLiteral("网关"));
        rig_->replaceWithForeignFile(stores::RemarkFile, "someone else's file");
        QTest::keyClick(box(*rig_, 4), Qt::Key_Return);
        QCOMPARE(rig_->speech.spoken.last(), QStringLiteral("保存失败"));
        QFile foreign(rig_->path(stores::RemarkFile));
        QVERIFY(foreign.open(QIODevice::ReadOnly));
        QCOMPARE(foreign.readAll(), QByteArray("someone else's file"));
    }

    void remark_showsItsStartAfterARefill() {
        QVERIFY(rig_->storeField(stores::RemarkFile, stores::RemarkAlias, 7, 1, LongRemark));
        rig_->stop();
        rig_->start();
        RemarkBox& seven = *box(*rig_, 7);
        QCOMPARE(seven.text(), LongRemark);
        QCOMPARE(seven.cursorPosition(), 0);
        QVERIFY(!seven.hasSelectedText());
        QCOMPARE(seven.toolTip(), LongRemark);
        QCOMPARE(seven.accessibleName(), QStringLiteral("设备7 备注 ") + LongRemark);
        QCOMPARE(box(*rig_, 8)->accessibleName(), QStringLiteral("设备8 备注"));
    }

    void remark_showsItsStartAfterLosingTheFocus() {
        focus(*rig_, 9);
        QTest::keyClicks(box(*rig_, 9), QStringLiteral("abcdefghijklmnopqrst"));
        QCOMPARE(box(*rig_, 9)->cursorPosition(), 20);
        QTest::keyClick(box(*rig_, 9), Qt::Key_Right);
        QCOMPARE(QApplication::focusWidget(), box(*rig_, 10));
        QCOMPARE(box(*rig_, 9)->cursorPosition(), 0);
        QCOMPARE(box(*rig_, 9)->toolTip(), QStringLiteral("abcdefghijklmnopqrst"));
    }

    void save_leavesTheStartShownAndNothingSelected_data() {
        QTest::addColumn<bool>("byEnter");
        QTest::newRow("enter") << true;
        QTest::newRow("double-click") << false;
    }
    void save_leavesTheStartShownAndNothingSelected() {
        QFETCH(bool, byEnter);
        focus(*rig_, 13);
        RemarkBox& thirteen = *box(*rig_, 13);
        thirteen.insert(LongRemark);
        if (byEnter)
            QTest::keyClick(&thirteen, Qt::Key_Return);
        else
            QTest::mouseDClick(&thirteen, Qt::LeftButton, {}, QPoint(thirteen.width() / 2, 10));
        QCOMPARE(rig_->speech.spoken.last(), QStringLiteral("保存成功"));
        QCOMPARE(storedRemark(*rig_, 13), LongRemark);
        QVERIFY(!thirteen.hasSelectedText());
        QCOMPARE(thirteen.cursorPosition(), 0);
    }

    void paste_keepsWhatFitsInWholeCharacters_data() {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("pasted");
        QTest::addColumn<QString>("after");
        QTest::newRow("into an empty box")
            << QString() << QStringLiteral("一二三四五六七八九十百千") << LongRemark;
        QTest::newRow("a character that would half fit")
            << QStringLiteral("a") << LongRemark << QStringLiteral("a一二三四五六七八九");
        QTest::newRow("latin after Chinese")
            << QStringLiteral("一二三") << QStringLiteral("abcdefghijklmnopq")
            << QStringLiteral("一二三abcdefghijklmn");
        QTest::newRow("what fits, whole")
            << QStringLiteral("ab") << QStringLiteral("一二") << QStringLiteral("ab一二");
    }
    void paste_keepsWhatFitsInWholeCharacters() {
        QFETCH(QString, before);
        QFETCH(QString, pasted);
        QFETCH(QString, after);
        focus(*rig_, 14);
        RemarkBox& fourteen = *box(*rig_, 14);
        fourteen.setText(before);
        fourteen.end(false);
        QApplication::clipboard()->setText(pasted);
        QTest::keyClick(&fourteen, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(fourteen.text(), after);
        QVERIFY(RemarkBox::gbkLength(fourteen.text()) <= RemarkBox::MaxBytes);
    }

    void save_ofATileThatIsOn_updatesItsOpenDevicesLine() {
        Context& context = rig_->program->context();
        open_devices::add(context, 15, QString());
        open_devices::add(context, 16, QString());
        const QListWidget& list = *rig_->program->window().ui().openDevices;
        QCOMPARE(list.item(0)->text(), QStringLiteral("15：没有备注"));
        focus(*rig_, 15);
        box(*rig_, 15)->insert(QStringLiteral("打印机"));
        QTest::keyClick(box(*rig_, 15), Qt::Key_Return);
        QCOMPARE(list.count(), 2);
        QCOMPARE(list.item(0)->text(), QStringLiteral("15：打印机"));
        QCOMPARE(list.item(1)->text(), QStringLiteral("16：没有备注"));
        // A tile that is off gets no line by saving.
        focus(*rig_, 17);
        box(*rig_, 17)->insert(QStringLiteral("网关"));
        QTest::keyClick(box(*rig_, 17), Qt::Key_Return);
        QCOMPARE(list.count(), 2);
    }

private:
    std::unique_ptr<TestRig> rig_;
};

QTEST_MAIN(RemarkEditingTest)
#include "test_remark_editing.moc"
