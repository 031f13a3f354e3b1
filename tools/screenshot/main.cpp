// Usage: screenshot OUTPUT.png
// Renders the real main window offscreen after a connect run has found simulated boards and
// two slots have been switched on, the boards bound and a search made, through the program's real
// serial code and waits.
#include "offscreen_screen.h"
#include "quiet_services.h"

#include "app/program.h"
#include "hubsim/hub_rack.h"
#include "platform/event_loop_waits.h"
#include "platform/qt_serial_port.h"
#include "store/stores.h"
#include "store/tile_refill.h"
#include "ui/main_window.h"
#include "ui/remark_box.h"
#include "ui/styled_button.h"
#include "ui/text_box.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

namespace {
void storeRemarks(TableStore& store, const QString& path,
                  const QList<QPair<int, QString>>& remarks) {
    store.openTable(path, stores::RemarkAlias);
    store.makeCurrent(stores::RemarkAlias);
    for (const auto& [tile, remark] : remarks) {
        store.goToFirstRecord();
        for (int record = 1; record < tile; ++record)
            store.skip();
        store.writeField(stores::RemarkField, remark);
    }
    store.goToFirstRecord();
}
} // namespace

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::fputs("usage: screenshot OUTPUT.png\n", stderr);
        return 2;
    }
    // A screen larger than the design, so that the window takes its designed size.
    const QString screen = offscreen_screen::configure(1920, 1080);
    QApplication app(argc, argv);
    QFile::remove(screen);
    QTemporaryDir dir;
    HubRack rack(dir.path());
    rack.addSilentPort(1);
    rack.addBoard(2, 0x0102);
    rack.addBoard(4, 0x0203);
    rack.addBoard(6, 0x1A2B);

    QuietSpeech speech;
    QtSerialPortFactory serialPorts(dir.path());
    EventLoopWaits waits;
    AgreeingDialogs dialogs;
    QuietNetwork network;
    QuietTune tune;
    Program program(Services{speech, serialPorts, waits, dialogs, network, tune}, dir.path());
    MainWindow& window = program.window();

    storeRemarks(program.store(), dir.path() + stores::RemarkFile,
                 {{3, QStringLiteral("扫描仪")},
                  {10, QStringLiteral("打印机A")},
                  {11, QStringLiteral("工位3键盘")}});
    program.state().fillMode = 1;
    refillTiles(program.context());
    program.store().closeTable(stores::RemarkAlias);

    window.show();
    window.fitDesignSize();
    window.ui().probeWaitList->setCurrentIndex(0);
    window.ui().connectButton->click();
    for (int tile : {3, 10}) {
        StyledButton* button = window.tile(tile).button;
        button->click();
        if (!QTest::qWaitFor([button] { return button->isLit(); }, 2000)) {
            std::fprintf(stderr, "screenshot: tile %d was not switched on\n", tile);
            return 1;
        }
    }
    window.ui().bindButton->click();
    window.ui().searchText->setText(QStringLiteral("打印"));
    window.ui().searchButton->click();
    QTest::qWait(50);
    if (!window.grab().save(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "screenshot: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
