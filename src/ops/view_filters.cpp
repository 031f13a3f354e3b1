#include "ops/view_filters.h"

#include "platform/dialogs.h"
#include "platform/speech.h"
#include "rack/rack_model.h"
#include "state/context.h"
#include "store/store_session.h"
#include "store/stores.h"
#include "ui/captions.h"
#include "ui/colours.h"
#include "ui/drop_list.h"
#include "ui/key_codes.h"
#include "ui/lamp.h"
#include "ui/main_window.h"
#include "ui/remark_box.h"
#include "ui/styled_button.h"
#include "ui/tab_control.h"
#include "ui/tile_numbering.h"

#include <optional>

namespace {
// The tile number before the first ':' of the selected entry; none without a selection or
// without a number there.
std::optional<int> selectedNumber(const DropList& list) {
    if (list.currentIndex() < 0)
        return std::nullopt;
    bool isNumber = false;
    const int number = list.currentText().section(u':', 0, 0).toInt(&isNumber);
    return isNumber ? std::optional<int>(number) : std::nullopt;
}

void light(StyledButton& button, quint32 slot1, quint32 slot2) {
    button.setLit(true);
    button.setColourSlot(1, slot1);
    button.setColourSlot(2, slot2);
}

void lightSlot2(StyledButton& button) {
    button.setLit(true);
    button.setColourSlot(2, colour::Green);
}
} // namespace

void ViewFilters::onViewClicked() {
    const auto& ui = context_.window.ui();
    viewJump(*ui.searchResults, *ui.viewButton, *ui.favouriteViewButton);
}

void ViewFilters::onFavouriteViewClicked() {
    const auto& ui = context_.window.ui();
    viewJump(*ui.favourites, *ui.favouriteViewButton, *ui.viewButton);
}

void ViewFilters::viewJump(DropList& list, StyledButton& button, StyledButton& partner) {
    if (list.count() == 0)
        return;
    const std::optional<int> number = selectedNumber(list);
    if (!number)
        return;
    partner.setLit(false);
    GlobalState& state = context_.state;
    state.viewTarget = *number;
    if (state.viewTarget < 1 || state.viewTarget > TileCount)
        return;
    const int link = tiles::linkOf(state.viewTarget);
    const auto& ui = context_.window.ui();
    if (!context_.rack.isFound(link) || !ui.tileArea->setCurrentPage(link - 1)) {
        context_.services.speech.speak(QStringLiteral("设备未连接"));
        return;
    }
    // The focus runs the box's got-focus handling, which makes it the box a save writes to.
    for (const MainWindow::Tile& tile : ui.tiles) {
        RemarkBox* box = tile.remarkBox;
        if (tiles::numberFromName(box->objectName(), tiles::RemarkBoxPrefix) == state.viewTarget)
            box->setFocus(Qt::OtherFocusReason);
    }
    light(button, colour::Red, colour::Green);
}

void ViewFilters::onResultsKeyDown(int keyCode) {
    if (keyCode == keys::Enter)
        onViewClicked();
}

void ViewFilters::onResultsGotFocus() {
    const auto& ui = context_.window.ui();
    light(*ui.viewButton, colour::Black, colour::Green);
    ui.favouriteViewButton->setLit(false);
    ui.favourites->setCurrentIndex(0);
}

void ViewFilters::onResultsLostFocus() {
    context_.window.ui().viewButton->setLit(false);
}

void ViewFilters::onFavouritesKeyDown(int keyCode) {
    if (keyCode == keys::Enter)
        onFavouriteViewClicked();
    else if (keyCode == keys::Delete)
        removeFavourite();
}

void ViewFilters::onFavouritesDoubleClicked() {
    removeFavourite();
}

void ViewFilters::onFavouriteSelected() {
    lightSlot2(*context_.window.ui().favouriteViewButton);
}

void ViewFilters::onFavouritesAboutToDropDown() {
    context_.services.speech.speak(QStringLiteral("查看或双击删除"));
}

void ViewFilters::onFavouritesGotFocus() {
    const auto& ui = context_.window.ui();
    lightSlot2(*ui.favouriteViewButton);
    ui.viewButton->setLit(false);
}

void ViewFilters::onFavouritesLostFocus() {
    context_.window.ui().favouriteViewButton->setLit(false);
}

void ViewFilters::onSearchTextGotFocus() {
    const auto& ui = context_.window.ui();
    ui.searchLamp->setColour(std::nullopt);
    ui.searchButton->setLit(false);
    ui.searchButton->setText(captions::SearchStart);
    ui.viewButton->setLit(false);
    ui.favouriteViewButton->setLit(false);
    ui.favourites->setCurrentIndex(0);
}

void ViewFilters::onSearchTextChanged() {
    context_.window.ui().searchResults->clear();
}

// The entry leaves the list only once its record no longer holds it; otherwise it would come
// back at the next start.
void ViewFilters::removeFavourite() {
    DropList& favourites = *context_.window.ui().favourites;
    const std::optional<int> number = selectedNumber(favourites);
    if (!number)
        return;
    const auto answer =
        context_.services.dialogs.show(QStringLiteral("是否确认删除选中项目"), QString(),
                                       Dialogs::Icon::Question, Dialogs::Buttons::YesNo);
    if (answer != Dialogs::Answer::Yes)
        return;
    if (*number < 1 || *number > stores::WalkedRemarkRecords) {
        favourites.removeItem(favourites.currentIndex());
        favourites.setCurrentIndex(0);
        return;
    }
    const StoreSession remarks = StoreSession::remarks(context_.store, context_.programDir);
    remarks.goToRecord(*number);
    if (!remarks.isOpen() || *number > remarks.store().recordCount()) {
        context_.services.speech.speak(QStringLiteral("删除失败"));
        return;
    }
    TableStore::Batch batch(remarks.store());
    remarks.store().writeField(stores::FavouriteField, QString());
    Context& context = context_;
    batch.commit([&context, entry = favourites.currentText()](bool removed) {
        if (!removed) {
            context.services.speech.speak(QStringLiteral("删除失败"));
            return;
        }
        DropList& list = *context.window.ui().favourites;
        list.removeItem(list.findText(entry, Qt::MatchExactly | Qt::MatchCaseSensitive));
        list.setCurrentIndex(0);
    });
}
