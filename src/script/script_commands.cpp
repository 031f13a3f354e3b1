#include "script/script_commands.h"

#include "ops/remark_search.h"
#include "rack/rack_model.h"
#include "state/context.h"
#include "store/store_session.h"
#include "store/stores.h"
#include "tiles/remark_editing.h"
#include "tiles/tile_click_rules.h"
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
    const bool notConnected = refused->kind == tile_click_rules::Refusal::Kind::NotConnected;
    return Refusal{notConnected ? QStringLiteral("not connected") : QStringLiteral("refused"),
                   refused->prompt};
}

QString ScriptCommands::tileWord(int tile) const {
    return slotWord(context_.rack.state(tile));
}

QJsonObject ScriptCommands::status() const {
    const RackModel& rack = context_.rack;
    QJsonArray links;
    for (int k = 1; k <= LinkCount; ++k) {
        links.append(QJsonObject{
            {QStringLiteral("link"), k},
            {QStringLiteral("found"), rack.isFound(k)},
            {QStringLiteral("deviceNumber"), rack.foundDevice(k)},
            {QStringLiteral("port"), rack.port(k)},
            {QStringLiteral("boundDeviceNumber"), rack.boundDevice(k)},
        });
    }
    QJsonArray on;
    QJsonArray unknown;
    QJsonArray awaited;
    QJsonArray unconfirmed;
    for (int tile = 1; tile <= TileCount; ++tile) {
        const SlotState state = rack.state(tile);
        if (state == SlotState::On)
            on.append(tile);
        if (state == SlotState::Unknown)
            unknown.append(tile);
        const RackModel::Asked* asked = rack.asked(tile);
        if (asked && !asked->overdue)
            awaited.append(tile);
        if ((asked && asked->overdue) || rack.askedBefore(tile))
            unconfirmed.append(tile);
    }
    QJsonArray absent;
    for (const RackModel::AbsentBoard& board : rack.absentBoards()) {
        absent.append(QJsonObject{{QStringLiteral("deviceNumber"), board.deviceNumber},
                                  {QStringLiteral("possiblyOn"), board.possiblyOn}});
    }
    return QJsonObject{{QStringLiteral("ok"), true},
                       {QStringLiteral("programDir"), context_.programDir},
                       {QStringLiteral("links"), links},
                       {QStringLiteral("on"), on},
                       {QStringLiteral("unknown"), unknown},
                       {QStringLiteral("awaited"), awaited},
                       {QStringLiteral("unconfirmed"), unconfirmed},
                       {QStringLiteral("absentBoards"), absent},
                       {QStringLiteral("possiblyPowered"), rack.possiblyPowered()}};
}

QList<int> ScriptCommands::tilesNamed(const QString& text) const {
    const StoreSession remarks = StoreSession::remarks(context_.store, context_.programDir);
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
    const StoreSession remarks = StoreSession::remarks(context_.store, context_.programDir);
    if (!remarks.isOpen())
        return refused(QStringLiteral("the remark store cannot be read"));
    remarks.goToRecord(tile);
    return QJsonObject{{QStringLiteral("ok"), true},
                       {QStringLiteral("tile"), tile},
                       {QStringLiteral("text"), remarks.store().readField(stores::RemarkField)}};
}

void ScriptCommands::setRemark(int tile, const QString& text,
                               const std::function<void(const QJsonObject&)>& reply) {
    const QString refusedText = remark_rules::refusal(context_, text);
    if (!refusedText.isEmpty()) {
        reply(refused(refusedText));
        return;
    }
    // The operator's unsaved typing wins over a script; a box that merely has the focus does not.
    if (beingTyped(*context_.window.tile(tile).remarkBox,
                   remark(tile).value(QStringLiteral("text")).toString())) {
        QJsonObject typing = refused(QStringLiteral("备注正在编辑"));
        typing.insert(QStringLiteral("refused"), true);
        reply(typing);
        return;
    }
    Context& context = context_;
    remark_rules::write(context_, tile, text,
                        [&context, tile, text, reply](bool saved, const QString& prompt) {
                            if (!saved) {
                                reply(refused(prompt));
                                return;
                            }
                            // The window shows what the store now holds.
                            context.window.tile(tile).remarkBox->setText(text);
                            reply(QJsonObject{{QStringLiteral("ok"), true},
                                              {QStringLiteral("tile"), tile},
                                              {QStringLiteral("text"), text},
                                              {QStringLiteral("prompt"), prompt}});
                        });
}

QJsonObject ScriptCommands::find(const QString& text) const {
    if (text.isEmpty())
        return refused(QStringLiteral("你还没有输入"));
    const StoreSession remarks = StoreSession::remarks(context_.store, context_.programDir);
    QJsonArray hits;
    for (const QString& line : RemarkSearch::resultLines(remarks, text)) {
        hits.append(QJsonObject{{QStringLiteral("tile"), line.section(u':', 0, 0).toInt()},
                                {QStringLiteral("text"), line.section(u':', 1)}});
    }
    return QJsonObject{{QStringLiteral("ok"), true}, {QStringLiteral("tiles"), hits}};
}
