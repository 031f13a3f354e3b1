// Time from process start to the window shown and idle, peak RSS and shared libraries loaded:
// the program (bench_startup_child, as main() starts it) side by side with its baseline, a
// bare Qt window with the same controls (bench_startup_bare), in alternating pairs of
// process runs (offscreen) so that both meet the same load on the machine. The program starts
// with both stores present (a second start); first starts are measured as well.
#include "bench_stats.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

namespace {
struct Start {
    double ms;
    double rssMiB;
    double libraries;
};

Start startOnce(const QString& child, const QStringList& arguments) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process.setProcessEnvironment(environment);
    process.setStandardErrorFile(QProcess::nullDevice());
    QElapsedTimer timer;
    timer.start();
    process.start(child, arguments);
    while (!process.canReadLine() && process.waitForReadyRead(5000)) {
    }
    const double ms = double(timer.nsecsElapsed()) / 1e6;
    // "idle <peak RSS in KiB> <libraries>"
    const QList<QByteArray> figures = process.readLine().trimmed().split(' ');
    process.waitForFinished(5000);
    if (figures.size() != 3)
        return {ms, 0, 0};
    return {ms, figures[1].toDouble() / 1024.0, figures[2].toDouble()};
}

struct Series {
    std::vector<double> ms, rssMiB, libraries;
    void add(const Start& start) {
        ms.push_back(start.ms);
        rssMiB.push_back(start.rssMiB);
        libraries.push_back(start.libraries);
    }
};
} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const QString directory = QCoreApplication::applicationDirPath();
    const QString program = directory + "/bench_startup_child";
    const QString bare = directory + "/bench_startup_bare";
    constexpr int Pairs = 21;

    Series first, second, baseline;
    std::vector<double> timeRatio, rssExtra;
    for (int pair = 0; pair < Pairs; ++pair) {
        QTemporaryDir dir;
        first.add(startOnce(program, {dir.path()}));
        const Start bareStart = startOnce(bare, {});
        const Start programStart = startOnce(program, {dir.path()});
        baseline.add(bareStart);
        second.add(programStart);
        timeRatio.push_back(programStart.ms / bareStart.ms);
        rssExtra.push_back(programStart.rssMiB - bareStart.rssMiB);
    }
    std::printf("Start-up against a bare window with the same controls, median of %d pairs of "
                "process runs (offscreen)\n",
                Pairs);
    report("bare window: process start to shown and idle", median(baseline.ms), "ms", "-");
    report("program: process start to shown and idle, stores present", median(second.ms), "ms",
           "< 100 ms");
    report("program / bare window, wall time (median of pair ratios)", median(timeRatio), "x",
           "<= 1.1");
    report("bare window: peak RSS", median(baseline.rssMiB), "MiB", "-");
    report("program: peak RSS, stores present", median(second.rssMiB), "MiB", "< 45 MiB");
    report("program - bare window, peak RSS (median of pair differences)", median(rssExtra), "MiB",
           "<= +4 MiB");
    report("program / bare window, peak RSS", median(second.rssMiB) / median(baseline.rssMiB), "x",
           "-");
    report("bare window: shared libraries loaded", median(baseline.libraries), "", "-");
    report("program: shared libraries loaded", median(second.libraries), "", "-");
    report("program: process start to shown and idle, first start", median(first.ms), "ms", "-");
    report("program: peak RSS, first start", median(first.rssMiB), "MiB", "-");
    return 0;
}
