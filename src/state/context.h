#pragma once

#include "platform/services.h"
#include "state/global_state.h"

#include <QString>

#include <array>

class MainWindow;
class RackEvents;
class RackModel;
class SerialPort;
class TableStore;

// What every handler works on: the shared state, the window, the stores and the platform.
struct Context {
    GlobalState& state;
    // The truth about the rack: boards, slots, what was asked and what is kept.
    RackModel& rack;
    MainWindow& window;
    TableStore& store;
    // Where handlers report what happened, for anyone who follows it.
    RackEvents& events;
    Services services;
    // The serial port component of each hub link (端口1 ... 端口8).
    std::array<SerialPort*, LinkCount> ports;
    // The program's directory, without a trailing separator.
    QString programDir;
};
