#include "ops/disconnect.h"

#include "links/link_life.h"
#include "ops/screen_procedures.h"
#include "ops/stage_controls.h"
#include "platform/dialogs.h"
#include "rack/rack_model.h"
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
    if (!mayLeaveRack(context_, QStringLiteral("断开连接"), QStringLiteral("断开连接")))
        return;
    leaveRack();
}

std::optional<QString> Disconnect::disconnectForScript(bool yes) {
    const RackModel& rack = context_.rack;
    if (rack.switchableOn() > 0)
        return QStringLiteral("请关闭已打开的设备");
    if (rack.possiblyPowered() > 0 && !yes)
        return possiblyPoweredQuestion(rack.possiblyPowered(), QStringLiteral("断开连接"));
    leaveRack();
    return std::nullopt;
}

void Disconnect::leaveRack() {
    lockSearchControls(context_);
    if (context_.state.connectStage == ConnectStage::Connecting)
        stopRun();
    closeLinks();
}

// Closing is refused only while a board can still be told to switch a tile off; devices that
// may be powered and cannot be confirmed off are reported, and so are the power cycles in their
// off time, which would leave their devices off: the operator is asked and may close.
bool Disconnect::closingCheck() {
    if (!mayLeaveRack(context_, QStringLiteral("关闭"), QStringLiteral("关闭")))
        return false;
    GlobalState& state = context_.state;
    if (!state.powerCycles.isEmpty()) {
        const auto answer = context_.services.dialogs.show(
            QStringLiteral("有%1个设备正在断电重启，关闭后它们将保持断电。确定要关闭吗？")
                .arg(state.powerCycles.size()),
            QStringLiteral("关闭"), Dialogs::Icon::Warning, Dialogs::Buttons::YesNo);
        if (answer != Dialogs::Answer::Yes)
            return false;
        const auto cycles = std::exchange(state.powerCycles, {});
        for (auto it = cycles.begin(); it != cycles.end(); ++it)
            emit context_.events.powerCycleCutShort(it.key(), QStringLiteral("窗口已关闭"));
    }
    leaveRack();
    linkStop(context_);
    state.closing = true;
    return true;
}

// A click during a wait of a query-and-connect run: the run sees the closed mode when it
// resumes and stops probing.
void Disconnect::stopRun() {
    const auto& ui = context_.window.ui();
    allLinksLost(context_);
    ui.disconnectButton->setText(QStringLiteral("断开连接"));
    showConnectStage(context_, ConnectStage::Query);
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
        showConnectStage(context_, bound ? ConnectStage::Bound : ConnectStage::Query);
        if (!bound) {
            ui.bindButton->setEnabled(false);
            state.linkMode = LinkMode::Closed;
        }
        ui.connectionLamp->setColour(colour::Red);
        ui.linkLamps[size_t(k - 1)]->setColour(colour::Red);
    }
    tilePageReset(context_);
}
