#include "ops/disconnect.h"

#include "hub/link_life.h"
#include "ops/screen_procedures.h"
#include "platform/dialogs.h"
#include "state/context.h"
#include "ui/captions.h"
#include "ui/colours.h"
#include "ui/drop_list.h"
#include "ui/lamp.h"
#include "ui/main_window.h"
#include "ui/styled_button.h"
#include "ui/text_box.h"

#include <QPushButton>

void Disconnect::onDisconnectClicked() {
    if (openTiles(context_).switchable > 0) {
        refuseWhileTilesOpen(context_);
        return;
    }
    lockSearchControls(context_);
    if (context_.window.ui().connectButton->text() == captions::Connecting)
        stopRun();
    closeLinks();
}

// Closing is refused only while a board can still be told to switch a tile off; tiles on
// links that are gone can only be reported, so the operator is asked once and may close.
bool Disconnect::closingCheck() {
    const OpenTiles open = openTiles(context_);
    if (open.switchable > 0) {
        refuseWhileTilesOpen(context_);
        return false;
    }
    if (open.unreachable > 0) {
        const auto answer = context_.services.dialogs.show(
            QStringLiteral("有%1个设备的连接已断开，它们可能仍在通电。确定要关闭吗？")
                .arg(open.unreachable),
            QStringLiteral("关闭"), Dialogs::Icon::Warning, Dialogs::Buttons::YesNo);
        if (answer != Dialogs::Answer::Yes)
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
    LinkLife life(context_);
    for (int k = 1; k <= LinkCount; ++k) {
        life.stop(k);
        ui.disconnectButton->setText(QStringLiteral("已断开"));
        ui.connectButton->setText(bound ? captions::ConnectBound : captions::ConnectQuery);
        if (!bound) {
            ui.bindButton->setEnabled(false);
            state.linkMode = LinkMode::Closed;
        }
        ui.connectionLamp->setColour(colour::Red);
        ui.linkLamps[size_t(k - 1)]->setColour(colour::Red);
    }
    tilePageReset(context_);
}
