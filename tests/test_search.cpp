#include "fakes/inline_writer.h"
#include "fakes/test_rig.h"
#include "ops/screen_procedures.h"
#include "store/stores.h"
#include "ui/colours.h"
#include "ui/lamp.h"
#include "ui/remark_box.h"
#include "ui/styled_button.h"
#include "ui/tab_control.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QPushButton>
#include <QTest>

namespace {
QStringList items(const QComboBox& list) {
    QStringList texts;
    for (int i = 0; i < list.count(); ++i)
        texts << list.itemText(i);
    return texts;
}
} // namespace

// The remark search and what the operator does with its results and the favourites.
class SearchTest : public QObject {
    Q_OBJECT
private slots:
    void init() {
        rig_ = std::make_unique<TestRig>();
        rig_->bindAtFirstStart({QStringLiteral("0101")});
    }
    void cleanup() { rig_.reset(); }

    void search_listsEveryHitAndMarksFavourites_data() {
        QTest::addColumn<QStringList>("remarks"); // record:remark
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("results");
        QTest::addColumn<QStringList>("favourites");
        QTest::newRow("the store's own 1")
            << QStringList{QStringLiteral("5:A1")} << QStringLiteral("1")
            << QStringList{QStringLiteral("1:1"), QStringLiteral("5:A1")}
            << QStringList{QStringLiteral("1:1"), QStringLiteral("5:A1")};
        QTest::newRow("text twice in one remark")
            << QStringList{QStringLiteral("8:ab ab")} << QStringLiteral("ab")
            << QStringList{QStringLiteral("8:ab ab"), QStringLiteral("8:ab ab")}
            << QStringList{QStringLiteral("8:ab ab")};
        // 乤 is 81 61 in GBK: its second byte is the letter a.
        QTest::newRow("a letter inside a double-byte character")
            << QStringList{QStringLiteral("9:乤"), QStringLiteral("10:xa")} << QStringLiteral("a")
            << QStringList{QStringLiteral("10:xa")} << QStringList{QStringLiteral("10:xa")};
        QTest::newRow("chinese text")
            << QStringList{QStringLiteral("20:左打印机"), QStringLiteral("300:右打印机")}
            << QStringLiteral("打印")
            << QStringList{QStringLiteral("20:左打印机"), QStringLiteral("300:右打印机")}
            << QStringList{QStringLiteral("20:左打印机"), QStringLiteral("300:右打印机")};
    }
    void search_listsEveryHitAndMarksFavourites() {
        QFETCH(QStringList, remarks);
        QFETCH(QString, text);
        QFETCH(QStringList, results);
        QFETCH(QStringList, favourites);
        for (const QString& remark : remarks)
            QVERIFY(rig_->storeField(stores::RemarkFile, stores::RemarkAlias,
                                     remark.section(u':', 0, 0).toInt(), 1,
                                     remark.section(u':', 1)));
        rig_->start();
        const auto& ui = rig_->program->window().ui();
        ui.searchText->setText(text);
        ui.searchButton->setEnabled(true);
        ui.searchButton->click();
        QCOMPARE(items(*ui.searchResults), results);
        QCOMPARE(items(*ui.favourites), favourites);
        for (const QString& favourite : favourites)
            QCOMPARE(rig_->storedField(stores::RemarkFile, stores::RemarkAlias,
                                       favourite.section(u':', 0, 0).toInt(), 2),
                     favourite);
        QCOMPARE(ui.searchButton->text(), QStringLiteral("搜索完毕"));
        QVERIFY(ui.searchButton->isLit());
        QCOMPARE(ui.searchButton->colourSlot(1), colour::Red);
        QCOMPARE(ui.searchButton->colourSlot(2), colour::Blue);
        QCOMPARE(ui.searchButton->colourSlot(3), colour::White);
        QCOMPARE(ui.searchButton->colourSlot(4), colour::Green);
        QVERIFY(ui.viewButton->isEnabled());
        QVERIFY(ui.searchResults->isEnabled());

        // The favourites survive a restart.
        rig_->stop();
        rig_->start();
        QCOMPARE(items(*rig_->program->window().ui().favourites), favourites);
    }

