#include "tiles/tile_look.h"

#include "platform/waits.h"
#include "rack/rack_model.h"
#include "state/context.h"
#include "store/store_session.h"
#include "store/stores.h"
#include "store/table_store.h"
#include "tiles/open_devices_list.h"
#include "ui/captions.h"
#include "ui/colours.h"
#include "ui/lamp.h"
#include "ui/main_window.h"
#include "ui/status_line.h"
#include "ui/styled_button.h"
#include "ui/tile_numbering.h"

#include <QListWidget>

namespace {
StyledButton::Confirmation confirmationOf(const RackModel& rack, int tile) {
    if (const RackModel::Asked* asked = rack.asked(tile))
        return asked->overdue ? StyledButton::Confirmation::Missing
                              : StyledButton::Confirmation::Awaited;
    return rack.state(tile) == SlotState::Unknown && !rack.keptOn(tile)
               ? StyledButton::Confirmation::Missing
               : StyledButton::Confirmation::Confirmed;
}

// The lamp tells what its colour cannot: a board out of reach that may still power the slot,
// or a switch the board did not confirm, as the button's frame does.
Mark lampMark(const RackModel& rack, int tile) {
    if (rack.isLost(tiles::linkOf(tile)) && rack.state(tile) == SlotState::Unknown)
        return Mark::Lost;
    return confirmationOf(rack, tile) == StyledButton::Confirmation::Missing ? Mark::Unconfirmed
                                                                             : Mark::None;
}

// The remark store under an alias of its own, so that a walk of the remark alias that an
// event is in the middle of keeps its place; the table that was current is current again after.
class RemarkReading {
public:
    explicit RemarkReading(Context& context)
        : store_(context.store), previous_(store_.currentAlias()),
          session_(store_, context.programDir + stores::RemarkFile, stores::SwitchStateAlias,
                   StoreSession::OnLeave::Close, stores::remarkColumns()) {}
    ~RemarkReading() {
        if (!previous_.isEmpty())
            store_.makeCurrent(previous_);
    }
    RemarkReading(const RemarkReading&) = delete;
    RemarkReading& operator=(const RemarkReading&) = delete;

    bool isOpen() const { return session_.isOpen(); }
    TableStore& store() const { return store_; }

private:
    TableStore& store_;
    QString previous_;
    StoreSession session_;
};

QString absentLine(const RackModel::AbsentBoard& board) {
    return QStringLiteral("设备号%1：%2个设备可能仍在通电")
        .arg(board.deviceNumber)
        .arg(board.possiblyOn);
}
} // namespace

void TileLook::onTileChanged(int tile) {
    const RackModel& rack = context_.rack;
    const MainWindow::Tile& controls = context_.window.tile(tile);
    StyledButton& button = *controls.button;
    // A tile reads on while its board has the slot on, found or not: the board keeps it
    // powered when its cable is pulled. A switch off reads off at once and keeps the lit look
    // until the board echoes it.
    const bool opened = rack.keptOn(tile);
    const RackModel::Asked* asked = rack.asked(tile);
    const bool lit = opened || (asked && asked->wasOn);
    button.setConfirmation(confirmationOf(rack, tile));
    controls.lamp->setMark(lampMark(rack, tile));
    button.setText(opened ? captions::TileOpened : captions::TileClosed);
    if (lit == button.isLit())
        return;
    if (lit) {
        button.setLit(true);
        button.setColourSlot(4, colour::Green);
        button.setColourSlot(1, colour::White);
        button.setColourSlot(2, colour::Blue);
        button.setColourSlot(3, colour::DarkGreen);
        controls.lamp->setColour(colour::Blue);
        GlobalState& state = context_.state;
        if (state.openedLinesDue.isEmpty())
            context_.services.waits.callAfter(0, &context_.window, [this] { addOpenedLines(); });
        state.openedLinesDue.insert(tile);
    } else {
        button.setLit(false);
        controls.lamp->setColour(colour::Red);
        open_devices::remove(context_, tile);
    }
}

void TileLook::addOpenedLines() {
    const QSet<int> due = std::exchange(context_.state.openedLinesDue, {});
    QList<int> tiles;
    for (int tile : due) {
        if (context_.rack.keptOn(tile))
            tiles.append(tile);
    }
    if (tiles.isEmpty())
        return;
    std::sort(tiles.begin(), tiles.end());
    QList<QString> remarks;
    {
        const RemarkReading reading(context_);
        TableStore& store = reading.store();
        // The tiles come in order, so one walk reaches them all.
        int record = 1;
        for (int tile : tiles) {
            for (; reading.isOpen() && record < tile; ++record)
                store.skip();
            remarks.append(reading.isOpen() ? store.readField(stores::RemarkField) : QString());
        }
    }
    for (int i = 0; i < tiles.size(); ++i)
        open_devices::add(context_, tiles[i], remarks[i]);
}

void TileLook::onLinkChanged() {
    QStringList absent;
    for (const RackModel::AbsentBoard& board : context_.rack.absentBoards())
        absent.append(absentLine(board));
    QStringList& shown = context_.state.absentBoardLines;
    if (absent == shown)
        return;
    QListWidget& list = *context_.window.ui().openDevices;
    for (const QString& line : shown) {
        const auto items = list.findItems(line, Qt::MatchExactly);
        qDeleteAll(items);
    }
    for (const QString& line : absent) {
        list.addItem(line);
        if (!shown.contains(line))
            context_.window.ui().statusLine->showLine(line);
    }
    shown = absent;
}
