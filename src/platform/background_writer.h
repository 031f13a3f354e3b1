#pragma once

#include <functional>

class QObject;

// Where the program's durable writes run, so that a slow disk's syncs never hold up the window.
// Work runs one piece at a time in the order it was accepted; its answer comes back on the
// thread that handed it over.
class BackgroundWriter {
public:
    using Work = std::function<bool()>;
    using Answer = std::function<void(bool done)>;

    virtual ~BackgroundWriter() = default;
    // Queues work behind everything accepted before; answer runs with what work returned, on
    // receiver's thread, unless receiver is gone by then. False, and neither runs, when the
    // queue is full.
    virtual bool submit(Work work, QObject* receiver, Answer answer) = 0;
    // Returns once every write accepted so far has run.
    virtual void drain() = 0;
};
