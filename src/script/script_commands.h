#pragma once

#include <QJsonObject>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

struct Context;

// What the control channel's commands do to the rack and the stores, through the handlers
// and rules that the operator's clicks and keys use. Commands never open a dialog: where a
// click would be refused, the refusal comes back with the text the operator would hear.
class ScriptCommands {
public:
    explicit ScriptCommands(Context& context) : context_(context) {}

    // Why a click on tile would not switch it now, and what the operator would hear.
    struct Refusal {
        // "not connected" for a link without a board; "refused" by a rule (a run under way, two
        // boards with one device number).
        QString result;
        QString prompt;
    };
    std::optional<Refusal> refusal(int tile) const;

    // Links, the tiles that are on, unknown, awaiting an echo or not confirmed, the boards on
    // no link that may power slots, and the program directory.
    QJsonObject status() const;
    // What a script is told of tile: "on", "off", "not connected" (its link holds no board,
    // none kept on) or "unknown" (a switch awaits or missed its echo, one was pending at the
    // last end, or the board that had it on is not in reach).
    QString tileWord(int tile) const;
    // The tiles whose remark is exactly text, in tile order.
    QList<int> tilesNamed(const QString& text) const;
    QJsonObject remark(int tile) const;
    // reply gets the outcome once it is known: saved only once the remark is durable.
    void setRemark(int tile, const QString& text,
                   const std::function<void(const QJsonObject&)>& reply);
    QJsonObject find(const QString& text) const;

private:
    Context& context_;
};
