#include "ops/disconnect.h"

#include "ops/screen_procedures.h"
#include "platform/dialogs.h"
#include "platform/serial_port.h"
#include "state/context.h"
#include "ui/captions.h"
#include "ui/colours.h"
#include "ui/drop_list.h"
#include "ui/lamp.h"
#include "ui/main_window.h"
#include "ui/styled_button.h"
#include "ui/text_box.h"

#include <QPushButton>

namespace {

void refuse(Context& context) {
    context.services.dialogs.show(QStringLiteral("请关闭已打开的设备"), QString(),
                                  Dialogs::Icon::Warning, Dialogs::Buttons::Ok);
}
} // namespace

bool Disconnect::anyDeviceOpen() {
    const auto& ui = context_.window.ui();
    bool open = false;
    for (const MainWindow::Tile& tile : ui.tiles)
        open = open || tile.button->text() == captions::TileOpened;
    for (const StyledButton* button :
         {ui.addDeviceButton, ui.searchButton, ui.viewButton, ui.favouriteViewButton})
        open = open || button->text() == captions::TileOpened;
    context_.state.anyDeviceOpen = open ? 1 : 0;
    return open;
}

void Disconnect::onDisconnectClicked() {
    if (anyDeviceOpen()) {
        refuse(context_);
        return;
    }
    lockSearchControls(context_);
    if (context_.window.ui().connectButton->text() == captions::Connecting)
        stopRun();
    closeLinks();
}

bool Disconnect::closingCheck() {
    if (anyDeviceOpen()) {
        refuse(context_);
        return false;
    }
    onDisconnectClicked();
    linkStop(context_);
    context_.state.closing = true;
    return true;
}

// A click during a wait of a query-and-connect run: the run sees the closed mode when it
// resumes and stops probing.
void Disconnect::stopRun() {
    const auto& ui = context_.window.ui();
    allLinksLost(context_);
    ui.disconnectButton->setText(QStringLiteral("断开连接"));
    ui.connectButton->setText(captions::ConnectQuery);
    ui.bindButton->setEnabled(false);
    context_.state.linkMode = LinkMode::Closed;
    ui.connectionLamp->setColour(colour::Red);
}

void Disconnect::closeLinks() {
    GlobalState& state = context_.state;
    if (state.linkMode == LinkMode::Closed)
        return;
    const auto& ui = context_.window.ui();
    const bool bound = state.linkMode == LinkMode::Bound;
    for (int k = 1; k <= LinkCount; ++k) {
        LinkState& link = state.links[size_t(k - 1)];
        context_.ports[size_t(k - 1)]->close();
        ui.disconnectButton->setText(QStringLiteral("已断开"));
        ui.connectButton->setText(bound ? captions::ConnectBound : captions::ConnectQuery);
        if (!bound) {
            ui.bindButton->setEnabled(false);
            link.receiver.reset();
            state.linkMode = LinkMode::Closed;
        }
        link.deviceNumber.clear();
        ui.connectionLamp->setColour(colour::Red);
        ui.linkLamps[size_t(k - 1)]->setColour(colour::Red);
    }
    tilePageReset(context_);
}
