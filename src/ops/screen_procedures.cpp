#include "ops/screen_procedures.h"

#include "links/link_life.h"
#include "ops/stage_controls.h"
#include "platform/dialogs.h"
#include "platform/serial_port.h"
#include "rack/rack_model.h"
#include "state/context.h"
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
    LinkLife life(context);
    for (int k = 1; k <= LinkCount; ++k) {
        life.stop(k);
        ui.disconnectButton->setText(QStringLiteral("已停止"));
        showConnectStage(context, ConnectStage::Query);
    }
}

void tilePageReset(Context& context) {
    TabControl& area = *context.window.ui().tileArea;
    context.state.tilesShown = false;
    area.hide();
    for (int page = 0; page < area.pageCount(); ++page)
        area.setPageEnabled(page, false);
}

void linkFound(Context& context, int link, const QString& pageTitle) {
    const auto& ui = context.window.ui();
    ui.connectionLamp->setColour(colour::Green);
    ui.linkLamps[size_t(link - 1)]->setColour(colour::Green);
    context.state.tilesShown = true;
    ui.tileArea->show();
    ui.tileArea->setPageEnabled(link - 1, true);
    ui.tileArea->setPageTitle(link - 1, pageTitle);
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
    resetAddDevice(context, false);
    for (StyledButton* button : {ui.viewButton, ui.favouriteViewButton}) {
        button->setEnabled(false);
        button->setLit(false);
    }
    ui.favourites->setEnabled(false);
    ui.searchResults->setEnabled(false);
    ui.searchResults->clear();
}

bool mayLeaveRack(Context& context, const QString& action, const QString& title) {
    const RackModel& rack = context.rack;
    const int possiblyPowered = rack.possiblyPowered();
    context.state.anyDeviceOpen = rack.switchableOn() + possiblyPowered > 0 ? 1 : 0;
    if (rack.switchableOn() > 0) {
        context.services.dialogs.show(QStringLiteral("请关闭已打开的设备"), QString(),
                                      Dialogs::Icon::Warning, Dialogs::Buttons::Ok);
        return false;
    }
    if (possiblyPowered == 0)
        return true;
    const auto answer =
        context.services.dialogs.show(possiblyPoweredQuestion(possiblyPowered, action), title,
                                      Dialogs::Icon::Warning, Dialogs::Buttons::YesNo);
    return answer == Dialogs::Answer::Yes;
}

QString possiblyPoweredQuestion(int possiblyPowered, const QString& action) {
    return QStringLiteral("有%1个设备可能仍在通电（未确认或连接已断开）。确定要%2吗？")
        .arg(possiblyPowered)
        .arg(action);
}
