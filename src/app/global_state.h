#pragma once

#include "app/dimensions.h"
#include "hub/frame_assembler.h"
#include "store/table_store.h"

#include <QList>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <array>

class StyledButton;

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
};

// The one outstanding tile switch request of the whole program; each click overwrites it.
struct PendingSwitch {
    enum Operation { Open = 0, Close = 1 };
    QPointer<StyledButton> button;
    QString tileNumber;
    Operation operation = Open;
    QString confirmationKey;
};

// Process-wide values, alive for the whole run.
struct GlobalState {
    LinkMode linkMode = LinkMode::Query;
    std::array<LinkState, LinkCount> links;
    // Milliseconds to wait after each query frame, read from 组合框1 at the start of a run.
    int probeWait = 0;
    // 1 once a run has ended with boards to talk to; tile clicks send frames only then.
    int connectDone = 0;
    // 1 when the last check found a tile switched on.
    int anyDeviceOpen = 0;
    // The tile refill copies remarks (1) or empties the remark boxes (0).
    int fillMode = 0;

    // Of the last complete frame on any link: its key, and 0 when that was a switch echo.
    QString receivedKey;
    int echoFlag = 0;
    int keyMismatchFlag = 0;
    PendingSwitch pending;
    QString listRemarkText;

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
