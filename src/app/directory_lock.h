#pragma once

#include <QString>

// The one program that uses a store directory holds an flock on a file in it. The kernel lets
// go of it however the program ends, so the lock of a killed program never blocks the next
// start. The file also tells scripts' clients why the program's control channel is missing.
class DirectoryLock {
public:
    explicit DirectoryLock(const QString& storeDir);
    ~DirectoryLock();
    DirectoryLock(const DirectoryLock&) = delete;
    DirectoryLock& operator=(const DirectoryLock&) = delete;

    // False while another process holds the lock. A directory where no lock file can be made
    // is taken without one: the program runs, only unguarded.
    bool take();
    // Kept in the lock file for as long as this program runs.
    void noteChannelProblem(const QString& reason);

private:
    void write(const QByteArray& text);

    QString path_;
    int fd_ = -1;
};
