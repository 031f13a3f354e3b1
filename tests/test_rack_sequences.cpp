// Random sequences of what an operator does and what a rack does to the program (connects,
// disconnects, bindings, added boards, tile clicks, scripted switches and cycles, power cycles,
// view jumps, closing, clicks during a run's waits, echoes and scripts while a question is open,
// a script's remark while the operator types, cables pulled and plugged in elsewhere, a board
// taking another's port, two boards with one device number, echoes late or lost, the program
// killed and started again with the boards on other ports), run through the program's own
// handlers against simulated boards, with the rules that must hold checked after every step,
// both ways: what the window and scripts say is what the boards have, and what the boards have
// is what they say. The run prints how often each step ran and fails when one never ran.
// RC_PARAMS sets the run: CI uses a fixed seed and 150 sequences; the README gives the longer
// run.
#include "fakes/inline_writer.h"
#include "fakes/test_rig.h"
#include "rack/rack_model.h"
#include "script/script_commands.h"
#include "script/script_requests.h"
#include "store/stores.h"
#include "tiles/power_cycle.h"
#include "tiles/tile_click_rules.h"
#include "ui/drop_list.h"
#include "ui/remark_box.h"
#include "ui/styled_button.h"
#include "ui/tab_control.h"
#include "ui/text_box.h"
#include "ui/tile_numbering.h"

#include <QJsonArray>
#include <QPushButton>
#include <QTest>

#include <rapidcheck.h>
#include <rapidcheck/state.h>

#include <cxxabi.h>

#include <map>
#include <set>
#include <sstream>
#include <typeinfo>

namespace {
const QString Opened = QStringLiteral("已打开");

constexpr quint16 DeviceNumbers[] = {0x0102, 0x0203, 0x0304, 0x7777};
// Two boards that answer with one device number: the program cannot tell them apart, so what
// either has on is not checked against what the program says, only that it says so.
constexpr quint16 TwinNumber = 0x0505;
constexpr quint16 Twins[] = {0x0505, 0x1505};
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
    // What the scripts' requests live on; gone with the program that runs them.
    std::unique_ptr<QObject> scripts;

    Rack() {
        rig.bus.addPort(1); // a serial device that is no board
        for (quint16 number : DeviceNumbers)
            boards[number].deviceNumber = number;
        for (quint16 twin : Twins)
            boards[twin].deviceNumber = TwinNumber;
        plug(0x0102, 2);
        plug(0x0203, 3);
        start();
    }

    void start() {
        rig.start();
        rig.dialogs.answers.clear();
        scripts = std::make_unique<QObject>();
    }
    // A killed program answers no script any more.
    void stop() {
        scripts.reset();
        rig.stop();
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
        TableStore store{inlineWriter()};
        if (!store.openTable(rig.path(stores::BindingFile), stores::BindingAlias))
            return {};
        QStringList fields;
        for (int k = 1; k <= LinkCount; ++k)
            fields << store.readField(k, stores::BindingAlias);
        return fields;
    }

    // What the event loop runs between two steps: bytes on the lines, the calls that fall due
    // meanwhile, and the replies to scripts.
    void settle() {
        rig.waits.processPendingEvents();
        rig.waits.advance(0);
        QCoreApplication::processEvents();
    }

    // A scripted request, as the control channel runs it; a switch its reply says is confirmed
    // must be what the board has when the reply goes out.
    void script(const QJsonObject& request) {
        Program& program = *rig.program;
        ScriptRequests(program.context())
            .run(request, scripts.get(), [this, request](const QJsonObject& reply) {
                const QString cmd = request.value(QStringLiteral("cmd")).toString();
                for (const QJsonValue& each : reply.value(QStringLiteral("tiles")).toArray()) {
                    const QJsonObject tile = each.toObject();
                    if (tile.value(QStringLiteral("result")).toString() !=
                            QLatin1String("confirmed") ||
                        cmd == QLatin1String("cycle"))
                        continue;
                    const int number = tile.value(QStringLiteral("tile")).toInt();
                    const std::optional<bool> powered = poweredAt(number);
                    if (powered && *powered != (cmd == QLatin1String("on")))
                        faults << QStringLiteral("%1 of tile %2 confirmed, not so at its board")
                                      .arg(cmd)
                                      .arg(number);
                }
            });
    }

    // Whether the board that tile's found link holds powers its slot; nothing when the link
    // holds no board or one of the twins.
    std::optional<bool> poweredAt(int tile) const {
        const int link = tiles::linkOf(tile);
        const RackModel& model = rig.program->rack();
        const Board* board = model.isFound(link) ? boardOnPort(model.port(link)) : nullptr;
        if (!board || board->deviceNumber == TwinNumber)
            return std::nullopt;
        return board->powered[size_t(tiles::slotOf(tile) - 1)];
    }

