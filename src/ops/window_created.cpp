#include "ops/window_created.h"

#include "ops/stage_controls.h"
#include "platform/speech.h"
#include "platform/waits.h"
#include "rack/rack_model.h"
#include "state/context.h"
#include "store/store_session.h"
#include "store/stores.h"
#include "tiles/tile_refill.h"
#include "ui/captions.h"
#include "ui/drop_list.h"
#include "ui/main_window.h"
#include "ui/styled_button.h"
#include "ui/text_box.h"

#include <QPushButton>

#include <optional>

namespace {

// Whether the file was created, or nothing when it was there already.
std::optional<bool> createStore(Context& context, const QString& file,
                                const QList<FieldDefinition>& fields) {
    const QString path = context.programDir + file;
    // What an interrupted first start left behind while building the file.
    TableStore::removeStagingLeftovers(path);
    if (TableStore::fileExists(path))
        return std::nullopt;
    return context.store.createTable(path, fields);
}

void restoreRemarks(Context& context) {
    const StoreSession remarks = StoreSession::remarks(context.store, context.programDir);
    if (!remarks.isOpen()) {
        // A store that is there but unusable (damaged, foreign, the other store, unreadable)
        // would otherwise just show no remarks, and the operator would not know why.
        if (TableStore::fileExists(context.programDir + stores::RemarkFile))
            context.services.speech.speak(QStringLiteral("备注数据库打开失败"));
        return;
    }
    TableStore& store = remarks.store();
    if (store.readField(stores::RemarkField).isEmpty()) {
        // A store that cannot be written stays uninitialised, which the operator must hear.
        stores::initialiseRemarks(store, [&context](bool written) {
            if (!written)
                context.services.speech.speak(QStringLiteral("备注数据库创建失败"));
        });
    } else {
        refillTiles(context);
        stores::fillFavourites(store, *context.window.ui().favourites);
    }
}

// The binding store stays open and current when it holds a binding.
void restoreBinding(Context& context) {
    const auto& ui = context.window.ui();
    const StoreSession binding =
        StoreSession::binding(context.store, context.programDir, StoreSession::OnLeave::KeepOpen);
    if (!binding.isOpen())
        context.services.speech.speak(QStringLiteral("数据打开失败"));
    TableStore& store = binding.store();
    QStringList bound;
    for (int field = 1; field <= LinkCount; ++field)
        bound.append(store.readField(field));
    context.rack.setBinding(bound);
    for (int field = 1; field <= LinkCount; ++field) {
        if (!bound[field - 1].isEmpty()) {
            showConnectStage(context, ConnectStage::Bound);
            ui.bindButton->setEnabled(false);
            offerUnbind(context, true);
            context.state.linkMode = LinkMode::Bound;
            return;
        }
    }
    store.closeTable(stores::BindingAlias);
}

} // namespace

void onWindowCreated(Context& context) {
    const auto& ui = context.window.ui();
    GlobalState& state = context.state;
    state.fillMode = 1;
    resetAddDevice(context, false);
    context.services.speech.speak(QStringLiteral("欢迎使用Hubrix"));
    ui.probeWaitList->setCurrentIndex(2);
    for (QWidget* control :
         {static_cast<QWidget*>(ui.searchText), static_cast<QWidget*>(ui.searchButton),
          static_cast<QWidget*>(ui.viewButton), static_cast<QWidget*>(ui.favouriteViewButton),
          static_cast<QWidget*>(ui.searchResults), static_cast<QWidget*>(ui.favourites)})
        control->setEnabled(false);
    context.services.waits.processPendingEvents();

    stores::defineRemarkFields(state.remarkFieldDefinitions);
    if (const auto created = createStore(context, stores::RemarkFile, state.remarkFieldDefinitions))
        context.services.speech.speak(*created ? QStringLiteral("创建备注数据库成功")
                                               : QStringLiteral("备注数据库创建失败"));
    restoreRemarks(context);

    stores::defineBindingFields(state.bindingFieldDefinitions);
    if (const auto created =
            createStore(context, stores::BindingFile, state.bindingFieldDefinitions))
        context.services.speech.speak(*created ? QStringLiteral("数据创建成功")
                                               : QStringLiteral("数据创建失败"));
    restoreBinding(context);
    // Both stores were opened, so whatever a cut-off joint write of both left is played back.
    TableStore::removeStaleSuperJournals(
        {context.programDir + stores::RemarkFile, context.programDir + stores::BindingFile});
}
