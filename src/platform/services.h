#pragma once

class Speech;
class SerialPortFactory;
class Waits;
class Dialogs;
class Network;
class Tune;

// The platform services the program talks to; the program and the tests each supply a set.
struct Services {
    Speech& speech;
    SerialPortFactory& serialPorts;
    Waits& waits;
    Dialogs& dialogs;
    Network& network;
    Tune& tune;
};
