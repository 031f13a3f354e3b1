// Usage: screenshot [--screen WIDTHxHEIGHT] OUTPUT.png [SCENE]
// Renders the real main window, connected to simulated boards through the program's real serial
// code and waits, offscreen on a screen of the size given (1920x1080 unless told), or on the
// platform QT_QPA_PLATFORM names (a Wayland compositor, say) at that platform's screen size.
// The scenes:
//   window           three boards found, two slots switched on, the boards bound and a search
//                    made (the picture in the README);
//   eight-boards     a board on every hub link, so that all eight tab titles are long;
//   unbind-question  the question 解除绑定 asks, as the toolkit draws it in the program;
//   unconfirmed      a tile whose board did not echo its switch, and one still waiting;
//   lost-link        link 1's cable pulled with two slots on and one switch not echoed.
#include "offscreen_screen.h"
#include "quiet_services.h"

#include "app/program.h"
#include "app/toolkit_translations.h"
#include "hubsim/hub_rack.h"
#include "platform/event_loop_waits.h"
#include "platform/qt_dialogs.h"
#include "platform/qt_serial_port.h"
#include "platform/thread_writer.h"
#include "store/stores.h"
#include "tiles/tile_refill.h"
#include "ui/main_window.h"
#include "ui/remark_box.h"
#include "ui/styled_button.h"
#include "ui/text_box.h"

#include <QApplication>
#include <QComboBox>
#include <QCommandLineParser>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

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

bool save(QWidget& widget, const char* path) {
    if (widget.grab().save(QString::fromLocal8Bit(path)))
        return true;
    std::fprintf(stderr, "screenshot: cannot write %s\n", path);
    return false;
}

// Agrees to every question, as an operator would, until the one to be drawn comes up.
class SceneDialogs : public Dialogs {
public:
    Answer show(const QString& text, const QString& title, Icon icon, Buttons buttons,
                const QString& detail) override {
        Dialogs& dialogs = drawn ? static_cast<Dialogs&>(real) : agreeing;
        return dialogs.show(text, title, icon, buttons, detail);
    }
    bool drawn = false;

private:
    AgreeingDialogs agreeing;
    QtDialogs real;
};

bool switchOn(MainWindow& window, int tile) {
    StyledButton* button = window.tile(tile).button;
    button->click();
    if (QTest::qWaitFor([button] { return button->isLit(); }, 2000))
        return true;
    std::fprintf(stderr, "screenshot: tile %d was not switched on\n", tile);
    return false;
}

// The screen's size from "WIDTHxHEIGHT"; empty when the text is not one.
QSize screenSize(const QString& text) {
    const QStringList sides = text.split(QLatin1Char('x'));
    bool wide = false, high = false;
    const QSize size =
        sides.size() == 2 ? QSize(sides[0].toInt(&wide), sides[1].toInt(&high)) : QSize();
    return wide && high && !size.isEmpty() ? size : QSize();
}
} // namespace

