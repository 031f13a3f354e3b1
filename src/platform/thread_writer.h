#pragma once

#include "platform/background_writer.h"

#include <QObject>
#include <QPointer>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

// Runs the writes on a thread of its own. Answers are posted to their receivers and run on a
// later turn of the receiver's event loop.
class ThreadWriter : public BackgroundWriter {
public:
    // Enough for every tile switched one at a time twice over behind a disk that stalls; beyond
    // it a write is refused rather than the window's memory left to grow.
    static constexpr std::size_t MaxQueued = 1024;

    ThreadWriter();
    // Finishes every accepted write first: nothing the program was told is queued gets lost.
    ~ThreadWriter() override;
    ThreadWriter(const ThreadWriter&) = delete;
    ThreadWriter& operator=(const ThreadWriter&) = delete;

    bool submit(Work work, QObject* receiver, Answer answer) override;
    // Their answers are posted by then.
    void drain() override;

private:
    struct Job {
        Work work;
        QPointer<QObject> receiver;
        Answer answer;
    };
    void run();

    // Lives on the thread that made the writer, where the receivers are looked at.
    QObject answers_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::deque<Job> jobs_;
    bool busy_ = false;
    bool stopping_ = false;
    std::thread thread_;
};
