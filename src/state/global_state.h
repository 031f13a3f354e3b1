#pragma once

#include "hub/frame_assembler.h"
#include "state/dimensions.h"
#include "store/table_store.h"

#include <QList>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QStringList>

#include <array>

class RemarkBox;

// How the next query-and-connect run looks for boards.
enum class LinkMode { Query = 0, Closed = 1, Bound = 2 };

// What the program knows of one hub link.
struct LinkState {
    // Two hex digits: the serial port number on which the board answered; empty = not found.
    QString address;
    // Four hex digits cut from the last complete frame received on the link.
    QString deviceNumber;
    // The receive buffer, whose answer length reads 24 right after a frame completed.
    FrameAssembler receiver;
    // The serial port number being probed.
    int probeCounter = 0;
    // The query frame last sent on the link, as upper-case text: a port that returns it
    // unchanged is a loopback, not a board answering.
    QString sentQuery;
};

// A tile switch frame sent and not yet confirmed by the board's echo. Each tile keeps its own,
// so that an echo confirms the tile it belongs to however many clicks came in between.
struct AwaitedEcho {
    enum Operation { Open = 0, Close = 1 };
    // Offsets 2 ... 9 of the frame sent, as text; empty when no echo is awaited.
    QString key;
    Operation operation = Open;
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
    // Query-and-connect runs under way: the one clicked, and one nested in its waits.
    int connectRunsGoing = 0;
    // 1 when the last check found a tile switched on.
    int anyDeviceOpen = 0;
    // The tile refill copies remarks (1) or empties the remark boxes (0).
    int fillMode = 0;

    // Of the last complete frame on any link: its key, and 0 when that was a switch echo.
    QString receivedKey;
    int echoFlag = 0;
    // Index N - 1: what the echo for tile N must repeat.
    std::array<AwaitedEcho, TileCount> awaitedEchoes;
    // True while the control channel has a tile click handled on a script's behalf.
    bool scriptSwitching = false;
    // Power cycles waiting out their off time, one nested in the other's wait at most.
    int powerCyclesGoing = 0;

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
