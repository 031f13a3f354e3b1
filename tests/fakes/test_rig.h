#pragma once

#include "app/program.h"
#include "fakes/fake_dialogs.h"
#include "fakes/fake_network.h"
#include "fakes/fake_serial.h"
#include "fakes/fake_speech.h"
#include "fakes/fake_tune.h"
#include "fakes/fake_waits.h"
#include "fakes/inline_writer.h"
#include "hub/frame_codec.h"
#include "links/link_life.h"
#include "store/store_session.h"
#include "ui/drop_list.h"
#include "ui/text_box.h"

#include <QFile>
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
    FakeTune tune;
    InlineWriter writer;
    std::unique_ptr<Program> program;

    Program& start() {
        program = std::make_unique<Program>(
            Services{speech, serialPorts, waits, dialogs, network, tune, writer}, dir.path());
        return *program;
    }
    // Ends this run of the program; the directory stays for the next start().
    void stop() { program.reset(); }
    QString path(const QString& file) const { return dir.path() + file; }

    // A field of a store file as the file holds it now, read through a store of its own.
    QString storedField(const QString& file, const QString& alias, int record, int field) const {
        TableStore store{inlineWriter()};
        if (!store.openTable(path(file), alias) || !store.makeCurrent(alias))
            return QStringLiteral("<not open>");
        goToRecord(store, record);
        return store.currentRecordNumber() == record ? store.readField(field)
                                                     : QStringLiteral("<no record>");
    }
    int storedRecordCount(const QString& file, const QString& alias) const {
        TableStore store{inlineWriter()};
        if (!store.openTable(path(file), alias) || !store.makeCurrent(alias))
            return -1;
        return store.recordCount();
    }
    bool storeField(const QString& file, const QString& alias, int record, int field,
                    const QString& text) const {
        TableStore store{inlineWriter()};
        if (!store.openTable(path(file), alias) || !store.makeCurrent(alias))
            return false;
        goToRecord(store, record);
        return store.writeField(field, text);
    }

    // Puts a file that is no store where a store file belongs, as another program might.
    void replaceWithForeignFile(const QString& file, const QByteArray& bytes) const {
        QFile::remove(path(file));
        QFile foreign(path(file));
        QVERIFY(foreign.open(QIODevice::WriteOnly));
        QCOMPARE(foreign.write(bytes), bytes.size());
    }

    // The board on link answers with its device number, as in reply to a query.
    void answer(int link, quint16 deviceNumber) {
        for (char byte : FakeSerialBus::boardReply(deviceNumber, hex_to_bytes(frame::queryText(1))))
            emit program->port(link).byteArrived(quint8(byte));
    }

    // Link finds a board with this device number on serial port 10 + link, as a connect run
    // would: the port open, the board's answer in, the link found.
    void findBoard(int link, quint16 deviceNumber) {
        const int portNumber = 10 + link;
        bus.addBoard(portNumber, deviceNumber);
        program->port(link).setPortNumber(portNumber);
        QVERIFY(program->port(link).open());
        answer(link, deviceNumber);
        LinkLife(program->context()).found(link);
    }

    // Focus moves only in the active window.
    void showActive() {
        program->window().show();
        program->window().activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&program->window()));
    }

    // Leaves the stores of a first start, with a binding record of these device numbers.
    void bindAtFirstStart(const QStringList& deviceNumbers) {
        start();
        stop();
        TableStore store{inlineWriter()};
        QVERIFY(
            store.openTable(path(QStringLiteral("/端口数据库.edb")), QStringLiteral("端口绑定")));
        store.makeCurrent(QStringLiteral("端口绑定"));
        QVERIFY(store.appendRecord(deviceNumbers));
    }
};