    int switchableOnShown() const {
        int count = 0;
        for (int tile = 1; tile <= TileCount; ++tile) {
            if (rig.program->rack().isFound(tiles::linkOf(tile)) &&
                rig.program->window().tile(tile).button->text() == Opened)
                ++count;
        }
        return count;
    }

    // A slot that a board powers and that the program cannot show as on: its tile is unknown,
    // or its board is on no found link.
    bool anyUncertainPower() const {
        const RackModel& model = rig.program->rack();
        for (const auto& [id, board] : boards) {
            if (board.deviceNumber == TwinNumber)
                continue;
            for (int slot = 1; slot <= SlotsPerLink; ++slot) {
                if (!board.powered[size_t(slot - 1)])
                    continue;
                const QString device = QString::asprintf("%04X", board.deviceNumber);
                int found = 0;
                for (int k = 1; k <= LinkCount; ++k)
                    found = model.foundDevice(k) == device ? k : found;
                if (found == 0 || model.state((found - 1) * SlotsPerLink + slot) != SlotState::On)
                    return true;
            }
        }
        return false;
    }

    // The rules that hold after every step.
    void check() {
        Program& program = *rig.program;
        const RackModel& model = program.rack();
        const ScriptCommands commands(program.context());
        for (; checkedWrites < rig.bus.writes.size(); ++checkedWrites) {
            const FakeSerialBus::Write& write = rig.bus.writes[checkedWrites];
            RC_ASSERT(wellFormed(write.bytes));
        }
        RC_ASSERT(faults.isEmpty());
        // What is shown is true, and the window and scripts say the same.
        for (int tile = 1; tile <= TileCount; ++tile) {
            const StyledButton& button = *program.window().tile(tile).button;
            const QString word = commands.tileWord(tile);
            const bool opened = button.text() == Opened;
            const bool plain = button.confirmation() == StyledButton::Confirmation::Confirmed;
            if (word == QLatin1String("on"))
                RC_ASSERT(opened && plain);
            else if (word == QLatin1String("unknown"))
                RC_ASSERT(opened || !plain);
            else
                RC_ASSERT(!opened && plain);
            // A found link's tile that reads on is on at the board its link holds.
            if (opened && word == QLatin1String("on"))
                RC_ASSERT(poweredAt(tile).value_or(true));
        }
        // What is true is shown: a slot a board powers reads on or unknown where that board is
        // found, and where it is not, on a tile that says unknown or on the list of boards on no
        // link; either way closing counts it.
        const QList<RackModel::AbsentBoard> absent = model.absentBoards();
        for (const auto& [id, board] : boards) {
            if (board.deviceNumber == TwinNumber)
                continue;
            const QString device = QString::asprintf("%04X", board.deviceNumber);
            for (int slot = 1; slot <= SlotsPerLink; ++slot) {
                if (!board.powered[size_t(slot - 1)])
                    continue;
                bool shown = std::any_of(absent.begin(), absent.end(),
                                         [&device](const RackModel::AbsentBoard& each) {
                                             return each.deviceNumber == device;
                                         });
                for (int k = 1; k <= LinkCount; ++k) {
                    const QString word = commands.tileWord((k - 1) * SlotsPerLink + slot);
                    if (model.foundDevice(k) == device)
                        shown = shown || word == QLatin1String("on") ||
                                word == QLatin1String("unknown");
                    else if (!model.isFound(k))
                        shown = shown || word == QLatin1String("unknown");
                }
                RC_ASSERT(shown);
            }
        }
        // Two found boards with one device number are said, and neither is switched.
        int twinsFound = 0;
        for (int k = 1; k <= LinkCount; ++k)
            twinsFound += model.foundDevice(k) == QStringLiteral("0505") ? 1 : 0;
        if (twinsFound > 1)
            RC_ASSERT(rig.speech.spoken.contains(QStringLiteral("发现两个设备号相同的设备：0505")));
        for (int k = 1; k <= LinkCount; ++k) {
            // A link holds a port exactly while it is found, and only the port it found.
            if (model.isFound(k))
                RC_ASSERT(program.port(k).openPortNumber() == model.port(k));
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
            if (button.text() == Opened && rig.program->rack().isFound(tiles::linkOf(tile))) {
                RC_ASSERT(
                    rig.program->window().ui().tileArea->setCurrentPage(tiles::linkOf(tile) - 1));
                button.click();
                settle();
            }
        }
        // Whatever it asks (devices possibly powered, cycles in their off time) is answered yes.
        rig.dialogs.answers = {Dialogs::Answer::Yes, Dialogs::Answer::Yes};
        RC_ASSERT(rig.program->window().close());
    }
};

