#pragma once

#include <QJsonObject>
#include <QList>
#include <QString>

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
        // True while no query-and-connect run has ended; false for a link without a board.
        bool connecting;
        QString prompt;
    };
    std::optional<Refusal> refusal(int tile) const;
    // The tile's click, made for a script.
    void click(int tile);

    // Links, the tiles that are on and those awaiting an echo, and the program directory.
    QJsonObject status() const;
    // What a script is told of tile: "on", "off", "not connected" (its link holds no board)
    // or "unknown" (a switch awaits or missed its echo, or a lost board's slot was left on).
    QString tileWord(int tile) const;
    // The tiles whose remark is exactly text, in tile order.
    QList<int> tilesNamed(const QString& text) const;
    QJsonObject remark(int tile) const;
    QJsonObject setRemark(int tile, const QString& text);
    QJsonObject find(const QString& text) const;

private:
    Context& context_;
};
