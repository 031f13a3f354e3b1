#include "ops/remark_search.h"

#include "platform/speech.h"
#include "platform/waits.h"
#include "state/context.h"
#include "store/store_session.h"
#include "store/stores.h"
#include "ui/captions.h"
#include "ui/colours.h"
#include "ui/drop_list.h"
#include "ui/key_codes.h"
#include "ui/lamp.h"
#include "ui/main_window.h"
#include "ui/styled_button.h"
#include "ui/text_box.h"

namespace {
// Hits on records past this one are never listed.
constexpr int LastListedRecord = 367;
constexpr int Blinks = 6;
constexpr int BlinkMs = 50;
} // namespace

QList<int> RemarkSearch::scan(TableStore& store, const QString& text, int field) {
    QList<int> matches;
    store.goToFirstRecord();
    const int records = store.recordCount();
    for (int i = 0; i < records; ++i) {
        const QString remark = store.readField(field);
        const int record = store.currentRecordNumber();
        for (qsizetype at = remark.indexOf(text); at >= 0; at = remark.indexOf(text, at + 1))
            matches.append(record);
        store.skip();
    }
    return matches;
}

QStringList RemarkSearch::resultLines(const StoreSession& remarks, const QString& text,
                                      const std::function<void(const QString&)>& atEach) {
    TableStore& store = remarks.store();
    QStringList lines;
    for (int record : scan(store, text, stores::RemarkField)) {
        if (record > LastListedRecord)
            continue;
        remarks.goToRecord(record);
        lines.append(QString::number(record) + u':' + store.readField(stores::RemarkField));
        if (atEach)
            atEach(lines.last());
    }
    return lines;
}

void RemarkSearch::onSearchClicked() {
    const auto& ui = context_.window.ui();
    const QString text = ui.searchText->text();
    if (text.isEmpty()) {
        context_.services.speech.speak(QStringLiteral("你还没有输入"));
        context_.store.closeTable(stores::RemarkAlias);
        return;
    }
    ui.searchResults->clear();
    bool found = false;
    {
        const StoreSession remarks = StoreSession::remarks(context_.store, context_.programDir);
        TableStore& store = remarks.store();
        // The favourite entries of all hits cost one sync together.
        TableStore::Batch batch(store);
        found = !resultLines(remarks, text, [&](const QString& line) {
                     ui.searchResults->addItem(line);
                     ui.searchResults->setCurrentIndex(0);
                     markFavourite(store, line);
                 }).isEmpty();
        // Said once for the whole search: the favourites listed now would be gone at the next
        // start.
        Context& context = context_;
        batch.commit([&context](bool kept) {
            if (!kept)
                context.services.speech.speak(QStringLiteral("保存失败"));
        });
    }
    if (found)
        showFound();
    else
        showNotFound();
}

void RemarkSearch::onSearchKeyDown(int keyCode) {
    if (keyCode != keys::Enter)
        return;
    const auto& ui = context_.window.ui();
    onSearchClicked();
    ui.searchResults->setFocus(Qt::OtherFocusReason);
    ui.viewButton->setLit(true);
    ui.viewButton->setColourSlot(2, colour::Green);
}

// A hit is kept as a favourite once; an entry that replaces an older one of the same record
// refills the whole list from the store.
void RemarkSearch::markFavourite(TableStore& store, const QString& line) {
    DropList& favourites = *context_.window.ui().favourites;
    if (favourites.count() == 0) {
        favourites.addItem(line);
        favourites.setCurrentIndex(0);
        store.writeField(stores::FavouriteField, line);
        return;
    }
    if (favourites.findText(line, Qt::MatchExactly | Qt::MatchCaseSensitive) >= 0)
        return;
    const bool hadEntry = !store.readField(stores::FavouriteField).isEmpty();
    favourites.addItem(line);
    store.writeField(stores::FavouriteField, line);
    if (hadEntry) {
        favourites.clear();
        const int record = store.currentRecordNumber();
        stores::fillFavourites(store, favourites);
        goToRecord(store, record);
    }
    favourites.setCurrentIndex(0);
}

void RemarkSearch::showFound() {
    const auto& ui = context_.window.ui();
    StyledButton& button = *ui.searchButton;
    button.setLit(true);
    button.setText(QStringLiteral("搜索完毕"));
    button.setColourSlot(4, colour::Green);
    button.setColourSlot(3, colour::White);
    button.setColourSlot(1, colour::Red);
    button.setColourSlot(2, colour::Blue);
    ui.viewButton->setEnabled(true);
    ui.searchResults->setEnabled(true);
    // Each colour is painted during the wait that follows it.
    for (int i = 0; i < Blinks; ++i) {
        ui.searchLamp->setColour(colour::Blue);
        context_.services.waits.wait(BlinkMs);
        ui.searchLamp->setColour(colour::Yellow);
        context_.services.waits.wait(BlinkMs);
    }
}

void RemarkSearch::showNotFound() {
    const auto& ui = context_.window.ui();
    ui.searchButton->setLit(false);
    ui.searchButton->setText(captions::SearchStart);
    ui.searchLamp->setColour(std::nullopt);
    context_.services.speech.speak(QStringLiteral("没有找到，请重新输入"));
}
