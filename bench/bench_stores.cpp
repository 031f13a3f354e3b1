// The store work of start-up and of a remark save: the tile refill, the 339-record
// initialisation, one remark write, a whole remark save as the Enter key runs it, the open
// and close that every echo's list line costs, and the joint change of both stores that an
// unbind makes. Writes are timed until the writer has answered that they are durable.
#include "bench_program.h"
#include "bench_stats.h"

#include "app/program.h"
#include "platform/event_loop_waits.h"
#include "platform/qt_serial_port.h"
#include "store/stores.h"
#include "tiles/tile_refill.h"

#include <QApplication>
#include <QEventLoop>
#include <QTemporaryDir>

#include <algorithm>

namespace {
// Milliseconds from the start of write until its answer, and whether that said durable.
template <typename Write> double untilAnswered(Write&& write, bool& landed) {
    QEventLoop loop;
    QElapsedTimer timer;
    timer.start();
    double ms = -1;
    write([&](bool done) {
        landed = done;
        ms = double(timer.nsecsElapsed()) / 1e6;
        loop.quit();
    });
    if (ms < 0)
        loop.exec();
    return ms;
}
} // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    QuietProgram quiet(dir.path());
    Program& program = quiet.program;
    TableStore& store = program.store();
    const QString remarkPath = dir.path() + stores::RemarkFile;

    std::vector<double> refill, write, openClose;
    for (int run = 0; run < 100; ++run) {
        store.openTable(remarkPath, stores::RemarkAlias);
        store.makeCurrent(stores::RemarkAlias);
        store.goToFirstRecord();
        program.state().fillMode = 1;
        refill.push_back(timeMs([&] { refillTiles(program.context()); }));
        store.goToFirstRecord();
        for (int r = 1; r < 1 + run % 300; ++r)
            store.skip();
        bool written = false;
        write.push_back(untilAnswered(
            [&](const TableStore::Answer& done) {
                TableStore::Batch batch(store);
                store.writeField(stores::RemarkField, QStringLiteral("备注%1").arg(run));
                batch.commit(done);
            },
            written));
        if (!written) {
            std::fprintf(stderr, "bench_stores: the remark write failed\n");
            return 1;
        }
        store.closeTable(stores::RemarkAlias);
        openClose.push_back(timeMs([&] {
            store.openTable(remarkPath, stores::RemarkAlias);
            store.closeTable(stores::RemarkAlias);
        }));
    }

    // Open, walk to the tile's record, write its remark, close: one sync-bound commit of a
    // single field into the file itself.
    std::vector<double> save;
    for (int run = 0; run < 100; ++run) {
        const int tile = 1 + run * 37 % 336;
        bool written = false;
        save.push_back(untilAnswered(
            [&](const TableStore::Answer& done) {
                store.openTable(remarkPath, stores::RemarkAlias);
                store.makeCurrent(stores::RemarkAlias);
                store.goToFirstRecord();
                for (int i = 1; i < tile; ++i)
                    store.skip();
                {
                    TableStore::Batch batch(store);
                    store.writeField(stores::RemarkField, QStringLiteral("保存%1").arg(run));
                    batch.commit(done);
                }
                store.goToFirstRecord();
                store.closeTable(stores::RemarkAlias);
            },
            written));
        if (!written) {
            std::fprintf(stderr, "bench_stores: the remark save failed\n");
            return 1;
        }
    }

    std::vector<double> initialise;
    for (int run = 0; run < 30; ++run) {
        QTemporaryDir fresh;
        const QString path = fresh.path() + stores::RemarkFile;
        TableStore freshStore{quiet.writer};
        freshStore.createTable(path, program.state().remarkFieldDefinitions);
        freshStore.openTable(path, stores::RemarkAlias);
        freshStore.makeCurrent(stores::RemarkAlias);
        bool written = false;
        initialise.push_back(untilAnswered(
            [&](const TableStore::Answer& done) { stores::initialiseRemarks(freshStore, done); },
            written));
    }

    // Both stores emptied and the remark store initialised again, committed together.
    std::vector<double> together;
    const QString bindingPath = dir.path() + stores::BindingFile;
    for (int run = 0; run < 30; ++run) {
        store.openTable(remarkPath, stores::RemarkAlias);
        store.openTable(bindingPath, stores::BindingAlias);
        store.makeCurrent(stores::BindingAlias);
        store.appendRecord({QStringLiteral("0101")});
        bool written = false;
        together.push_back(untilAnswered(
            [&](const TableStore::Answer& done) {
                store.writeTogether(
                    {stores::BindingAlias, stores::RemarkAlias},
                    [&] {
                        store.makeCurrent(stores::BindingAlias);
                        if (!store.emptyTable())
                            return false;
                        store.makeCurrent(stores::RemarkAlias);
                        return store.emptyTable() && stores::initialiseRemarks(store);
                    },
                    done);
            },
            written));
        store.closeTable(stores::RemarkAlias);
        store.closeTable(stores::BindingAlias);
        if (!written) {
            std::fprintf(stderr, "bench_stores: the joint change failed\n");
            return 1;
        }
    }

    std::printf("Stores, medians\n");
    report("tile refill of 336 remark boxes", median(refill), "ms", "< 2 ms");
    report("339-record initialisation (one transaction)", median(initialise), "ms", "< 10 ms");
    report("one remark-record write (committed and synced)", median(write), "ms", "-");
    report("one remark save (open, go to record N, write, close)", median(save), "ms", "< 10 ms");
    report("  slowest of 100 remark saves", *std::max_element(save.begin(), save.end()), "ms", "-");
    report("remark store open and close", median(openClose), "ms", "-");
    report("both stores emptied and remarks initialised, together", median(together), "ms", "-");
    return 0;
}
