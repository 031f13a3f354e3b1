#pragma once

class Speech;
class SerialPortFactory;
class Waits;
class Dialogs;
class Network;
class Tune;
class BackgroundWriter;

// The platform services the program talks to; the program and the tests each supply a set.
struct Services {
    Speech& speech;
    SerialPortFactory& serialPorts;
    Waits& waits;
    Dialogs& dialogs;
    Network& network;
    Tune& tune;
    // Where every durable write of the stores runs, off the window's thread.
    BackgroundWriter& writer;
};