    void search_blinksTheLampSixTimesAndEndsYellow() {
        rig_->start();
        const auto& ui = rig_->program->window().ui();
        QList<std::optional<quint32>> seen;
        rig_->waits.duringWait = [&](int) { seen << ui.searchLamp->colour(); };
        ui.searchText->setText(QStringLiteral("1"));
        ui.searchButton->setEnabled(true);
        ui.searchButton->click();
        QCOMPARE(rig_->waits.waits, QList<int>(12, 50));
        QList<std::optional<quint32>> expected;
        for (int i = 0; i < 6; ++i)
            expected << colour::Blue << colour::Yellow;
        QCOMPARE(seen, expected);
        QCOMPARE(ui.searchLamp->colour(), std::optional<quint32>(colour::Yellow));
    }

    void search_withoutAHit_saysSoAndListsNothing_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("spoken");
        QTest::newRow("longer than every remark")
            << QStringLiteral("123456789012345678901") << QStringLiteral("没有找到，请重新输入");
        QTest::newRow("nothing typed") << QString() << QStringLiteral("你还没有输入");
    }
    void search_withoutAHit_saysSoAndListsNothing() {
        QFETCH(QString, text);
        QFETCH(QString, spoken);
        rig_->start();
        const auto& ui = rig_->program->window().ui();
        ui.searchResults->addItem(QStringLiteral("4:旧"));
        ui.searchText->setText(text);
        ui.searchResults->addItem(QStringLiteral("4:旧"));
        ui.searchButton->setLit(true);
        ui.searchButton->setEnabled(true);
        ui.searchButton->click();
        QCOMPARE(rig_->speech.spoken.last(), spoken);
        QVERIFY(rig_->waits.waits.isEmpty());
        QCOMPARE(ui.favourites->count(), 0);
        if (!text.isEmpty()) {
            QCOMPARE(ui.searchResults->count(), 0);
            QVERIFY(!ui.searchButton->isLit());
            QCOMPARE(ui.searchButton->text(), QStringLiteral("开始搜索"));
            QCOMPARE(ui.searchLamp->colour(), std::nullopt);
        }
    }

    void search_neverListsRecordsPast367() {
        rig_->start();
        rig_->stop();
        {
            TableStore store{inlineWriter()};
            QVERIFY(store.openTable(rig_->path(stores::RemarkFile), stores::RemarkAlias));
            store.makeCurrent(stores::RemarkAlias);
            TableStore::Batch batch(store);
            for (int record = 340; record <= 380; ++record)
                store.appendRecord({record == 380 ? QStringLiteral("zz") : QString()});
        }
        QVERIFY(
            rig_->storeField(stores::RemarkFile, stores::RemarkAlias, 30, 1, QStringLiteral("zz")));
        rig_->start();
        const auto& ui = rig_->program->window().ui();
        ui.searchText->setText(QStringLiteral("zz"));
        ui.searchButton->setEnabled(true);
        ui.searchButton->click();
        QCOMPARE(items(*ui.searchResults), QStringList{QStringLiteral("30:zz")});
        QVERIFY(rig_->storedField(stores::RemarkFile, stores::RemarkAlias, 380, 2).isEmpty());
    }

    // A record whose older favourite entry no longer matches its remark gets the new one, and
    // the list is read again from the store.
    void search_replacesAnOlderFavouriteOfTheSameRecord() {
        QVERIFY(rig_->storeField(stores::RemarkFile, stores::RemarkAlias, 3, 1,
                                 QStringLiteral("新扫描仪")));
        QVERIFY(rig_->storeField(stores::RemarkFile, stores::RemarkAlias, 3, 2,
                                 QStringLiteral("3:旧扫描仪")));
        QVERIFY(rig_->storeField(stores::RemarkFile, stores::RemarkAlias, 7, 2,
                                 QStringLiteral("7:打印机")));
        rig_->start();
        const auto& ui = rig_->program->window().ui();
        QCOMPARE(items(*ui.favourites),
                 (QStringList{QStringLiteral("3:旧扫描仪"), QStringLiteral("7:打印机")}));
        ui.searchText->setText(QStringLiteral("扫描"));
        ui.searchButton->setEnabled(true);
        ui.searchButton->click();
        QCOMPARE(items(*ui.favourites),
                 (QStringList{QStringLiteral("3:新扫描仪"), QStringLiteral("7:打印机")}));
        QCOMPARE(ui.favourites->currentIndex(), 0);
    }

    void enterInTheSearchBox_searchesAndHandsTheFocusToTheResults() {
        rig_->start();
        rig_->showActive();
        const auto& ui = rig_->program->window().ui();
        ui.searchText->setEnabled(true);
        ui.searchText->setFocus();
        QTest::keyClicks(ui.searchText, QStringLiteral("1"));
        QTest::keyClick(ui.searchText, Qt::Key_Return);
        QCOMPARE(items(*ui.searchResults), QStringList{QStringLiteral("1:1")});
        QCOMPARE(QApplication::focusWidget(), ui.searchResults);
        QVERIFY(ui.viewButton->isLit());
        QCOMPARE(ui.viewButton->colourSlot(2), colour::Green);
    }

    void viewJump_goesToTheTileWhenItsLinkIsConnected_data() {
        QTest::addColumn<bool>("fromFavourites");
        QTest::addColumn<bool>("byEnter");
        QTest::newRow("results, click") << false << false;
        QTest::newRow("results, enter") << false << true;
        QTest::newRow("favourites, click") << true << false;
        QTest::newRow("favourites, enter") << true << true;
    }
    void viewJump_goesToTheTileWhenItsLinkIsConnected() {
        QFETCH(bool, fromFavourites);
        QFETCH(bool, byEnter);
        rig_->start();
        rig_->showActive();
        const auto& ui = rig_->program->window().ui();
        rig_->program->rack().linkFound(2, QStringLiteral("0102"), 5);
        linkFound(rig_->program->context(), 2, QStringLiteral("端口2"));
        DropList& list = fromFavourites ? *ui.favourites : *ui.searchResults;
        StyledButton& button = fromFavourites ? *ui.favouriteViewButton : *ui.viewButton;
        StyledButton& partner = fromFavourites ? *ui.viewButton : *ui.favouriteViewButton;
        list.setEnabled(true);
        list.addItem(QStringLiteral("43:网关"));
        list.setCurrentIndex(0);
        partner.setLit(true);
        if (byEnter) {
            list.setFocus();
            QTest::keyClick(&list, Qt::Key_Return);
        } else {
            button.setEnabled(true);
            button.click();
        }
        QCOMPARE(ui.tileArea->currentPage(), 1);
        RemarkBox* box = rig_->program->window().tile(43).remarkBox;
        QCOMPARE(QApplication::focusWidget(), box);
        QCOMPARE(rig_->program->state().remarkTile, 43);
        QCOMPARE(box->highlight(), std::optional<quint32>(colour::Yellow));
        QVERIFY(button.isLit());
        QCOMPARE(button.colourSlot(1), colour::Red);
        QCOMPARE(button.colourSlot(2), colour::Green);
        QVERIFY(!partner.isLit());
        QCOMPARE(rig_->program->state().viewTarget, 43);
    }

    void viewJump_thatCannotGo_data() {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<bool>("partnerDims");
        QTest::addColumn<QString>("spoken");
        QTest::newRow("link 8 unconnected")
            << QStringLiteral("300:投影") << true << QStringLiteral("设备未连接");
        QTest::newRow("tile 0") << QStringLiteral("0:零") << true << QString();
        QTest::newRow("tile 400") << QStringLiteral("400:远") << true << QString();
        QTest::newRow("no number") << QStringLiteral(":空") << false << QString();
        QTest::newRow("no selection") << QString() << false << QString();
    }
    void viewJump_thatCannotGo() {
        QFETCH(QString, entry);
        QFETCH(bool, partnerDims);
        QFETCH(QString, spoken);
        rig_->start();
        const auto& ui = rig_->program->window().ui();
        ui.searchResults->addItem(entry.isEmpty() ? QStringLiteral("3:三") : entry);
        ui.searchResults->setCurrentIndex(entry.isEmpty() ? -1 : 0);
        ui.tileArea->setCurrentPage(2);
        ui.favouriteViewButton->setLit(true);
        const int spokenBefore = rig_->speech.spoken.size();
        ui.viewButton->setEnabled(true);
        ui.viewButton->click();
        QCOMPARE(ui.favouriteViewButton->isLit(), !partnerDims);
        QCOMPARE(ui.tileArea->currentPage(), 2);
        QVERIFY(!ui.viewButton->isLit());
        QCOMPARE(rig_->speech.spoken.mid(spokenBefore),
                 spoken.isEmpty() ? QStringList() : QStringList{spoken});
    }

    void removeFavourite_asksThenForgetsItForGood_data() {
        QTest::addColumn<bool>("byDelete");
        QTest::addColumn<bool>("confirmed");
        QTest::newRow("delete, yes") << true << true;
        QTest::newRow("double-click, yes") << false << true;
        QTest::newRow("delete, no") << true << false;
    }
    void removeFavourite_asksThenForgetsItForGood() {
        QFETCH(bool, byDelete);
        QFETCH(bool, confirmed);
        QVERIFY(rig_->storeField(stores::RemarkFile, stores::RemarkAlias, 12, 1,
                                 QStringLiteral("扫描仪")));
        QVERIFY(rig_->storeField(stores::RemarkFile, stores::RemarkAlias, 12, 2,
                                 QStringLiteral("12:扫描仪")));
        QVERIFY(rig_->storeField(stores::RemarkFile, stores::RemarkAlias, 20, 2,
                                 QStringLiteral("20:网关")));
        rig_->start();
        rig_->showActive();
        DropList& favourites = *rig_->program->window().ui().favourites;
        favourites.setEnabled(true);
        favourites.setFocus();
        if (confirmed)
            rig_->dialogs.answers = {Dialogs::Answer::Yes};
        if (byDelete)
            QTest::keyClick(&favourites, Qt::Key_Delete);
        else
            doubleClickEntry(favourites, 0);
        QCOMPARE(rig_->dialogs.shown.size(), 1);
        QCOMPARE(rig_->dialogs.shown[0].text, QStringLiteral("是否确认删除选中项目"));
        QVERIFY(rig_->dialogs.shown[0].title.isEmpty());
        QCOMPARE(rig_->dialogs.shown[0].icon, Dialogs::Icon::Question);
        const QStringList remaining =
            confirmed ? QStringList{QStringLiteral("20:网关")}
                      : QStringList{QStringLiteral("12:扫描仪"), QStringLiteral("20:网关")};
        QCOMPARE(items(favourites), remaining);
        QCOMPARE(rig_->storedField(stores::RemarkFile, stores::RemarkAlias, 12, 1),
                 QStringLiteral("扫描仪"));
        rig_->stop();
        rig_->start();
        QCOMPARE(items(*rig_->program->window().ui().favourites), remaining);
    }

    // With a real mouse the first click of a double-click picks the entry and closes the list,
    // the second opens it again, and the double-click itself reaches the opened list's view.
    void removeFavourite_byADoubleClickOnTheOpenList() {
        QVERIFY(rig_->storeField(stores::RemarkFile, stores::RemarkAlias, 12, 2,
                                 QStringLiteral("12:扫描仪")));
        QVERIFY(rig_->storeField(stores::RemarkFile, stores::RemarkAlias, 20, 2,
                                 QStringLiteral("20:网关")));
        rig_->start();
        rig_->showActive();
        DropList& favourites = *rig_->program->window().ui().favourites;
        favourites.setEnabled(true);
        const QAbstractItemView& view = *favourites.view();
        rig_->dialogs.answers = {Dialogs::Answer::Yes};
        doubleClickEntry(favourites, 1);
        QCOMPARE(rig_->speech.spoken.count(QStringLiteral("查看或双击删除")), 2);

        QVERIFY(!view.isVisible());
        QCOMPARE(rig_->dialogs.shown.size(), 1);
        QCOMPARE(rig_->dialogs.shown[0].text, QStringLiteral("是否确认删除选中项目"));
        QCOMPARE(items(favourites), QStringList{QStringLiteral("12:扫描仪")});
        QCOMPARE(rig_->storedField(stores::RemarkFile, stores::RemarkAlias, 20, 2), QString());
    }

    void focusAndTyping_setTheLooks() {
        rig_->start();
        rig_->showActive();
        const auto& ui = rig_->program->window().ui();
        for (QWidget* control :
             std::initializer_list<QWidget*>{ui.searchText, ui.searchResults, ui.favourites})
            control->setEnabled(true);
        ui.favourites->addItem(QStringLiteral("1:1"));
        ui.favourites->addItem(QStringLiteral("2:二"));
        ui.favourites->setCurrentIndex(1);

        ui.searchResults->setFocus();
        QVERIFY(ui.viewButton->isLit());
        QCOMPARE(ui.viewButton->colourSlot(1), colour::Black);
        QCOMPARE(ui.viewButton->colourSlot(2), colour::Green);
        QCOMPARE(ui.favourites->currentIndex(), 0);

        ui.favourites->setFocus();
        QVERIFY(!ui.viewButton->isLit());
        QVERIFY(ui.favouriteViewButton->isLit());
        QCOMPARE(ui.favouriteViewButton->colourSlot(2), colour::Green);

        ui.searchButton->setLit(true);
        ui.searchButton->setText(QStringLiteral("搜索完毕"));
        ui.searchLamp->setColour(colour::Yellow);
        ui.searchText->setFocus();
        QVERIFY(!ui.favouriteViewButton->isLit());
        QVERIFY(!ui.searchButton->isLit());
        QCOMPARE(ui.searchButton->text(), QStringLiteral("开始搜索"));
        QCOMPARE(ui.searchLamp->colour(), std::nullopt);

        ui.searchResults->addItem(QStringLiteral("1:1"));
        QTest::keyClick(ui.searchText, Qt::Key_X);
        QCOMPARE(ui.searchResults->count(), 0);

        ui.favourites->showPopup();
        QCOMPARE(rig_->speech.spoken.last(), QStringLiteral("查看或双击删除"));
        ui.favourites->hidePopup();
    }

private:
    // A double-click on an entry with a real mouse: the first click opens the list, the next
    // picks the entry and closes it, the next opens it again, and the double-click itself
    // reaches the opened list's view.
    static void doubleClickEntry(DropList& list, int row) {
        QAbstractItemView& view = *list.view();
        const auto entry = [&view, row] {
            return view.visualRect(view.model()->index(row, 0)).center();
        };
        QTest::mouseClick(&list, Qt::LeftButton);
        QTRY_VERIFY(view.isVisible());
        // The list takes no release in the moment after it opened, like any drop-down.
        QTest::qWait(QApplication::doubleClickInterval() + 100);
        QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, entry());
        QTRY_VERIFY(!view.isVisible());
        QCOMPARE(list.currentIndex(), row);
        QTest::mousePress(&list, Qt::LeftButton);
        QTRY_VERIFY(view.isVisible());
        QTest::mouseDClick(view.viewport(), Qt::LeftButton, {}, entry());
    }

    std::unique_ptr<TestRig> rig_;
};

QTEST_MAIN(SearchTest)
#include "test_search.moc"
