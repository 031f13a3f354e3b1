#include "ops/add_device.h"

#include "hub/frame_codec.h"
#include "ops/binding_record.h"
#include "ops/connect_run.h"
#include "ops/screen_procedures.h"
#include "platform/speech.h"
#include "rack/rack_model.h"
#include "state/context.h"
#include "store/store_session.h"
#include "store/stores.h"
#include "ui/captions.h"
#include "ui/colours.h"
#include "ui/main_window.h"
#include "ui/styled_button.h"

#include <QComboBox>
#include <QPushButton>

namespace {
QString queryCaption(int link) {
    return QStringLiteral("正在查询") + QString::number(link);
}
} // namespace

void AddDevice::onAddDeviceClicked() {
    const auto& ui = context_.window.ui();
    const StoreSession binding = StoreSession::binding(context_.store, context_.programDir);
    context_.state.probeWait = ui.probeWaitList->currentText().toInt();
    if (ui.addDeviceButton->text() == captions::AddDevice)
        queryStage();
    else
        bindStage(binding);
}

void AddDevice::queryStage() {
    GlobalState& state = context_.state;
    StyledButton& button = *context_.window.ui().addDeviceButton;
    bool anyQueried = false;
    for (int k = 1; k <= LinkCount; ++k) {
        if (!context_.store.readField(k, stores::BindingAlias).isEmpty()) {
            context_.services.speech.speak(QStringLiteral("端口") + QString::number(k) +
                                           QStringLiteral("已绑定"));
            continue;
        }
        anyQueried = true;
        state.linkMode = LinkMode::Query;
        ConnectRun(context_).linkScan(k);
        if (interrupted())
            return;
        const bool answered = showAnswer(k);
        // Without a board on link 8 the caption would name link 8 although the click found
        // boards on earlier links; the look remembers whether it did.
        if (k == LinkCount && !answered)
            button.setText(button.isLit() ? captions::BindDevice : captions::AddDevice);
    }
    // The links were bound before this click, and stay so: a later disconnect and connect
    // must look for the bound boards, not take whichever board answers first.
    if (anyQueried)
        state.linkMode = LinkMode::Bound;
}

// Shows the board that the scan found on link; true when a board answered, whatever its
// device number.
bool AddDevice::showAnswer(int link) {
    const auto& ui = context_.window.ui();
    LinkState& linkState = context_.state.links[size_t(link - 1)];
    const bool answered = context_.rack.isFound(link);
    const int deviceNumber = answered ? hex_to_int(linkState.deviceNumber) : 0;
    if (deviceNumber == 0) {
        ui.addDeviceButton->setText(queryCaption(link));
        return answered;
    }
    ui.addDeviceButton->setLit(true);
    ui.addDeviceButton->setColourSlot(2, colour::Green);
    ui.addDeviceButton->setColourSlot(4, colour::Green);
    ui.addDeviceButton->setText(captions::BindDevice);
    if (link == LinkCount)
        ui.connectButton->setText(captions::ConnectQueryDone);
    linkFound(context_, link,
              QStringLiteral("端口") + QString::number(link) + QStringLiteral("设备号：") +
                  QString::number(deviceNumber));
    linkState.receiver.reset();
    return answered;
}

// A disconnect, an unbinding, a bind or the window closing during one of the scan's waits
// took the links over: the stage ends there and leaves the button as that handler left it.
bool AddDevice::interrupted() const {
    const GlobalState& state = context_.state;
    return state.closing || state.linkMode != LinkMode::Query ||
           !context_.window.ui().addDeviceButton->isEnabled();
}

// Only the fields the query stage could fill change: a bound link whose board is absent keeps
// its board, rather than taking whichever board last answered its probes.
void AddDevice::bindStage(const StoreSession& binding) {
    StyledButton& button = *context_.window.ui().addDeviceButton;
    // No second click while the record is on its way.
    button.setEnabled(false);
    Context& context = context_;
    writeBindingRecord(context_, binding, BindingScope::NewLinks, [&context](bool written) {
        StyledButton& addButton = *context.window.ui().addDeviceButton;
        addButton.setEnabled(true);
        if (!written) {
            // The caption stays, so that the next click tries the bind again.
            context.services.speech.speak(QStringLiteral("绑定失败"));
            return;
        }
        addButton.setText(captions::AddDevice);
        addButton.setLit(false);
    });
}
