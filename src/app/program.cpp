#include "app/program.h"

#include "app/program_directory.h"
#include "ops/window_created.h"
#include "platform/serial_port.h"
#include "platform/speech.h"
#include "tiles/switch_state_migration.h"
#include "ui/drop_list.h"
#include "ui/remark_box.h"
#include "ui/status_line.h"
#include "ui/styled_button.h"
#include "ui/text_box.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>

namespace {
std::vector<std::unique_ptr<SerialPort>> createPorts(SerialPortFactory& factory) {
    std::vector<std::unique_ptr<SerialPort>> ports;
    for (int k = 1; k <= LinkCount; ++k) {
        ports.push_back(factory.create());
        ports.back()->setObjectName(QStringLiteral("端口") + QString::number(k));
        // The design's port numbers; every run sets its own before opening.
        ports.back()->setPortNumber(2 * k - 1);
    }
    return ports;
}

std::array<SerialPort*, LinkCount>
portPointers(const std::vector<std::unique_ptr<SerialPort>>& ports) {
    std::array<SerialPort*, LinkCount> pointers{};
    for (int k = 0; k < LinkCount; ++k)
        pointers[size_t(k)] = ports[size_t(k)].get();
    return pointers;
}
// A handler's method as a slot; the handler lives as long as the program.
Services speakingThrough(Services services, Speech& speech) {
    return Services{speech,           services.serialPorts, services.waits, services.dialogs,
                    services.network, services.tune,        services.writer};
}

template <typename Handler, typename... Args>
auto call(Handler& handler, void (Handler::*method)(Args...)) {
    return [&handler, method](Args... args) { (handler.*method)(args...); };
}
} // namespace

Program::Program(Services services, const QString& programDir)
    : store_(services.writer), speech_(services.speech, events_),
      ports_(createPorts(services.serialPorts)), kept_(services.writer),
      rack_(kept_, services.waits), context_{state_,
                                             rack_,
                                             window_,
                                             store_,
                                             events_,
                                             speakingThrough(services, speech_),
                                             portPointers(ports_),
                                             programDir},
      byteArrival_(context_), linkLife_(context_), connectRun_(context_), tileClicks_(context_),
      tileSwitches_(context_), tileLook_(context_), linkLook_(context_), remarkEditing_(context_),
      remarkSearch_(context_), viewFilters_(context_), binding_(context_), disconnect_(context_),
      networkAddress_(context_), addDevice_(context_), promptSound_(context_),
      powerCycle_(context_) {
    // The menu bar lies right under the title bar, which the toolkit cannot give a tooltip.
    window_.menuBar()->setToolTip(program_directory::storeDirectoryNote(programDir));
    wireStatusLine();
    wireLinks();
    wireRack();
    wireTileSwitches();
    wireTiles();
    wireSearchAndFavourites();
    wireCommandButtons();
    wireRemarkBoxes();
    onWindowCreated(context_);
    restoreKeptSwitches();
}

// What the boards were asked and confirmed before this start, in the file beside the stores;
// a file that cannot be used is said at once, since no switch can be kept then.
void Program::restoreKeptSwitches() {
    const QString& directory = context_.programDir;
    if (!kept_.open(directory) || !migrateSwitchStates(context_, kept_))
        context_.services.speech.speak(QStringLiteral("开关状态无法保存"));
    rack_.load();
}

Program::~Program() {
    // Switches confirmed in the last moments are handed to the writer, which lands them even
    // after the program has gone.
    rack_.flush();
    // Links are closed before the window that their handlers touch goes away.
    for (auto& port : ports_)
        port->close();
    // The handlers go before the window; its controls, destroyed one by one, move the focus
    // and would call them into a half-destroyed window.
    for (QObject* control : window_.findChildren<QObject*>())
        QObject::disconnect(control, nullptr, &window_, nullptr);
}

void Program::wireLinks() {
    for (int k = 1; k <= LinkCount; ++k) {
        SerialPort* port = ports_[size_t(k - 1)].get();
        QObject::connect(port, &SerialPort::byteArrived, &window_,
                         [this, k](quint8 byte) { byteArrival_.onByte(k, byte); });
        QObject::connect(port, &SerialPort::lost, &window_, [this, k] { linkLife_.onPortLost(k); });
    }
}

// Echoes confirm tile switches in the rack model.
void Program::wireTileSwitches() {
    QObject::connect(&byteArrival_, &ByteArrival::switchEchoed, &window_,
                     call(tileSwitches_, &TileSwitches::onEcho));
}

// The window draws what the rack model says; a switch counts as confirmed once it is kept.
void Program::wireRack() {
    QObject::connect(&rack_, &RackModel::tileChanged, &window_,
                     call(tileLook_, &TileLook::onTileChanged));
    QObject::connect(&rack_, &RackModel::linkChanged, &window_,
                     [this](int) { tileLook_.onLinkChanged(); });
    QObject::connect(&rack_, &RackModel::linkChanged, &window_,
                     call(linkLook_, &LinkLook::onLinkChanged));
    QObject::connect(&rack_, &RackModel::switchKept, &window_,
                     [this](int tile, bool on, bool) { emit events_.switchConfirmed(tile, on); });
    QObject::connect(&rack_, &RackModel::writeFailed, &window_, [this](const QString&) {
        context_.services.speech.speak(QStringLiteral("开关状态保存失败"));
    });
    QObject::connect(&rack_, &RackModel::duplicateFound, &window_,
                     [this](const QString& deviceNumber) {
                         context_.services.speech.speak(
                             QStringLiteral("发现两个设备号相同的设备：") + deviceNumber);
                     });
}

