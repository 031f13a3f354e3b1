#include "tiles/remark_editing.h"

#include "platform/speech.h"
#include "state/context.h"
#include "state/rack_events.h"
#include "store/store_session.h"
#include "store/stores.h"
#include "tiles/open_devices_list.h"
#include "ui/colours.h"
#include "ui/key_codes.h"
#include "ui/main_window.h"
#include "ui/remark_box.h"
#include "ui/tile_numbering.h"

#include <QPointer>

namespace {
// The tile an arrow key leads to from tile n, or 0 where the key would leave the page.
int arrowTarget(int n, int keyCode) {
    const int onPage = (n - 1) % SlotsPerLink;
    switch (keyCode) {
    case keys::Left:
        return onPage != 0 ? n - 1 : 0;
    case keys::Right:
        return n % SlotsPerLink != 0 ? n + 1 : 0;
    case keys::Up:
        return onPage >= 7 ? n - 7 : 0;
    case keys::Down:
        return onPage < 35 ? n + 7 : 0;
    default:
        return 0;
    }
}
} // namespace

void RemarkEditing::onGotFocus(RemarkBox* box) {
    GlobalState& state = context_.state;
    state.currentRemarkBox = box;
    if (!state.tilesShown)
        return;
    if (!remark_rules::editable(context_)) {
        context_.services.speech.speak(remark_rules::NotBoundPrompt);
        box->setReadOnly(true);
        return;
    }
    box->setHighlight(colour::Yellow);
    box->setReadOnly(false);
    if (!box->text().isEmpty())
        context_.services.speech.speak(QStringLiteral("请确认是否修改"));
    state.remarkTile = tiles::numberFromName(box->objectName(), tiles::RemarkBoxPrefix);
}

void RemarkEditing::onLostFocus(RemarkBox* box) {
    box->setHighlight(std::nullopt);
}

void RemarkEditing::onKeyDown(RemarkBox* box, int keyCode) {
    context_.state.currentRemarkBox = box;
    if (keyCode == keys::Enter)
        save(box);
    else
        moveFocus(box, keyCode);
}

void RemarkEditing::onDoubleClicked(RemarkBox* box) {
    save(box);
}

void RemarkEditing::moveFocus(RemarkBox* box, int keyCode) {
    const int target = arrowTarget(box->property("tag").toString().toInt(), keyCode);
    if (target >= 1 && target <= TileCount)
        context_.window.tile(target).remarkBox->setFocus(Qt::OtherFocusReason);
}

// Only the box that was accepted for editing writes, and only into its own record.
void RemarkEditing::save(RemarkBox* box) {
    GlobalState& state = context_.state;
    state.currentRemarkBox = box;
    const QString text = box->text();
    if (text.isEmpty()) {
        context_.services.speech.speak(remark_rules::EmptyPrompt);
        return;
    }
    const int tile = tiles::numberFromName(box->objectName(), tiles::RemarkBoxPrefix);
    if (tile < 1 || tile != state.remarkTile || !remark_rules::editable(context_))
        return;
    Context& context = context_;
    remark_rules::write(
        context_, tile, text,
        [&context, box = QPointer<RemarkBox>(box)](bool saved, const QString& prompt) {
            if (saved && box)
                box->showStart();
            context.services.speech.speak(prompt);
        });
}

namespace remark_rules {

bool editable(const Context& context) {
    return context.state.unbindOffered;
}

QString refusal(const Context& context, const QString& text) {
    if (text.isEmpty())
        return EmptyPrompt;
    if (!editable(context))
        return NotBoundPrompt;
    if (RemarkBox::gbkLength(text) > RemarkBox::MaxBytes)
        return TooLongPrompt;
    return {};
}

// The open-devices line shows the remark as reads see it: at once, and as it was again when
// the write does not land.
void write(Context& context, int tile, const QString& text, Answer answer) {
    const QString failed = QStringLiteral("保存失败");
    const StoreSession remarks = StoreSession::remarks(context.store, context.programDir);
    TableStore& store = remarks.store();
    remarks.goToRecord(tile);
    if (!remarks.isOpen() || store.currentRecordNumber() != tile || tile > store.recordCount()) {
        answer(false, failed);
        return;
    }
    const bool wasEmpty = store.readField(stores::RemarkField).isEmpty();
    TableStore::Batch batch(store);
    if (store.writeField(stores::RemarkField, text))
        open_devices::update(context, tile, text);
    batch.commit([&context, tile, text, wasEmpty, failed, answer](bool saved) {
        if (!saved) {
            const StoreSession asItIs = StoreSession::remarks(context.store, context.programDir);
            asItIs.goToRecord(tile);
            open_devices::update(context, tile, asItIs.store().readField(stores::RemarkField));
            answer(false, failed);
            return;
        }
        emit context.events.remarkSaved(tile, text);
        answer(true, wasEmpty ? QStringLiteral("保存成功") : QStringLiteral("修改成功"));
    });
}

} // namespace remark_rules
