#pragma once

#include <QFile>
#include <QSet>

#include <cstdio>
#include <sys/resource.h>

// What a start-up child reports once its window is shown and idle: "idle <peak RSS in KiB>
// <shared libraries loaded>".
inline void printIdleFigures() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    QSet<QByteArray> libraries;
    QFile maps(QStringLiteral("/proc/self/maps"));
    if (maps.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : maps.readAll().split('\n')) {
            const qsizetype path = line.indexOf('/');
            if (path >= 0 && line.indexOf(".so", path) >= 0)
                libraries.insert(line.mid(path));
        }
    }
    std::printf("idle %ld %lld\n", usage.ru_maxrss, static_cast<long long>(libraries.size()));
    std::fflush(stdout);
}
