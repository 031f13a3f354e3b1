#pragma once

#include "hub/dimensions.h"
#include "hub/frame_assembler.h"
#include "state/rack_events.h"
#include "store/table_store.h"

#include <QHash>
#include <QList>
#include <QMap>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QStringList>

#include <array>

class RemarkBox;

// How the next query-and-connect run looks for boards.
enum class LinkMode { Query = 0, Closed = 1, Bound = 2 };

// What 按钮1_查询连接 stands at; its caption is drawn from this. Its first caption, its stage
// before any run, keeps the link mode that start-up chose.
enum class ConnectStage {
    Start,
    Query,
    QueryDone,
    Bound,
    Connecting,
    Connected,
    BoundDone,
    LinkConnected,
};

// Where adding a device stands; 超级按钮337 is drawn from this.
struct AddDeviceStage {
    // The button takes clicks: a run found a board or a binding was made, and neither a
    // disconnect, an unbinding nor its own bind write came since.
    bool offered = false;
    // The next click binds rather than queries; queryLink, when not 0, is the link the last
    // query asked without a device number to show.
    bool bindNext = false;
    int queryLink = 0;
    // A board was found since the last bind or disconnect (the button's lit look).
    bool boardFound = false;
};

// What the connect runs and the byte arrival know of one hub link while they talk to it.
// Whether the link holds a board, and on which port, is the rack model's to say.
struct LinkState {
    // Four hex digits cut from the last complete frame received on the link.
    QString deviceNumber;
    // The receive buffer, whose answer length reads 24 right after a frame completed.
    FrameAssembler receiver;
    // The serial port number being probed.
    int probeCounter = 0;
    // The query frame last sent on the link, as upper-case text: a port that returns it
    // unchanged is a loopback, not a board answering.
    QString sentQuery;

    // The link lets go of whatever it had found or was probing.
    void release() {
        deviceNumber.clear();
        receiver.clear();
        sentQuery.clear();
    }
};

// Process-wide values, alive for the whole run.
struct GlobalState {
    LinkMode linkMode = LinkMode::Query;
    std::array<LinkState, LinkCount> links;
    // Milliseconds to wait after each query frame, read from 组合框1 at the start of a run.
    int probeWait = 0;
    // Serial port numbers that the current query-and-connect run found refused for want of
    // permission, each once however many links tried it.
    QSet<int> refusedPorts;
    // 1 once a run has ended with boards to talk to; tile clicks send frames only then.
    int connectDone = 0;
    // A script started the run under way: it opens no box, and what a box would say is kept
    // for the script's reply.
    bool scriptedRun = false;
    QString scriptedRunNote;
    // Query-and-connect runs under way: the one clicked, and one nested in its waits.
    int connectRunsGoing = 0;
    ConnectStage connectStage = ConnectStage::Start;
    // The link that 连接成功K names.
    int connectedLink = 0;
    AddDeviceStage addDevice;
    // The tile area is shown: a board was found since the last disconnect or unbinding.
    bool tilesShown = false;
    // A binding made by a bind click, or found at start, and no unbinding under way: remarks
    // may be edited, and 按钮5_解除绑定 is offered.
    bool unbindOffered = false;
    // 1 when the last check found a tile switched on.
    int anyDeviceOpen = 0;
    // The tile refill copies remarks (1) or empties the remark boxes (0).
    int fillMode = 0;

    // Of the last complete frame on any link: its key, and 0 when that was a switch echo.
    QString receivedKey;
    int echoFlag = 0;
    // Who is switching tiles now: a script sets it while its command runs the click handler.
    RackEvents::Cause switchCause = RackEvents::Cause::Click;
    // Tiles in the off time of a power cycle, each with the number of its cycle: a cycle cut
    // short and started again is not switched on by the first one's timer.
    QHash<int, int> powerCycles;
    int lastPowerCycle = 0;
    // Tiles switched on whose open-devices lines are still to be added.
    QSet<int> openedLinesDue;
    // The open-devices lines shown for boards on no link that may still power slots.
    QStringList absentBoardLines;
    // Per link, the device number of the board whose loss the status line told, until it
    // told its return.
    std::array<QString, LinkCount> lostBoardsTold;

    // The box of the last remark event, and the tile whose remark a save may write: the one
    // accepted for editing at the last got-focus, 0 before any.
    QPointer<RemarkBox> currentRemarkBox;
    int remarkTile = 0;
    // The tile number taken from the entry last used by a view jump.
    int viewTarget = 0;

    // The machine's network addresses as the platform gave them at the last 按钮3_IP click.
    QStringList localAddresses;
    // While the public address page is awaited, clicks on 按钮3_IP start no second request.
    bool publicAddressFetching = false;

    QList<FieldDefinition> remarkFieldDefinitions{FieldDefinition{}, FieldDefinition{},
                                                  FieldDefinition{}};
    QList<FieldDefinition> bindingFieldDefinitions = QList<FieldDefinition>(LinkCount);

    // Set once the window has agreed to close: a run that is still waiting then unwinds
    // without raising dialogs on a window that is gone.
    bool closing = false;
};
