#pragma once

#include <QList>
#include <QObject>
#include <QPair>
#include <QSet>
#include <QTimer>

#include <functional>

class RackEvents;

// The echoes one command waits for: each expected switch is ticked off when the board
// confirms it, and the command learns which never came within its time. Lives as a child of
// the connection that asked, so a client that goes away takes its wait with it.
class EchoWait : public QObject {
    Q_OBJECT
public:
    EchoWait(RackEvents& events, QObject* parent);

    // Before its frame goes out, so that no echo can come first.
    void expect(int tile, bool on);
    // done runs once, on a later turn of the event loop: when every expected echo has come, or
    // after timeoutMs with the tiles still missing one. The wait deletes itself afterwards.
    void finish(int timeoutMs, std::function<void(const QSet<int>& missing)> done);

private:
    void confirmed(int tile, bool on);
    void end();

    QList<QPair<int, bool>> expected_;
    std::function<void(const QSet<int>&)> done_;
    QTimer timer_;
};