// The model: what the rack looks like, so that steps that need a board plugged in or a free
// port are only drawn when they can run.
struct Model {
    std::map<quint16, int> ports{{0x0102, 2}, {0x0203, 3}, {0x0304, 0},
                                 {0x7777, 0}, {0x0505, 0}, {0x1505, 0}};
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

std::string typeName(const std::type_info& type) {
    int status = 0;
    char* readable = abi::__cxa_demangle(type.name(), nullptr, nullptr, &status);
    std::string name = status == 0 ? readable : type.name();
    std::free(readable);
    return name.substr(name.rfind(':') + 1);
}

// How often each step type ran, over every sequence of the run.
std::map<std::string, int>& stepCounts() {
    static std::map<std::string, int> counts;
    return counts;
}

// A port moved along by shift among the rack's ports 2 ... RackPorts; 0 (unplugged) stays.
int shiftedPort(int port, int shift) {
    return port == 0 ? 0 : 2 + (port - 2 + shift) % (RackPorts - 1);
}

int anyClickedTile() {
    return *rc::gen::elementOf(std::vector<int>(std::begin(ClickedTiles), std::end(ClickedTiles)));
}
quint16 anyBoard() {
    return *rc::gen::elementOf(
        std::vector<quint16>(std::begin(DeviceNumbers), std::end(DeviceNumbers)));
}

struct Step : Command {
    void run(const Model&, Rack& rack) const override {
        ++stepCounts()[typeName(typeid(*this))];
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
        const RackModel& model = rack.rig.program->rack();
        for (int k = 1; k <= LinkCount; ++k) {
            found << (model.isFound(k) ? links[size_t(k - 1)].deviceNumber : QString());
            any = any || model.isFound(k);
        }
        rack.rig.dialogs.answers = {Dialogs::Answer::Yes};
        const bool twins = rack.rig.program->rack().anyDuplicate();
        ui.bindButton->click();
        // Two boards with one device number cannot be bound.
        if (any && !twins)
            binding = found;
    }
    void show(std::ostream& os) const override { os << "bind"; }
};

// Unbinding, with echoes coming in and a script switching a tile while its question is open:
// the rule is checked again when 是 is answered.
struct Unbind : Step {
    bool meanwhile = *rc::gen::arbitrary<bool>();
    int tile = anyClickedTile();
    void act(Rack& rack, QStringList& binding) const override {
        const auto& ui = rack.rig.program->window().ui();
        if (!ui.unbindButton->isEnabled())
            return;
        bool allowed = rack.switchableOnShown() == 0;
        rack.rig.dialogs.answers = {Dialogs::Answer::Yes, Dialogs::Answer::Yes};
        if (meanwhile && allowed) {
            rack.rig.dialogs.duringShow = [&rack, &allowed, tile = tile] {
                for (auto& [id, board] : rack.boards) {
                    for (const QByteArray& echo : std::exchange(board.lateEchoes, {}))
                        rack.rig.bus.feed(board.port, echo);
                }
                rack.script(QJsonObject{{QStringLiteral("cmd"), QStringLiteral("on")},
                                        {QStringLiteral("tiles"), QJsonArray{tile}}});
                rack.rig.waits.processPendingEvents();
                allowed = rack.switchableOnShown() == 0;
            };
        }
        ui.unbindButton->click();
        rack.rig.dialogs.duringShow = nullptr;
        if (allowed)
            binding = QStringList(LinkCount);
    }
    void show(std::ostream& os) const override {
        os << "unbind";
        if (meanwhile)
            os << ", echoes and a script switching tile " << tile << " during the question";
    }
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
                if (binding[k].isEmpty() && rack.rig.program->rack().isFound(k + 1))
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

// A script switches the tile, as the control channel runs its request.
struct ScriptSwitch : Step {
    int tile = anyClickedTile();
    bool on = *rc::gen::arbitrary<bool>();
    void act(Rack& rack, QStringList&) const override {
        rack.script(
            QJsonObject{{QStringLiteral("cmd"), on ? QStringLiteral("on") : QStringLiteral("off")},
                        {QStringLiteral("tiles"), QJsonArray{tile}}});
    }
    void show(std::ostream& os) const override {
        os << "script switches tile " << tile << (on ? " on" : " off");
    }
};

// A script connects, or disconnects answering the window's question with yes or not at all.
struct ScriptConnectOrDisconnect : Step {
    int choice = *rc::gen::inRange(0, 3);
    void act(Rack& rack, QStringList&) const override {
        QJsonObject request{{QStringLiteral("cmd"), choice == 0 ? QStringLiteral("connect")
                                                                : QStringLiteral("disconnect")}};
        if (choice == 2)
            request.insert(QStringLiteral("yes"), true);
        rack.script(request);
    }
    void show(std::ostream& os) const override {
        static const char* names[] = {"connect", "disconnect", "disconnect --yes"};
        os << "script " << names[choice];
    }
};

// A script's power cycle; its off time passes with later steps.
struct ScriptCycle : Step {
    int tile = anyClickedTile();
    int offMs = *rc::gen::inRange(100, 3000);
    void act(Rack& rack, QStringList&) const override {
        rack.script(QJsonObject{{QStringLiteral("cmd"), QStringLiteral("cycle")},
                                {QStringLiteral("tiles"), QJsonArray{tile}},
                                {QStringLiteral("offMs"), offMs}});
    }
    void show(std::ostream& os) const override {
        os << "script cycles tile " << tile << " off for " << offMs << " ms";
    }
};

struct TimePasses : Step {
    int ms = *rc::gen::inRange(100, 3500);
    void act(Rack& rack, QStringList&) const override { rack.rig.waits.advance(ms); }
    void show(std::ostream& os) const override { os << ms << " ms pass"; }
};

// The operator types into a tile's remark box and a script sets that remark meanwhile: the
// typing wins, and the box never shows a mix.
struct ScriptRemarkWhileTyping : Step {
    int tile = anyClickedTile();
    void act(Rack& rack, QStringList&) const override {
        MainWindow& window = rack.rig.program->window();
        TabControl& area = *window.ui().tileArea;
        if (!area.isVisibleTo(&window) || !area.setCurrentPage(tiles::linkOf(tile) - 1))
            return;
        window.show();
        window.activateWindow();
        RemarkBox* box = window.tile(tile).remarkBox;
        box->setFocus();
        QTest::keyClicks(box, QStringLiteral("ab"));
        const QString typed = box->text();
        const bool typing = box->hasFocus() && typed != ScriptCommands(rack.rig.program->context())
                                                            .remark(tile)
                                                            .value(QStringLiteral("text"))
                                                            .toString();
        QJsonObject reply;
        ScriptRequests(rack.rig.program->context())
            .run(QJsonObject{{QStringLiteral("cmd"), QStringLiteral("remark")},
                             {QStringLiteral("tile"), tile},
                             {QStringLiteral("text"), QStringLiteral("脚本")}},
                 rack.scripts.get(), [&reply](const QJsonObject& answer) { reply = answer; });
        // Refused, by this rule or an earlier one of the remark's own.
        if (typing) {
            RC_ASSERT(!reply.value(QStringLiteral("ok")).toBool());
            RC_ASSERT(box->text() == typed);
        }
        window.ui().searchText->setFocus();
        window.hide();
    }
    void show(std::ostream& os) const override {
        os << "a script sets remark " << tile << " while the operator types in it";
    }
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
            if (rack.rig.program->window().tile(tile).button->text() == Opened &&
                rack.rig.program->rack().isFound(tiles::linkOf(tile)))
                ++switchable;
        }
        const bool uncertain = rack.anyUncertainPower();
        const qsizetype boxes = rack.rig.dialogs.shown.size();
        rack.rig.dialogs.answers = {yes ? Dialogs::Answer::Yes : Dialogs::Answer::No,
                                    yes ? Dialogs::Answer::Yes : Dialogs::Answer::No};
        const bool closed = rack.rig.program->window().close();
        // Closing counts every device that may be powered and asks before leaving it.
        if (switchable == 0 && uncertain) {
            const auto& shown = rack.rig.dialogs.shown;
            RC_ASSERT(shown.size() > boxes &&
                      shown[boxes].text.contains(QStringLiteral("可能仍在通电")));
        }
        // Refused only while a board can still be told to switch a tile off.
        if (switchable == 0 && yes)
            RC_ASSERT(closed);
        if (switchable > 0)
            RC_ASSERT(!closed);
        if (closed) {
            rack.stop();
            rack.start();
        }
    }
    void show(std::ostream& os) const override {
        os << "close, answering " << (yes ? "yes" : "no");
    }
};

