#pragma once

#include <QFile>
#include <QString>
#include <QStringList>

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

// Takes the write permission of files away from this process for as long as it lives: their
// write bits go, and root gives up its override of file modes on this thread, since it could
// otherwise write to them anyway. Everything is given back at the end.
class WriteProtection {
public:
    explicit WriteProtection(const QStringList& paths) : paths_(paths) {
        for (const QString& path : paths_)
            QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
        if (::syscall(SYS_capget, &header_, saved_) != 0)
            return;
        __user_cap_data_struct reduced[2] = {saved_[0], saved_[1]};
        reduced[0].effective &= ~(1u << CAP_DAC_OVERRIDE);
        dropped_ = ::syscall(SYS_capset, &header_, reduced) == 0;
    }
    ~WriteProtection() {
        if (dropped_)
            ::syscall(SYS_capset, &header_, saved_);
        for (const QString& path : paths_)
            QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                            QFile::ReadOther);
    }
    WriteProtection(const WriteProtection&) = delete;
    WriteProtection& operator=(const WriteProtection&) = delete;

    // Whether a file opened for writing is now refused, as the protection promises.
    static bool refuses(const QString& path) {
        QFile file(path);
        return !file.open(QIODevice::ReadWrite);
    }

private:
    QStringList paths_;
    __user_cap_header_struct header_{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct saved_[2]{};
    bool dropped_ = false;
};