// All 336 tile buttons share one click handler, which tells them apart by name.
void Program::wireTiles() {
    for (const MainWindow::Tile& tile : window_.ui().tiles) {
        StyledButton* button = tile.button;
        QObject::connect(button, &StyledButton::clicked, &window_, [this, button] {
            promptSound_.onButtonClicked(button);
            tileClicks_.onTileClicked(button);
        });
        // The power cycle is the tile's context menu: a right click, then one item. The menu is
        // made when asked for rather than 336 times at start, and opens without waiting in a
        // loop of its own.
        button->setContextMenuPolicy(Qt::CustomContextMenu);
        QObject::connect(button, &QWidget::customContextMenuRequested, &window_,
                         [this, button](const QPoint& at) {
                             auto* menu = new QMenu(button);
                             menu->setAttribute(Qt::WA_DeleteOnClose);
                             QObject::connect(
                                 menu->addAction(QStringLiteral("断电重启")), &QAction::triggered,
                                 &window_, [this, button] { powerCycle_.onCycleChosen(button); });
                             menu->popup(button->mapToGlobal(at));
                         });
    }
}

// All 336 remark boxes share one handler per event.
void Program::wireRemarkBoxes() {
    for (const MainWindow::Tile& tile : window_.ui().tiles) {
        RemarkBox* box = tile.remarkBox;
        QObject::connect(box, &TextBox::gotFocus, &window_,
                         [this, box] { remarkEditing_.onGotFocus(box); });
        QObject::connect(box, &TextBox::lostFocus, &window_,
                         [this, box] { remarkEditing_.onLostFocus(box); });
        QObject::connect(box, &TextBox::keyDown, &window_,
                         [this, box](int code) { remarkEditing_.onKeyDown(box, code); });
        QObject::connect(box, &TextBox::doubleClicked, &window_,
                         [this, box] { remarkEditing_.onDoubleClicked(box); });
    }
}

void Program::wireSearchAndFavourites() {
    const auto& ui = window_.ui();
    using Filters = ViewFilters;
    QObject::connect(ui.searchButton, &StyledButton::clicked, &window_,
                     call(remarkSearch_, &RemarkSearch::onSearchClicked));
    QObject::connect(ui.searchText, &TextBox::keyDown, &window_,
                     call(remarkSearch_, &RemarkSearch::onSearchKeyDown));
    QObject::connect(ui.searchText, &TextBox::gotFocus, &window_,
                     call(viewFilters_, &Filters::onSearchTextGotFocus));
    QObject::connect(ui.searchText, &QLineEdit::textChanged, &window_,
                     call(viewFilters_, &Filters::onSearchTextChanged));

    QObject::connect(ui.viewButton, &StyledButton::clicked, &window_,
                     call(viewFilters_, &Filters::onViewClicked));
    QObject::connect(ui.searchResults, &DropList::keyDown, &window_,
                     call(viewFilters_, &Filters::onResultsKeyDown));
    QObject::connect(ui.searchResults, &DropList::gotFocus, &window_,
                     call(viewFilters_, &Filters::onResultsGotFocus));
    QObject::connect(ui.searchResults, &DropList::lostFocus, &window_,
                     call(viewFilters_, &Filters::onResultsLostFocus));

    QObject::connect(ui.favouriteViewButton, &StyledButton::clicked, &window_,
                     call(viewFilters_, &Filters::onFavouriteViewClicked));
    QObject::connect(ui.favourites, &DropList::keyDown, &window_,
                     call(viewFilters_, &Filters::onFavouritesKeyDown));
    QObject::connect(ui.favourites, &DropList::doubleClicked, &window_,
                     call(viewFilters_, &Filters::onFavouritesDoubleClicked));
    QObject::connect(ui.favourites, &DropList::entrySelected, &window_,
                     call(viewFilters_, &Filters::onFavouriteSelected));
    QObject::connect(ui.favourites, &DropList::aboutToDropDown, &window_,
                     call(viewFilters_, &Filters::onFavouritesAboutToDropDown));
    QObject::connect(ui.favourites, &DropList::gotFocus, &window_,
                     call(viewFilters_, &Filters::onFavouritesGotFocus));
    QObject::connect(ui.favourites, &DropList::lostFocus, &window_,
                     call(viewFilters_, &Filters::onFavouritesLostFocus));
}

void Program::wireCommandButtons() {
    const auto& ui = window_.ui();
    QObject::connect(ui.connectButton, &QPushButton::clicked, &window_,
                     call(connectRun_, &ConnectRun::onConnectClicked));
    QObject::connect(ui.disconnectButton, &QPushButton::clicked, &window_,
                     call(disconnect_, &Disconnect::onDisconnectClicked));
    QObject::connect(ui.bindButton, &QPushButton::clicked, &window_,
                     call(binding_, &Binding::onBindClicked));
    QObject::connect(ui.unbindButton, &QPushButton::clicked, &window_,
                     call(binding_, &Binding::onUnbindClicked));
    QObject::connect(ui.addressButton, &QPushButton::clicked, &window_,
                     call(networkAddress_, &NetworkAddress::onAddressClicked));
    QObject::connect(ui.addDeviceButton, &StyledButton::clicked, &window_,
                     call(addDevice_, &AddDevice::onAddDeviceClicked));
    QObject::connect(ui.promptSoundItem, &QAction::triggered, &window_,
                     call(promptSound_, &PromptSound::onItemChosen));
    window_.setCloseCheck([this] { return disconnect_.closingCheck(); });
}

// Every prompt also on screen, and once that none can be heard.
void Program::wireStatusLine() {
    StatusLine* line = window_.ui().statusLine;
    QObject::connect(&events_, &RackEvents::promptSpoken, line,
                     [line](const QString& text) { line->showLine(text); });
    QObject::connect(&speech_, &AnnouncingSpeech::silent, line,
                     [line](const QString& reason) { line->showLine(reason); });
}
