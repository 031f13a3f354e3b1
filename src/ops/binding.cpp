#include "ops/binding.h"

#include "ops/binding_record.h"
#include "ops/screen_procedures.h"
#include "ops/stage_controls.h"
#include "platform/dialogs.h"
#include "platform/speech.h"
#include "rack/rack_model.h"
#include "state/context.h"
#include "store/store_session.h"
#include "store/stores.h"
#include "tiles/tile_refill.h"
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

void Binding::onBindClicked() {
    GlobalState& state = context_.state;
    const auto& ui = context_.window.ui();
    // A binding pins a board to a link by its device number, which two boards share now.
    if (context_.rack.anyDuplicate()) {
        context_.services.speech.speak(QStringLiteral("发现两个设备号相同的设备，无法绑定"));
        return;
    }
    const auto answer =
        context_.services.dialogs.show(QStringLiteral("确认是否绑定设备"), captions::BindDevice,
                                       Dialogs::Icon::Question, Dialogs::Buttons::YesNo);
    if (answer != Dialogs::Answer::Yes) {
        context_.store.closeTable(stores::BindingAlias);
        return;
    }
    state.linkMode = LinkMode::Bound;
    // The binding store stays open for the bound connect that follows.
    const StoreSession binding =
        StoreSession::binding(context_.store, context_.programDir, StoreSession::OnLeave::KeepOpen);
    ui.searchText->setEnabled(true);
    ui.searchButton->setEnabled(true);
    state.addDevice.offered = true;
    showAddDevice(context_);
    ui.favouriteViewButton->setEnabled(true);
    ui.favourites->setEnabled(true);
    ui.favouriteViewButton->setLit(true);

    if (!context_.rack.anyFound())
        return;
    // Captions that say "bound" would be a failure reported as success when the boards were
    // not stored: the next start would not know them. Until the record is durable the button
    // takes no second click.
    ui.bindButton->setEnabled(false);
    Context& context = context_;
    writeBindingRecord(context_, binding, BindingScope::AllLinks, [&context](bool written) {
        const auto& controls = context.window.ui();
        if (!written) {
            controls.bindButton->setEnabled(true);
            context.services.speech.speak(QStringLiteral("绑定失败"));
            return;
        }
        controls.bindButton->setText(QStringLiteral("已绑定"));
        offerUnbind(context, true);
        showConnectStage(context, ConnectStage::Bound);
    });
}

// The unbinding wipes the binding and every remark and favourite. Refused while a tile is on,
// since its link would be closed under it; and written as one change of both stores, so that no
// restart finds the binding gone and the remarks kept, or the reverse.
void Binding::onUnbindClicked() {
    if (context_.rack.switchableOn() > 0) {
        context_.services.dialogs.show(QStringLiteral("请关闭已打开的设备"), QString(),
                                       Dialogs::Icon::Warning, Dialogs::Buttons::Ok);
        return;
    }
    const auto answer = context_.services.dialogs.show(
        QStringLiteral("确认是否解除设备绑定"), QStringLiteral("解除绑定"), Dialogs::Icon::Warning,
        Dialogs::Buttons::YesNo, QStringLiteral("所有备注和常用项都将被删除。"));
    // Echoes and scripts go on while the question is open: the rule is checked again on 是.
    if (answer != Dialogs::Answer::Yes ||
        !mayLeaveRack(context_, QStringLiteral("解除绑定"), QStringLiteral("解除绑定")))
        return;
    // The button, and with it every remark box, takes nothing until the stores have answered.
    offerUnbind(context_, false);
    Context& context = context_;
    resetStores([&context](bool reset) {
        if (!reset) {
            offerUnbind(context, true);
            context.services.speech.speak(QStringLiteral("解除绑定失败"));
            return;
        }
        Binding(context).unbound();
    });
}

void Binding::unbound() {
    GlobalState& state = context_.state;
    const auto& ui = context_.window.ui();
    context_.rack.setBinding({});
    resetSearchAndLists();
    allLinksLost(context_);
    ui.connectionLamp->setColour(colour::Red);
    for (Lamp* lamp : ui.linkLamps)
        lamp->setColour(colour::Red);
    state.linkMode = LinkMode::Query;
    if (state.currentRemarkBox)
        state.currentRemarkBox->clear();
    state.fillMode = 0;
    refillTiles(context_);
}

void Binding::resetSearchAndLists() {
    const auto& ui = context_.window.ui();
    lockSearchControls(context_);
    ui.bindButton->setEnabled(true);
    ui.bindButton->setText(captions::BindDevice);
    offerUnbind(context_, false);
    ui.favourites->clear();
}

// The binding store emptied, the remark store as at a first start: both or neither.
void Binding::resetStores(std::function<void(bool reset)> answer) {
    const StoreSession binding = StoreSession::binding(context_.store, context_.programDir);
    const StoreSession remarks = StoreSession::remarks(context_.store, context_.programDir);
    if (!binding.isOpen() || !remarks.isOpen()) {
        answer(false);
        return;
    }
    TableStore& store = context_.store;
    store.writeTogether(
        {stores::BindingAlias, stores::RemarkAlias},
        [&store] {
            return store.makeCurrent(stores::BindingAlias) && store.emptyTable() &&
                   store.makeCurrent(stores::RemarkAlias) && store.emptyTable() &&
                   stores::initialiseRemarks(store);
        },
        std::move(answer));
}
