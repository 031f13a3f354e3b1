#include "script/script_commands.h"

#include "ops/remark_search.h"
#include "state/context.h"
#include "store/store_session.h"
#include "store/stores.h"
#include "tiles/remark_editing.h"
#include "tiles/tile_click_rules.h"
#include "tiles/tile_state.h"
#include "ui/main_window.h"
#include "ui/remark_box.h"
#include "ui/tile_numbering.h"

#include <QJsonArray>

namespace {
QJsonObject refused(const QString& text) {
    return QJsonObject{{QStringLiteral("ok"), false}, {QStringLiteral("error"), text}};
}

// The operator is typing into box: a script's save now would be overwritten by, or overwrite,
// what the operator is about to save.
bool beingTyped(const RemarkBox& box, const QString& stored) {
    return box.hasFocus() && !box.isReadOnly() && box.text() != stored;
}
} // namespace

std::optional<ScriptCommands::Refusal> ScriptCommands::refusal(int tile) const {
    const auto refused = tile_click_rules::refusal(context_, tile);
    if (!refused)
        return std::nullopt;
    return Refusal{refused->kind == tile_click_rules::Refusal::Kind::Connecting, refused->prompt};
}

void ScriptCommands::click(int tile) {
    tile_click_rules::click(context_, tile, RackEvents::Cause::Script);
}

QJsonObject ScriptCommands::status() const {
    const TableStore& store = context_.store;
    // The binding record stays open under its alias on record 1 from the window's creation.
    const bool bindingOpen = store.isOpen(stores::BindingAlias);
    QJsonArray links;
    for (int k = 1; k <= LinkCount; ++k) {
        const LinkState& link = context_.state.links[size_t(k - 1)];
        const bool found = !link.address.isEmpty();
        links.append(QJsonObject{
            {QStringLiteral("link"), k},
            {QStringLiteral("found"), found},
            {QStringLiteral("deviceNumber"), found ? link.deviceNumber : QString()},
            {QStringLiteral("port"), found ? link.address.toInt(nullptr, 16) : 0},
            {QStringLiteral("boundDeviceNumber"),
             bindingOpen ? store.readField(k, stores::BindingAlias) : QString()},
        });
    }
    QJsonArray on;
    QJsonArray awaited;
    QJsonArray unconfirmed;
    for (int tile = 1; tile <= TileCount; ++tile) {
        const TileState state = tileState(context_, tile);
        if (state.on)
            on.append(tile);
        if (state.awaiting)
            awaited.append(tile);
        if (state.unconfirmed)
            unconfirmed.append(tile);
    }
    return QJsonObject{
        {QStringLiteral("ok"), true},         {QStringLiteral("programDir"), context_.programDir},
        {QStringLiteral("links"), links},     {QStringLiteral("on"), on},
        {QStringLiteral("awaited"), awaited}, {QStringLiteral("unconfirmed"), unconfirmed}};
}

QString ScriptCommands::tileWord(int tile) const {
    const TileState state = tileState(context_, tile);
    if (state.awaiting || state.unconfirmed)
        return QStringLiteral("unknown");
    if (!context_.state.links[size_t(tiles::linkOf(tile) - 1)].isFound())
        return state.on ? QStringLiteral("unknown") : QStringLiteral("not connected");
    return state.on ? QStringLiteral("on") : QStringLiteral("off");
}

QList<int> ScriptCommands::tilesNamed(const QString& text) const {
    const StoreSession remarks = StoreSession::remarks(context_);
    TableStore& store = remarks.store();
    QList<int> named;
    const int records = std::min(store.recordCount(), TileCount);
    for (int tile = 1; remarks.isOpen() && tile <= records; ++tile) {
        if (store.readField(stores::RemarkField) == text)
            named.append(tile);
        store.skip();
    }
    return named;
}

QJsonObject ScriptCommands::remark(int tile) const {
    const StoreSession remarks = StoreSession::remarks(context_);
    if (!remarks.isOpen())
        return refused(QStringLiteral("the remark store cannot be read"));
    remarks.goToRecord(tile);
    return QJsonObject{{QStringLiteral("ok"), true},
                       {QStringLiteral("tile"), tile},
                       {QStringLiteral("text"), remarks.store().readField(stores::RemarkField)}};
}

QJsonObject ScriptCommands::setRemark(int tile, const QString& text) {
    const QString refusedText = remark_rules::refusal(context_, text);
    if (!refusedText.isEmpty())
        return refused(refusedText);
    if (beingTyped(*context_.window.tile(tile).remarkBox, remark(tile).value(u"text").toString())) {
        QJsonObject typing = refused(QStringLiteral("备注正在输入，请稍后"));
        typing.insert(QStringLiteral("refused"), true);
        return typing;
    }
    bool saved = false;
    const QString prompt = remark_rules::write(context_, tile, text, &saved);
    if (!saved)
        return refused(prompt);
    // The window shows what the store now holds.
    context_.window.tile(tile).remarkBox->setText(text);
    return QJsonObject{{QStringLiteral("ok"), true},
                       {QStringLiteral("tile"), tile},
                       {QStringLiteral("text"), text},
                       {QStringLiteral("prompt"), prompt}};
}

QJsonObject ScriptCommands::find(const QString& text) const {
    if (text.isEmpty())
        return refused(QStringLiteral("你还没有输入"));
    const StoreSession remarks = StoreSession::remarks(context_);
    QJsonArray hits;
    for (const QString& line : RemarkSearch::resultLines(remarks, text)) {
        hits.append(QJsonObject{{QStringLiteral("tile"), line.section(u':', 0, 0).toInt()},
                                {QStringLiteral("text"), line.section(u':', 1)}});
    }
    return QJsonObject{{QStringLiteral("ok"), true}, {QStringLiteral("tiles"), hits}};
}
