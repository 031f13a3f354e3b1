// Time from process start to the window shown and idle, and peak RSS, as medians over repeated
// process runs (offscreen), with both stores present (a second start) and on a first start.
#include "bench_stats.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

namespace {
struct Start {
    double ms;
    double rssMiB;
};

Start startOnce(const QString& child, const QString& dir) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process.setProcessEnvironment(environment);
    process.setStandardErrorFile(QProcess::nullDevice());
    QElapsedTimer timer;
    timer.start();
    process.start(child, {dir});
    while (!process.canReadLine() && process.waitForReadyRead(5000)) {
    }
    const double ms = double(timer.nsecsElapsed()) / 1e6;
    const QByteArray line = process.readLine().trimmed();
    process.waitForFinished(5000);
    return {ms, line.mid(5).toDouble() / 1024.0};
}
} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const QString child = QCoreApplication::applicationDirPath() + "/bench_startup_child";
    constexpr int Runs = 15;

    std::vector<double> firstMs, firstRss, secondMs, secondRss;
    for (int run = 0; run < Runs; ++run) {
        QTemporaryDir dir;
        const Start first = startOnce(child, dir.path());
        firstMs.push_back(first.ms);
        firstRss.push_back(first.rssMiB);
        const Start second = startOnce(child, dir.path());
        secondMs.push_back(second.ms);
        secondRss.push_back(second.rssMiB);
    }
    std::printf("Start-up, median of %d process runs each (offscreen)\n", Runs);
    report("process start to window shown and idle, stores present", median(secondMs), "ms",
           "< 100 ms");
    report("process start to window shown and idle, first start", median(firstMs), "ms", "-");
    report("peak RSS, stores present", median(secondRss), "MiB", "< 45 MiB");
    report("peak RSS, first start", median(firstRss), "MiB", "-");
    return 0;
}
