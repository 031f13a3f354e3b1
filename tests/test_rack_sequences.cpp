// Random sequences of what an operator does and what a rack does to the program (connects,
// disconnects, bindings, added boards, tile clicks, scripted switches, power cycles, view
// jumps, closing, clicks during a run's waits, cables pulled and plugged in elsewhere, boards
// swapped, echoes late or lost, the program killed and started again), run through the
// program's own handlers against simulated boards, with the rules that must hold checked after
// every step. RC_PARAMS sets the run: CI uses a fixed seed and 150 sequences;
// `RC_PARAMS="max_success=3000 max_size=100" build/tests/test_rack_sequences` runs longer.
#include "fakes/test_rig.h"
#include "store/stores.h"
#include "tiles/power_cycle.h"
#include "tiles/tile_click_rules.h"
#include "ui/drop_list.h"
#include "ui/styled_button.h"
#include "ui/tab_control.h"
#include "ui/tile_numbering.h"

#include <QPushButton>
#include <QTest>

#include <rapidcheck.h>
#include <rapidcheck/state.h>

#include <map>
#include <sstream>

namespace {
const QString Opened = QStringLiteral("已打开");

constexpr quint16 DeviceNumbers[] = {0x0102, 0x0203, 0x0304, 0x7777};
constexpr int RackPorts = 6;
// The tiles the sequences click: the first slots of the first three links.
constexpr int ClickedTiles[] = {1, 2, 3, 43, 44, 45, 85, 86, 87};

enum class Echo { Prompt, Dropped, Late };

// A board as the rack sees it: the slots it powers whatever its cable does, and what it does
// with the echo of a switch.
struct Board {
    quint16 deviceNumber = 0;
    int port = 0; // 0 while its cable is pulled
    std::array<bool, SlotsPerLink> powered{};
    Echo echo = Echo::Prompt;
    QList<QByteArray> lateEchoes;
};

bool wellFormed(const QByteArray& frame) {
    if (frame.size() != 12 || quint8(frame[0]) != 0xA5 || quint8(frame[1]) != 0xA6 ||
        quint8(frame[10]) != 0xA7 || quint8(frame[11]) != 0xA8)
        return false;
    const auto byte = [&frame](int i) { return int(quint8(frame[i])); };
    if (byte(2) == 0x80)
        return byte(9) == ((459 + byte(3)) & 0xFF);
    if (byte(2) != 0x81 || byte(6) != 0 || byte(7) < 1 || byte(7) > SlotsPerLink || byte(8) > 1)
        return false;
    const int sum = 460 + byte(8) + byte(3) + (byte(4) << 8 | byte(5)) + byte(7);
    return byte(9) == (sum & 0xFF);
}

// The program and its rack.
struct Rack {
    TestRig rig;
    std::map<quint16, Board> boards;
    QStringList faults;
    qsizetype checkedWrites = 0;
    // What the binding record must hold: the rule each step follows, worked out from what the
    // program shows as the step begins.
    QStringList binding = QStringList(LinkCount);

    Rack() {
        rig.bus.addPort(1); // a serial device that is no board
        for (quint16 number : DeviceNumbers)
            boards[number].deviceNumber = number;
        plug(0x0102, 2);
        plug(0x0203, 3);
        start();
    }

    void start() {
        rig.start();
        rig.dialogs.answers.clear();
    }

    void plug(quint16 number, int port) {
        Board* board = &boards[number];
        board->port = port;
        rig.bus.addPort(
            port, [this, board](const QByteArray& written) { return reply(*board, written); });
    }
    void unplug(quint16 number) {
        Board& board = boards[number];
        rig.bus.unplug(board.port);
        board.port = 0;
        board.lateEchoes.clear();
    }

