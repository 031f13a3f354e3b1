#include "app/program.h"

#include "platform/serial_port.h"
#include "ui/styled_button.h"
#include "ui/window_created.h"

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
} // namespace

Program::Program(Services services, const QString& programDir)
    : ports_(createPorts(services.serialPorts)),
      context_{state_, window_, store_, services, portPointers(ports_), programDir},
      byteArrival_(context_), connectRun_(context_), tileClicks_(context_), disconnect_(context_),
      networkAddress_(context_) {
    wireEvents();
    onWindowCreated(context_);
}

Program::~Program() {
    // Links are closed before the window that their handlers touch goes away.
    for (auto& port : ports_)
        port->close();
}

// Every control event and the handler that serves it.
void Program::wireEvents() {
    const auto& ui = window_.ui();
    QObject::connect(ui.connectButton, &QPushButton::clicked, &window_,
                     [this] { connectRun_.onConnectClicked(); });
    QObject::connect(ui.disconnectButton, &QPushButton::clicked, &window_,
                     [this] { disconnect_.onDisconnectClicked(); });
    QObject::connect(ui.addressButton, &QPushButton::clicked, &window_,
                     [this] { networkAddress_.onAddressClicked(); });
    window_.setCloseCheck([this] { return disconnect_.closingCheck(); });

    for (int k = 1; k <= LinkCount; ++k)
        QObject::connect(ports_[size_t(k - 1)].get(), &SerialPort::byteArrived, &window_,
                         [this, k](quint8 byte) { byteArrival_.onByte(k, byte); });

    // All 336 tile buttons share one click handler, which tells them apart by name.
    for (const MainWindow::Tile& tile : ui.tiles) {
        StyledButton* button = tile.button;
        QObject::connect(button, &StyledButton::clicked, &window_,
                         [this, button] { tileClicks_.onTileClicked(button); });
    }
}
