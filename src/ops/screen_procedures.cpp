#include "ops/screen_procedures.h"

#include "platform/serial_port.h"
#include "state/context.h"
#include "state/rack_events.h"
#include "ui/captions.h"
#include "ui/colours.h"
#include "ui/drop_list.h"
#include "ui/lamp.h"
#include "ui/main_window.h"
#include "ui/styled_button.h"
#include "ui/tab_control.h"
#include "ui/text_box.h"

#include <QPushButton>

void linkStop(Context& context) {
    const auto& ui = context.window.ui();
    for (int k = 1; k <= LinkCount; ++k) {
        context.ports[size_t(k - 1)]->close();
        ui.disconnectButton->setText(QStringLiteral("已停止"));
        ui.connectButton->setText(captions::ConnectQuery);
        context.state.links[size_t(k - 1)].receiver.reset();
    }
}

void tilePageReset(Context& context) {
    TabControl& area = *context.window.ui().tileArea;
    area.hide();
    for (int page = 0; page < area.pageCount(); ++page)
        area.setPageEnabled(page, false);
}

void linkFound(Context& context, int link, const QString& pageTitle) {
    const auto& ui = context.window.ui();
    ui.connectionLamp->setColour(colour::Green);
    ui.linkLamps[size_t(link - 1)]->setColour(colour::Green);
    ui.tileArea->show();
    ui.tileArea->setPageEnabled(link - 1, true);
    ui.tileArea->setPageTitle(link - 1, pageTitle);
    const LinkState& found = context.state.links[size_t(link - 1)];
    emit context.events.linkFound(link, found.deviceNumber, found.address.toInt(nullptr, 16));
}

void allLinksLost(Context& context) {
    linkStop(context);
    tilePageReset(context);
}

void lockSearchControls(Context& context) {
    const auto& ui = context.window.ui();
    ui.searchText->setEnabled(false);
    ui.searchText->clear();
    ui.searchLamp->setColour(std::nullopt);
    ui.searchButton->setEnabled(false);
    ui.searchButton->setLit(false);
    ui.searchButton->setText(captions::SearchStart);
    ui.addDeviceButton->setEnabled(false);
    ui.addDeviceButton->setLit(false);
    ui.addDeviceButton->setText(captions::AddDevice);
    for (StyledButton* button : {ui.viewButton, ui.favouriteViewButton}) {
        button->setEnabled(false);
        button->setLit(false);
    }
    ui.favourites->setEnabled(false);
    ui.searchResults->setEnabled(false);
    ui.searchResults->clear();
}