    QByteArray reply(Board& board, const QByteArray& written) {
        if (!wellFormed(written)) {
            faults
                << QStringLiteral("malformed frame %1").arg(QString::fromLatin1(written.toHex()));
            return {};
        }
        if (quint8(written[2]) != 0x81)
            return FakeSerialBus::boardReply(board.deviceNumber, written);
        const quint16 addressed = quint16(quint8(written[4]) << 8 | quint8(written[5]));
        if (addressed != board.deviceNumber) {
            faults << QStringLiteral("switch frame for %1 reached board %2")
                          .arg(addressed, 4, 16)
                          .arg(board.deviceNumber, 4, 16);
            return {};
        }
        board.powered[size_t(quint8(written[7]) - 1)] = quint8(written[8]) == 1;
        if (board.echo == Echo::Dropped)
            return {};
        if (board.echo == Echo::Late) {
            board.lateEchoes << written;
            return {};
        }
        return written;
    }

    const Board* boardOnPort(int port) const {
        for (const auto& [number, board] : boards) {
            if (board.port == port && port != 0)
                return &board;
        }
        return nullptr;
    }

    QStringList bindingRecord() const {
        TableStore store;
        if (!store.openTable(rig.path(stores::BindingFile), stores::BindingAlias))
            return {};
        QStringList fields;
        for (int k = 1; k <= LinkCount; ++k)
            fields << store.readField(k, stores::BindingAlias);
        return fields;
    }

    // What the event loop runs between two steps: bytes on the lines, and the calls that fall
    // due meanwhile. Steps are taken to be at least the switch states' write delay apart, so a
    // kill loses only what a kill that late would.
    void settle() {
        rig.waits.processPendingEvents();
        rig.waits.advance(TileSwitches::SaveDelayMs);
    }

    // The rules that hold after every step.
    void check() {
        Program& program = *rig.program;
        for (; checkedWrites < rig.bus.writes.size(); ++checkedWrites) {
            const FakeSerialBus::Write& write = rig.bus.writes[checkedWrites];
            RC_ASSERT(wellFormed(write.bytes));
        }
        RC_ASSERT(faults.isEmpty());
        for (int tile = 1; tile <= TileCount; ++tile) {
            if (program.window().tile(tile).button->text() != Opened)
                continue;
            const LinkState& link = program.state().links[size_t(tiles::linkOf(tile) - 1)];
            if (!link.isFound())
                continue;
            // A found link's tile that reads on is on at the board its link holds.
            const Board* board = boardOnPort(hex_to_int(link.address));
            RC_ASSERT(board != nullptr);
            RC_ASSERT(QString::asprintf("%04X", board->deviceNumber) == link.deviceNumber);
            RC_ASSERT(board->powered[size_t(tiles::slotOf(tile) - 1)]);
        }
        for (int k = 1; k <= LinkCount; ++k) {
            const LinkState& link = program.state().links[size_t(k - 1)];
            // A link holds a port exactly while it is found, and only the port it found.
            RC_ASSERT(link.isFound() == !link.address.isEmpty());
            if (link.isFound())
                RC_ASSERT(program.port(k).openPortNumber() == hex_to_int(link.address));
            else
                RC_ASSERT(!program.port(k).isOpen());
        }
    }

    // Whatever tiles on found links read on are switched off, as an operator would before
    // going home; then the window closes.
    void switchOffAndClose() {
        for (auto& [number, board] : boards)
            board.echo = Echo::Prompt;
        for (int tile = 1; tile <= TileCount; ++tile) {
            StyledButton& button = *rig.program->window().tile(tile).button;
            const LinkState& link = rig.program->state().links[size_t(tiles::linkOf(tile) - 1)];
            if (button.text() == Opened && link.isFound()) {
                RC_ASSERT(
                    rig.program->window().ui().tileArea->setCurrentPage(tiles::linkOf(tile) - 1));
                button.click();
                settle();
            }
        }
        rig.dialogs.answers = {Dialogs::Answer::Yes};
        RC_ASSERT(rig.program->window().close());
    }
};

// The model: what the rack looks like, so that steps that need a board plugged in or a free
// port are only drawn when they can run.
struct Model {
    std::map<quint16, int> ports{{0x0102, 2}, {0x0203, 3}, {0x0304, 0}, {0x7777, 0}};
    std::map<quint16, Echo> echoes{{0x0102, Echo::Prompt},
                                   {0x0203, Echo::Prompt},
                                   {0x0304, Echo::Prompt},
                                   {0x7777, Echo::Prompt}};