int main(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    QCommandLineParser parser;
    // By default a screen larger than the design, so that the window takes its designed size.
    const QCommandLineOption screenOption(
        QStringLiteral("screen"), QStringLiteral("offscreen screen size"),
        QStringLiteral("WIDTHxHEIGHT"), QStringLiteral("1920x1080"));
    parser.addOption(screenOption);
    const bool parsed = parser.parse(arguments);
    const QStringList positional = parser.positionalArguments();
    const QByteArray scene =
        positional.size() == 2 ? positional[1].toLocal8Bit() : QByteArray("window");
    const QSize screenSide = screenSize(parser.value(screenOption));
    if (!parsed || positional.isEmpty() || positional.size() > 2 || screenSide.isEmpty() ||
        (scene != "window" && scene != "eight-boards" && scene != "unbind-question" &&
         scene != "unconfirmed" && scene != "lost-link")) {
        std::fputs("usage: screenshot [--screen WIDTHxHEIGHT] OUTPUT.png "
                   "[window|eight-boards|unbind-question|unconfirmed|lost-link]\n",
                   stderr);
        return 2;
    }
    const QByteArray output = positional[0].toLocal8Bit();
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    const bool offscreen = platform.isEmpty() || platform == "offscreen";
    const QString screenConfig =
        offscreen ? offscreen_screen::configure(screenSide.width(), screenSide.height())
                  : QString();
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    if (offscreen)
        QFile::remove(screenConfig);
    loadToolkitTranslations();
    QTemporaryDir dir;
    HubRack rack(dir.path());
    rack.addSilentPort(1);
    if (scene == "eight-boards") {
        for (int link = 0; link < LinkCount; ++link)
            rack.addBoard(2 + link, quint16(0xFFF8 + link));
    } else {
        rack.addBoard(2, 0x0102);
        rack.addBoard(4, 0x0203);
        rack.addBoard(6, 0x1A2B);
    }

    QuietSpeech speech;
    QtSerialPortFactory serialPorts(dir.path());
    EventLoopWaits waits;
    SceneDialogs dialogs;
    QuietNetwork network;
    QuietTune tune;
    ThreadWriter writer;
    Program program(Services{speech, serialPorts, waits, dialogs, network, tune, writer},
                    dir.path());
    MainWindow& window = program.window();

    storeRemarks(program.store(), dir.path() + stores::RemarkFile,
                 {{3, QStringLiteral("扫描仪")},
                  {10, QStringLiteral("打印机A")},
                  {11, QStringLiteral("工位3键盘")},
                  {12, QStringLiteral("三楼机房左侧打印机")}});
    program.state().fillMode = 1;
    refillTiles(program.context());
    program.store().closeTable(stores::RemarkAlias);

    window.show();
    window.fitDesignSize();
    window.ui().probeWaitList->setCurrentIndex(0);
    window.ui().connectButton->click();
    if (scene == "eight-boards")
        return save(window, output.constData()) ? 0 : 1;
    if (scene == "unconfirmed") {
        // Tile 5's board switches without an echo; tile 6's echo is on its way.
        rack.setFault(2, HubRack::Fault::DropEcho);
        window.tile(5).button->click();
        QTest::qWait(TileSwitches::ConfirmationMs + 200);
        rack.setFault(2, HubRack::Fault::LateReply, 5000);
        window.tile(6).button->click();
        QTest::qWait(50);
        return save(window, output.constData()) ? 0 : 1;
    }
    if (scene == "lost-link") {
        for (int tile : {3, 10})
            if (!switchOn(window, tile))
                return 1;
        rack.setFault(2, HubRack::Fault::DropEcho);
        window.tile(5).button->click();
        QTest::qWait(TileSwitches::ConfirmationMs + 200);
        rack.unplug(2);
        if (!QTest::qWaitFor([&] { return !program.rack().isFound(1); }, 2000)) {
            std::fputs("screenshot: link 1 was not lost\n", stderr);
            return 1;
        }
        QTest::qWait(50);
        return save(window, output.constData()) ? 0 : 1;
    }

    // The unbinding asks only while no tile is on.
    if (scene != "unbind-question") {
        for (int tile : {3, 10})
            if (!switchOn(window, tile))
                return 1;
    }
    window.ui().bindButton->click();
    if (scene == "unbind-question") {
        // The box waits for an answer; it is drawn once it is up, then declined.
        dialogs.drawn = true;
        bool saved = false;
        QTimer::singleShot(300, [&] {
            for (QWidget* widget : QApplication::topLevelWidgets()) {
                if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible()) {
                    saved = save(*box, output.constData());
                    box->reject();
                }
            }
        });
        window.ui().unbindButton->click();
        return saved ? 0 : 1;
    }
    window.ui().searchText->setText(QStringLiteral("打印"));
    window.ui().searchButton->click();
    QTest::qWait(50);
    return save(window, output.constData()) ? 0 : 1;
}
