#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <array>
#include <map>

// Simulated hub boards, each behind a pseudo-terminal that the program finds as
// <programDir>/ports/COM<n>. Runs on the event loop of the thread that owns it and never blocks,
// so a test can drive the program's real serial code against it on one thread.
class HubRack : public QObject {
    Q_OBJECT
public:
    static constexpr int kSlotCount = 42;

    // Misbehaviour that can be switched on for one port at any time; a port has one at a time.
    enum class Fault {
        None,
        // Frames are still counted as received, but nothing is checked, switched or answered.
        Silent,
        // Slots switch when the frame arrives; every reply leaves delayMs later.
        LateReply,
        // Switch frames switch their slot but are not echoed; queries are still answered.
        DropEcho,
        // Line noise: a single 0x00 byte goes out on its own at once; nothing else changes.
        StrayByte,
        // Every reply (echo or query answer) leaves with one 0x00 byte in front of it, both in
        // one write, so that they reach the reader as one burst.
        StrayBeforeReply,
    };

    explicit HubRack(const QString& programDir, QObject* parent = nullptr);
    // Closes every port and removes the links that still point at this rack's terminals.
    ~HubRack() override;

    // Port numbers are 1 ... 30, one port per number; ports can be added at any time, which is
    // a cable plugged in while the program runs. A board's slots are off the first time it is
    // plugged in; a board plugged in again (same device number, any port) has the slots it had
    // when its cable was pulled, since pulling the serial cable does not cut its power.
    bool addBoard(int portNumber, quint16 deviceNumber);
    // Opens like any serial device but never answers: an unrelated device on the same machine.
    bool addSilentPort(int portNumber);
    // An unrelated device that talks on its own from the moment it is added: a few random bytes
    // every few milliseconds, never 0xA5, so nothing it sends can start a frame. The bytes
    // follow from the port number alone. It pauses while a few dozen of its bytes wait unread,
    // so whoever opens it finds little stale noise.
    bool addChattyPort(int portNumber);
    // A cable whose wires are looped: every byte that arrives goes straight back unchanged.
    bool addLoopbackPort(int portNumber);
    // Only boards have faults; false for any other port or an unknown number.
    bool setFault(int portNumber, Fault fault, int delayMs = 0);
    // A pulled cable: the terminal and the link go away and the program's open port hangs up.
    // The number is free again afterwards.
    bool unplug(int portNumber);

    // Sends bytes on the port as if its device had sent them (line noise, a flood); false for
    // an unknown number.
    bool inject(int portNumber, const QByteArray& bytes);
    // Bytes written to the port's terminal that the program has not read yet.
    qint64 unreadBytes(int portNumber) const;

    // Slots are 1 ... kSlotCount.
    bool slotOn(int portNumber, int slot) const;
    // Every 12-byte frame that was assembled on the port, whether accepted or not.
    int framesReceived(int portNumber) const;
    // Frames a board checked and refused; a refused frame is neither echoed nor acted on.
    int framesRejected(int portNumber) const;
    // The terminal's own device path; empty for an unknown number.
    QString devicePath(int portNumber) const;
    // <programDir>/ports/COM<n>, whether or not a port is there.
    QString linkPath(int portNumber) const;

signals:
    // Only actual changes of a slot are reported.
    void slotSwitched(int portNumber, int slot, bool on);
    void frameReceived(int portNumber, const QByteArray& frame);
    void frameRejected(int portNumber, const QByteArray& frame);

private:
    struct Port;
    enum class Kind { Board, Silent, Chatty, Loopback };

    bool addPort(int portNumber, Kind kind, quint16 deviceNumber);
    const Port* findPort(int portNumber) const;
    void readInput(Port* port);
    void takeFrames(Port* port);
    void handleFrame(Port* port, const QByteArray& frame);
    void reply(Port* port, QByteArray bytes);
    void write(Port* port, const QByteArray& bytes);
    void flushOutput(Port* port);
    void sendNoise(Port* port);

    QString programDir_;
    std::map<int, Port*> ports_;
    // The slots of each board whose cable was pulled, by device number.
    std::map<quint16, std::array<bool, kSlotCount>> unpluggedSlots_;
};
