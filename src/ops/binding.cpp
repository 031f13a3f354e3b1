#include "ops/binding.h"

#include "ops/binding_record.h"
#include "ops/screen_procedures.h"
#include "platform/dialogs.h"
#include "platform/speech.h"
#include "state/context.h"
#include "store/store_session.h"
#include "store/stores.h"
#include "store/tile_refill.h"
#include "ui/captions.h"
#include "ui/colours.h"
#include "ui/drop_list.h"
#include "ui/lamp.h"
#include "ui/main_window.h"
#include "ui/remark_box.h"
#include "ui/styled_button.h"
#include "ui/tab_control.h"
#include "ui/text_box.h"

#include <QPushButton>

#include <algorithm>

namespace {
constexpr int FrameLength = 24;
} // namespace

void Binding::onBindClicked() {
    GlobalState& state = context_.state;
    const auto& ui = context_.window.ui();
    const auto answer =
        context_.services.dialogs.show(QStringLiteral("确认是否绑定设备"), captions::BindDevice,
                                       Dialogs::Icon::Question, Dialogs::Buttons::YesNo);
    if (answer != Dialogs::Answer::Yes) {
        context_.store.closeTable(stores::BindingAlias);
        return;
    }
    state.linkMode = LinkMode::Bound;
    // The binding store stays open for the bound connect that follows.
    const StoreSession binding = StoreSession::binding(context_, StoreSession::OnLeave::KeepOpen);
    for (QWidget* control :
         {static_cast<QWidget*>(ui.searchText), static_cast<QWidget*>(ui.searchButton),
          static_cast<QWidget*>(ui.addDeviceButton), static_cast<QWidget*>(ui.favouriteViewButton),
          static_cast<QWidget*>(ui.favourites)})
        control->setEnabled(true);
    ui.favouriteViewButton->setLit(true);

    const bool anyAnswered =
        std::any_of(state.links.begin(), state.links.end(), [](const LinkState& link) {
            return link.receiver.answerLength() == FrameLength;
        });
    if (!anyAnswered)
        return;
    // Captions that say "bound" would be a failure reported as success when the boards were
    // not stored: the next start would not know them.
    if (!writeBindingRecord(context_, binding)) {
        context_.services.speech.speak(QStringLiteral("绑定失败"));
        return;
    }
    ui.bindButton->setEnabled(false);
    ui.bindButton->setText(QStringLiteral("已绑定"));
    ui.unbindButton->setEnabled(true);
    ui.connectButton->setText(captions::ConnectBound);
}

void Binding::onUnbindClicked() {
    GlobalState& state = context_.state;
    const auto& ui = context_.window.ui();
    const auto answer = context_.services.dialogs.show(
        QStringLiteral("确认是否解除设备绑定"), QStringLiteral("解除绑定"), Dialogs::Icon::Warning,
        Dialogs::Buttons::YesNo, QStringLiteral("所有备注和常用项都将被删除。"));
    if (answer != Dialogs::Answer::Yes)
        return;
    {
        const StoreSession binding = StoreSession::binding(context_);
        binding.store().emptyTable();
    }
    resetSearchAndLists();
    allLinksLost(context_);
    ui.connectionLamp->setColour(colour::Red);
    for (Lamp* lamp : ui.linkLamps)
        lamp->setColour(colour::Red);
    state.linkMode = LinkMode::Query;
    resetRemarkStore();
    state.fillMode = 0;
    refillTiles(context_);
}

void Binding::resetSearchAndLists() {
    const auto& ui = context_.window.ui();
    lockSearchControls(context_);
    ui.bindButton->setEnabled(true);
    ui.bindButton->setText(captions::BindDevice);
    ui.unbindButton->setEnabled(false);
    ui.favourites->clear();
}

// All remarks and favourites go; the store is left as at a first start, in one transaction.
void Binding::resetRemarkStore() {
    const auto& ui = context_.window.ui();
    const StoreSession remarks = StoreSession::remarks(context_);
    TableStore& store = remarks.store();
    TableStore::Batch batch(store);
    store.emptyTable();
    if (context_.state.currentRemarkBox)
        context_.state.currentRemarkBox->clear();
    ui.addDeviceButton->setLit(false);
    ui.addDeviceButton->setText(captions::AddDevice);
    store.goToFirstRecord();
    if (store.readField(stores::RemarkField).isEmpty()) {
        stores::initialiseRemarks(store);
        return;
    }
    refillTiles(context_);
    stores::fillFavourites(store, *ui.favourites);
}
