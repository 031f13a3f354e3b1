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
    // The tiles whose expected switches did not all come true.
    struct Missing {
        // A frame went out, its echo did not come in time.
        QSet<int> unechoed;
        // The frame never went out: the click that was to send it was not made or sent nothing
        // (a window closing, a board lost during a power cycle's off time).
        QSet<int> unsent;
    };

    EchoWait(RackEvents& events, QObject* parent);

    // Before its frame goes out, so that no echo can come first.
    void expect(int tile, bool on);
    // After every click of the command: a switch not sent by then never will be. done runs
    // once, on a later turn of the event loop: when every expected echo has come, or after
    // timeoutMs with some still missing. The wait deletes itself afterwards.
    void finish(int timeoutMs, std::function<void(const Missing&)> done);

private:
    void requested(int tile, bool on);
    void confirmed(int tile, bool on);
    void end();

    QList<QPair<int, bool>> expected_;
    QSet<QPair<int, bool>> sent_;
    Missing missing_;
    std::function<void(const Missing&)> done_;
    QTimer timer_;
};