struct Kill : Step {
    void act(Rack& rack, QStringList&) const override {
        rack.stop();
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

// The program is killed and started again, and meanwhile every board is plugged into another
// port.
struct RestartOnOtherPorts : Step {
    int shift = *rc::gen::inRange(1, RackPorts - 1);
    void act(Rack& rack, QStringList&) const override {
        rack.stop();
        std::map<quint16, int> moved;
        for (auto& [id, board] : rack.boards) {
            if (board.port != 0) {
                moved[id] = shiftedPort(board.port, shift);
                rack.unplug(id);
            }
        }
        for (const auto& [id, port] : moved)
            rack.plug(id, port);
        rack.start();
    }
    void applyToRack(Model& model) const override {
        for (auto& [id, port] : model.ports)
            port = shiftedPort(port, shift);
    }
    void show(std::ostream& os) const override {
        os << "kill, every board " << shift << " ports on, start again";
    }
};

// A board is unplugged and another one plugged into the port it left.
struct TakeAnothersPort : Step {
    quint16 leaving = anyBoard();
    quint16 taking = anyBoard();
    void checkPreconditions(const Model& model) const override {
        RC_PRE(model.ports.at(leaving) != 0);
        RC_PRE(model.ports.at(taking) == 0);
    }
    void act(Rack& rack, QStringList&) const override {
        const int port = rack.boards[leaving].port;
        rack.unplug(leaving);
        rack.plug(taking, port);
    }
    void applyToRack(Model& model) const override {
        model.ports[taking] = std::exchange(model.ports[leaving], 0);
    }
    void show(std::ostream& os) const override {
        os << std::hex << taking << " takes the port of " << leaving << std::dec;
    }
};

// Two boards with one device number are plugged in together, and later pulled together.
struct TwinsArrive : Step {
    int first = *rc::gen::inRange(2, RackPorts + 1);
    int second = *rc::gen::inRange(2, RackPorts + 1);
    void checkPreconditions(const Model& model) const override {
        RC_PRE(model.ports.at(Twins[0]) == 0);
        RC_PRE(first != second && model.portFree(first) && model.portFree(second));
    }
    void act(Rack& rack, QStringList&) const override {
        rack.plug(Twins[0], first);
        rack.plug(Twins[1], second);
    }
    void applyToRack(Model& model) const override {
        model.ports[Twins[0]] = first;
        model.ports[Twins[1]] = second;
    }
    void show(std::ostream& os) const override {
        os << "two boards 0505 into ports " << first << " and " << second;
    }
};

struct TwinsLeave : Step {
    void checkPreconditions(const Model& model) const override {
        RC_PRE(model.ports.at(Twins[0]) != 0);
    }
    void act(Rack& rack, QStringList&) const override {
        for (quint16 twin : Twins)
            rack.unplug(twin);
    }
    void applyToRack(Model& model) const override {
        for (quint16 twin : Twins)
            model.ports[twin] = 0;
    }
    void show(std::ostream& os) const override { os << "both boards 0505 unplugged"; }
};

template <typename... Steps> struct StepTypes {
    static auto generator() { return rc::state::gen::execOneOfWithArgs<Steps...>(); }
    static std::set<std::string> names() { return {typeName(typeid(Steps))...}; }
};
// Every step type the sequences draw from; connects and clicks come more often.
using AllSteps =
    StepTypes<Connect, Connect, ConnectAndActDuringAWait, Disconnect, Bind, Unbind, AddDevice,
              ClickTile, ClickTile, ClickTile, ScriptSwitch, ScriptSwitch, ScriptCycle,
              ScriptConnectOrDisconnect, PowerCycleTile, TimePasses, ScriptRemarkWhileTyping,
              ViewJump, TryClose, Kill, RestartOnOtherPorts, Unplug, Plug, TakeAnothersPort,
              TwinsArrive, TwinsLeave, SetEcho, LateEchoesArrive>;

void runSequence() {
    Model model;
    Rack rack;
    rc::state::check(model, rack, AllSteps::generator());
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
        stepCounts().clear();
        QVERIFY(rc::check("random operator actions and rack events", runSequence));
        std::string never;
        for (const std::string& name : AllSteps::names()) {
            std::printf("%8d  %s\n", stepCounts()[name], name.c_str());
            if (stepCounts()[name] == 0)
                never += " " + name;
        }
        QVERIFY2(never.empty(), ("steps that never ran:" + never).c_str());
    }

    // Sequences the random runs once shrank a failure to, kept as they were found.
    void tileOnThenItsBoardUnplugged_theWindowStillCloses() {
        QVERIFY(runsThrough({step<Connect>(), step<ClickTile>(2), step<Unplug>(quint16(0x0102))}));
    }
};

QTEST_MAIN(RackSequencesTest)
#include "test_rack_sequences.moc"
