#pragma once

#include "app/program.h"
#include "fakes/fake_dialogs.h"
#include "fakes/fake_network.h"
#include "fakes/fake_serial.h"
#include "fakes/fake_speech.h"
#include "fakes/fake_waits.h"

#include <QTemporaryDir>
#include <QTest>

#include <memory>

// A program on fake platform services in a fresh program directory of its own.
struct TestRig {
    QTemporaryDir dir;
    FakeSpeech speech;
    FakeSerialBus bus;
    FakeSerialPortFactory serialPorts{bus};
    FakeWaits waits{bus};
    FakeDialogs dialogs;
    FakeNetwork network;
    std::unique_ptr<Program> program;

    Program& start() {
        program = std::make_unique<Program>(Services{speech, serialPorts, waits, dialogs, network},
                                            dir.path());
        return *program;
    }
    // Ends this run of the program; the directory stays for the next start().
    void stop() { program.reset(); }
    QString path(const QString& file) const { return dir.path() + file; }

    // Leaves the stores of a first start, with a binding record of these device numbers.
    void bindAtFirstStart(const QStringList& deviceNumbers) {
        start();
        stop();
        TableStore store;
        QVERIFY(
            store.openTable(path(QStringLiteral("/端口数据库.edb")), QStringLiteral("端口绑定")));
        store.makeCurrent(QStringLiteral("端口绑定"));
        QVERIFY(store.appendRecord(deviceNumbers));
    }
};