    bool portFree(int port) const {
        for (const auto& [number, held] : ports) {
            if (held == port)
                return false;
        }
        return port != 1;
    }
};

using Command = rc::state::Command<Model, Rack>;

int anyClickedTile() {
    return *rc::gen::elementOf(std::vector<int>(std::begin(ClickedTiles), std::end(ClickedTiles)));
}
quint16 anyBoard() {
    return *rc::gen::elementOf(
        std::vector<quint16>(std::begin(DeviceNumbers), std::end(DeviceNumbers)));
}

struct Step : Command {
    void run(const Model&, Rack& rack) const override {
        act(rack, rack.binding);
        rack.settle();
        rack.check();
        RC_ASSERT(rack.bindingRecord() == rack.binding);
    }
    void apply(Model& model) const override { applyToRack(model); }
    virtual void act(Rack& rack, QStringList& binding) const = 0;
    virtual void applyToRack(Model&) const {}
};

struct Connect : Step {
    void act(Rack& rack, QStringList&) const override {
        rack.rig.program->window().ui().connectButton->click();
    }
    void show(std::ostream& os) const override { os << "connect"; }
};

// The operator does something while a run waits after one of its probes: clicks a tile,
// stops the run, or clicks connect again (a run nested in the first).
struct ConnectAndActDuringAWait : Step {
    enum class During { ClickTile, Disconnect, Connect };
    During during = *rc::gen::element(During::ClickTile, During::Disconnect, During::Connect);
    int atWait = *rc::gen::inRange(0, 60);
    int tile = anyClickedTile();
    void act(Rack& rack, QStringList&) const override {
        MainWindow& window = rack.rig.program->window();
        const qsizetype first = rack.rig.waits.waits.size();
        rack.rig.waits.duringWait = [&, first, done = false](int wait) mutable {
            if (done || wait - first < atWait)
                return;
            done = true;
            if (during == During::ClickTile)
                window.tile(tile).button->click();
            else if (during == During::Disconnect)
                window.ui().disconnectButton->click();
            else
                window.ui().connectButton->click();
        };
        window.ui().connectButton->click();
        rack.rig.waits.duringWait = nullptr;
    }
    void show(std::ostream& os) const override {
        static const char* names[] = {"click tile", "disconnect", "connect"};
        os << "connect, and at wait " << atWait << " " << names[int(during)];
        if (during == During::ClickTile)
            os << " " << tile;
    }
};

struct Disconnect : Step {
    void act(Rack& rack, QStringList&) const override {
        rack.rig.program->window().ui().disconnectButton->click();
    }
    void show(std::ostream& os) const override { os << "disconnect"; }
};

struct Bind : Step {
    void act(Rack& rack, QStringList& binding) const override {
        const auto& ui = rack.rig.program->window().ui();
        if (!ui.bindButton->isEnabled())
            return;
        const auto& links = rack.rig.program->state().links;
        QStringList found;
        bool any = false;
        for (const LinkState& link : links) {
            found << (link.isFound() ? link.deviceNumber : QString());
            any = any || link.isFound();
        }
        rack.rig.dialogs.answers = {Dialogs::Answer::Yes};
        ui.bindButton->click();
        if (any)
            binding = found;
    }
    void show(std::ostream& os) const override { os << "bind"; }
};

struct Unbind : Step {
    void act(Rack& rack, QStringList& binding) const override {
        const auto& ui = rack.rig.program->window().ui();
        if (!ui.unbindButton->isEnabled())
            return;
        bool anyOn = false;
        for (int tile = 1; tile <= TileCount; ++tile)
            anyOn = anyOn || rack.rig.program->window().tile(tile).button->text() == Opened;
        rack.rig.dialogs.answers = {Dialogs::Answer::Yes};
        ui.unbindButton->click();
        if (!anyOn)
            binding = QStringList(LinkCount);
    }
    void show(std::ostream& os) const override { os << "unbind"; }
};

struct AddDevice : Step {
    void act(Rack& rack, QStringList& binding) const override {
        const auto& ui = rack.rig.program->window().ui();
        if (!ui.addDeviceButton->isEnabled())
            return;
        const bool bindStage = ui.addDeviceButton->text() != QStringLiteral("添加设备");
        if (bindStage) {
            const auto& links = rack.rig.program->state().links;
            for (int k = 0; k < LinkCount; ++k) {
                if (binding[k].isEmpty() && links[size_t(k)].isFound())
                    binding[k] = links[size_t(k)].deviceNumber;
            }
        }
        ui.addDeviceButton->click();
    }
    void show(std::ostream& os) const override { os << "add device"; }
};

struct ClickTile : Step {
    int tile;
    ClickTile() : tile(anyClickedTile()) {}
    explicit ClickTile(int clicked) : tile(clicked) {}
    void act(Rack& rack, QStringList&) const override {
        // A person reaches a tile through its page's tab, on a tile area that is shown.
        MainWindow& window = rack.rig.program->window();
        TabControl& area = *window.ui().tileArea;
        if (area.isVisibleTo(&window) && area.setCurrentPage(tiles::linkOf(tile) - 1))
            window.tile(tile).button->click();
    }
    void show(std::ostream& os) const override { os << "click tile " << tile; }
};

// A script switches the tile through the control channel's way in: the same click, with no
// page to reach first.
struct ScriptSwitch : Step {
    int tile = anyClickedTile();
    void act(Rack& rack, QStringList&) const override {
        tile_click_rules::click(rack.rig.program->context(), tile, RackEvents::Cause::Script);
    }
    void show(std::ostream& os) const override { os << "script switches tile " << tile; }
};

// 断电重启 from the tile's context menu.
struct PowerCycleTile : Step {
    int tile = anyClickedTile();
    void act(Rack& rack, QStringList&) const override {
        PowerCycle(rack.rig.program->context())
            .onCycleChosen(rack.rig.program->window().tile(tile).button);
    }
    void show(std::ostream& os) const override { os << "power cycle tile " << tile; }
};

struct ViewJump : Step {
    int tile = anyClickedTile();
    void act(Rack& rack, QStringList&) const override {
        const auto& ui = rack.rig.program->window().ui();
        ui.searchResults->clear();
        ui.searchResults->addItem(QString::number(tile) + QStringLiteral(":找到"));
        ui.searchResults->setCurrentIndex(0);
        const int before = ui.tileArea->currentPage();
        const bool available = ui.tileArea->isPageEnabled(tiles::linkOf(tile) - 1);
        ui.viewButton->click();
        // No jump makes an unavailable page current.
        if (!available)
            RC_ASSERT(ui.tileArea->currentPage() == before);
    }
    void show(std::ostream& os) const override { os << "view jump to " << tile; }
};

struct TryClose : Step {
    bool yes = *rc::gen::arbitrary<bool>();
    void act(Rack& rack, QStringList&) const override {
        int switchable = 0;
        for (int tile = 1; tile <= TileCount; ++tile) {
            const LinkState& link =
                rack.rig.program->state().links[size_t(tiles::linkOf(tile) - 1)];
            if (rack.rig.program->window().tile(tile).button->text() == Opened && link.isFound())
                ++switchable;
        }
        rack.rig.dialogs.answers = {yes ? Dialogs::Answer::Yes : Dialogs::Answer::No};
        const bool closed = rack.rig.program->window().close();
        // Refused only while a board can still be told to switch a tile off.
        if (switchable == 0 && yes)
            RC_ASSERT(closed);
        if (switchable > 0)
            RC_ASSERT(!closed);
        if (closed) {
            rack.rig.stop();
            rack.start();
        }
    }
    void show(std::ostream& os) const override {
        os << "close, answering " << (yes ? "yes" : "no");
    }
};

struct Kill : Step {
    void act(Rack& rack, QStringList&) const override {
        // What was not written yet is what a kill loses.
        rack.rig.program->state().unsavedSwitchStates.clear();
        rack.rig.stop();
        rack.start();
    }
    void show(std::ostream& os) const override { os << "kill and start again"; }
};

struct Unplug : Step {
    quint16 board;
    Unplug() : board(anyBoard()) {}
    explicit Unplug(quint16 pulled) : board(pulled) {}
    void checkPreconditions(const Model& model) const override {
        RC_PRE(model.ports.at(board) != 0);
    }
    void act(Rack& rack, QStringList&) const override { rack.unplug(board); }
    void applyToRack(Model& model) const override { model.ports[board] = 0; }
    void show(std::ostream& os) const override { os << "unplug " << std::hex << board << std::dec; }
};

struct Plug : Step {
    quint16 board = anyBoard();
    int port = *rc::gen::inRange(2, RackPorts + 1);
    void checkPreconditions(const Model& model) const override {
        RC_PRE(model.ports.at(board) == 0);
        RC_PRE(model.portFree(port));
    }
    void act(Rack& rack, QStringList&) const override { rack.plug(board, port); }
    void applyToRack(Model& model) const override { model.ports[board] = port; }
    void show(std::ostream& os) const override {
        os << "plug " << std::hex << board << std::dec << " into port " << port;
    }
};

struct SetEcho : Step {
    quint16 board = anyBoard();
    Echo echo = *rc::gen::element(Echo::Prompt, Echo::Dropped, Echo::Late);
    void act(Rack& rack, QStringList&) const override { rack.boards[board].echo = echo; }
    void applyToRack(Model& model) const override { model.echoes[board] = echo; }
    void show(std::ostream& os) const override {
        static const char* names[] = {"prompt", "dropped", "late"};
        os << "echoes of " << std::hex << board << std::dec << " " << names[int(echo)];
    }
};

// The late echoes arrive, after the confirmation time.
struct LateEchoesArrive : Step {
    void act(Rack& rack, QStringList&) const override {
        rack.rig.waits.advance(TileSwitches::ConfirmationMs + 100);
        for (auto& [number, board] : rack.boards) {
            for (const QByteArray& echo : std::exchange(board.lateEchoes, {}))
                rack.rig.bus.feed(board.port, echo);
        }
    }
    void show(std::ostream& os) const override { os << "late echoes arrive"; }
};

void runSequence() {
    Model model;
    Rack rack;
    rc::state::check(
        model, rack,
        rc::state::gen::execOneOfWithArgs<Connect, Connect, ConnectAndActDuringAWait, Disconnect,
                                          Bind, Unbind, AddDevice, ClickTile, ClickTile, ClickTile,
                                          ViewJump, TryClose, Kill, Unplug, Plug, SetEcho,
                                          LateEchoesArrive>());
    // However the sequence left the rack, the operator can switch off and go home.
    rack.switchOffAndClose();
}

// Runs steps on a fresh rack and checks what every sequence must end with; false when a rule
// broke on the way.
bool runsThrough(const std::vector<std::shared_ptr<const Command>>& steps) {
    try {
        Model model;
        Rack rack;
        for (const auto& step : steps)
            step->run(model, rack);
        rack.switchOffAndClose();
        return true;
    } catch (...) {
        return false;
    }
}

template <typename Step, typename... Args> std::shared_ptr<const Command> step(Args... args) {
    return std::make_shared<Step>(args...);
}
} // namespace

class RackSequencesTest : public QObject {
    Q_OBJECT
private slots:
    void randomSequences_keepTheWindowTrueAndClosable() {
        QVERIFY(rc::check("random operator actions and rack events", runSequence));
    }

    // Sequences the random runs once shrank a failure to, kept as they were found.
    void tileOnThenItsBoardUnplugged_theWindowStillCloses() {
        QVERIFY(runsThrough({step<Connect>(), step<ClickTile>(2), step<Unplug>(quint16(0x0102))}));
    }
};

QTEST_MAIN(RackSequencesTest)
#include "test_rack_sequences.moc"
