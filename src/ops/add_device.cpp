#include "ops/add_device.h"

#include "hub/frame_codec.h"
#include "ops/binding_record.h"
#include "ops/connect_run.h"
#include "ops/screen_procedures.h"
#include "ops/stage_controls.h"
#include "platform/speech.h"
#include "rack/rack_model.h"
#include "state/context.h"
#include "store/store_session.h"
#include "store/stores.h"
#include "ui/main_window.h"

#include <QComboBox>

void AddDevice::onAddDeviceClicked() {
    const StoreSession binding = StoreSession::binding(context_.store, context_.programDir);
    context_.state.probeWait = context_.window.ui().probeWaitList->currentText().toInt();
    if (!context_.state.addDevice.bindNext)
        queryStage();
    else
        bindStage(binding);
}

void AddDevice::queryStage() {
    GlobalState& state = context_.state;
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
        if (k == LinkCount && !answered) {
            state.addDevice.bindNext = state.addDevice.boardFound;
            state.addDevice.queryLink = 0;
            showAddDevice(context_);
        }
    }
    // The links were bound before this click, and stay so: a later disconnect and connect
    // must look for the bound boards, not take whichever board answers first.
    if (anyQueried)
        state.linkMode = LinkMode::Bound;
}

// Shows the board that the scan found on link; true when a board answered, whatever its
// device number.
bool AddDevice::showAnswer(int link) {
    LinkState& linkState = context_.state.links[size_t(link - 1)];
    AddDeviceStage& stage = context_.state.addDevice;
    const bool answered = context_.rack.isFound(link);
    const int deviceNumber = answered ? hex_to_int(linkState.deviceNumber) : 0;
    stage.bindNext = true;
    stage.queryLink = deviceNumber == 0 ? link : 0;
    stage.boardFound = stage.boardFound || deviceNumber != 0;
    showAddDevice(context_);
    if (deviceNumber == 0)
        return answered;
    if (link == LinkCount)
        showConnectStage(context_, ConnectStage::QueryDone);
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
    return state.closing || state.linkMode != LinkMode::Query || !state.addDevice.offered;
}

// Only the fields the query stage could fill change: a bound link whose board is absent keeps
// its board, rather than taking whichever board last answered its probes.
void AddDevice::bindStage(const StoreSession& binding) {
    // No second click while the record is on its way.
    context_.state.addDevice.offered = false;
    showAddDevice(context_);
    Context& context = context_;
    writeBindingRecord(context_, binding, BindingScope::NewLinks, [&context](bool written) {
        if (!written) {
            // The stage stays, so that the next click tries the bind again.
            context.state.addDevice.offered = true;
            showAddDevice(context);
            context.services.speech.speak(QStringLiteral("绑定失败"));
            return;
        }
        resetAddDevice(context, true);
    });
}
