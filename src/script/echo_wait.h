#pragma once

#include <QList>
#include <QMap>
#include <QObject>
#include <QPair>
#include <QSet>
#include <QString>
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
    // The tile's frame did not go out after all.
    void forget(int tile);
    // done runs once: on a later turn of the event loop when every expected echo has come, or
    // after timeoutMs with the tiles still missing one; at once when the last tiles awaited
    // had their power cycles cut short (the window closes), with the reason of each. The wait
    // deletes itself afterwards.
    using Done = std::function<void(const QSet<int>& missing, const QMap<int, QString>& cutShort)>;
    void finish(int timeoutMs, Done done);

private:
    void confirmed(int tile, bool on);
    void cutShort(int tile, const QString& reason);
    void end();

    QList<QPair<int, bool>> expected_;
    Done done_;
    QMap<int, QString> cutShort_;
    QTimer timer_;
};
