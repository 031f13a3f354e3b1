#include "platform/thread_writer.h"

#include <QMetaObject>

ThreadWriter::ThreadWriter() : thread_([this] { run(); }) {}

ThreadWriter::~ThreadWriter() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

bool ThreadWriter::submit(Work work, QObject* receiver, Answer answer) {
    {
        const std::lock_guard lock(mutex_);
        if (jobs_.size() >= MaxQueued || stopping_)
            return false;
        jobs_.push_back({std::move(work), receiver, std::move(answer)});
    }
    wake_.notify_one();
    return true;
}

void ThreadWriter::drain() {
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return jobs_.empty() && !busy_; });
}

// The queue is emptied before the thread ends, so a write accepted just before the program
// closes still lands.
void ThreadWriter::run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
        if (jobs_.empty())
            return;
        Job job = std::move(jobs_.front());
        jobs_.pop_front();
        busy_ = true;
        lock.unlock();
        const bool done = job.work();
        // Whether the receiver is still there is asked on its own thread, where it may go.
        if (job.answer) {
            QMetaObject::invokeMethod(
                &answers_,
                [receiver = std::move(job.receiver), answer = std::move(job.answer), done] {
                    if (receiver)
                        answer(done);
                },
                Qt::QueuedConnection);
        }
        job = {};
        lock.lock();
        busy_ = false;
        if (jobs_.empty())
            idle_.notify_all();
    }
}
