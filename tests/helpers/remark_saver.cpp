// Saves one remark through the program's real remark box and store, says "saved" once the
// program has spoken its success, then keeps running until it is killed: the test that
// starts it kills it at once, as a power cut would.
#include "app/program.h"
#include "fakes/fake_dialogs.h"
#include "fakes/fake_network.h"
#include "fakes/fake_speech.h"
#include "fakes/fake_tune.h"
#include "ops/screen_procedures.h"
#include "platform/event_loop_waits.h"
#include "platform/qt_serial_port.h"
#include "platform/thread_writer.h"
#include "ui/remark_box.h"
#include "ui/tab_control.h"
#include "ui/tile_numbering.h"

#include <QApplication>
#include <QTest>

#include <cstdio>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: remark_saver DIR TILE TEXT\n");
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[1]);
    const int tile = QByteArray(argv[2]).toInt();
    FakeSpeech speech;
    QtSerialPortFactory serialPorts(dir);
    EventLoopWaits waits;
    FakeDialogs dialogs;
    FakeNetwork network;
    FakeTune tune;
    ThreadWriter writer;
    Program program(Services{speech, serialPorts, waits, dialogs, network, tune, writer}, dir);
    program.window().show();
    program.window().activateWindow();
    if (!QTest::qWaitForWindowActive(&program.window()))
        return 3;
    // The tile area shows as once a board is found on the tile's link.
    linkFound(program.context(), tiles::linkOf(tile), QStringLiteral("端口"));
    program.window().ui().tileArea->setCurrentPage(tiles::linkOf(tile) - 1);
    RemarkBox* box = program.window().tile(tile).remarkBox;
    box->setFocus(Qt::OtherFocusReason);
    box->insert(QString::fromUtf8(argv[3]));
    const qsizetype said = speech.spoken.size();
    QTest::keyClick(box, Qt::Key_Return);
    // Said once the writer has answered that the remark is durable.
    const bool answered = QTest::qWaitFor([&] { return speech.spoken.size() > said; });
    if (!answered || speech.spoken.last() != QStringLiteral("保存成功")) {
        std::fprintf(stderr, "not saved: %s\n", qPrintable(speech.spoken.join(u',')));
        return 1;
    }
    std::printf("saved\n");
    std::fflush(stdout);
    return QApplication::exec();
}
