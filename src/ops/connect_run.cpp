#include "ops/connect_run.h"

#include "hub/frame_codec.h"
#include "links/link_life.h"
#include "ops/screen_procedures.h"
#include "ops/stage_controls.h"
#include "platform/dialogs.h"
#include "platform/serial_port.h"
#include "platform/waits.h"
#include "rack/rack_model.h"
#include "state/context.h"
#include "store/store_session.h"
#include "store/stores.h"
#include "ui/captions.h"
#include "ui/colours.h"
#include "ui/drop_list.h"
#include "ui/lamp.h"
#include "ui/main_window.h"
#include "ui/styled_button.h"
#include "ui/tab_control.h"
#include "ui/text_box.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

namespace {
constexpr int FrameLength = frame::TextLength;

QString linkName(int link) {
    return QStringLiteral("端口") + QString::number(link);
}

// Counts a run as going for as long as it lives.
class RunCount {
public:
    explicit RunCount(int& count) : count_(++count) {}
    ~RunCount() { --count_; }
    RunCount(const RunCount&) = delete;
    RunCount& operator=(const RunCount&) = delete;

private:
    int& count_;
};

constexpr int MaxConnectRuns = 2;
} // namespace

void ConnectRun::onConnectClicked() {
    GlobalState& state = context_.state;
    // A click during a probe wait runs a whole run inside it; one level of that is kept, but a
    // click inside the nested run does nothing, or clicks would pile runs up without end.
    if (state.connectRunsGoing >= MaxConnectRuns)
        return;
    const RunCount going(state.connectRunsGoing);
    const auto& ui = context_.window.ui();
    state.connectDone = 0;
    state.fillMode = 1;
    const ConnectStage stage = state.connectStage;
    if (stage == ConnectStage::Query || stage == ConnectStage::QueryDone)
        state.linkMode = LinkMode::Query;
    else if (stage == ConnectStage::Bound)
        state.linkMode = LinkMode::Bound;
    state.probeWait = ui.probeWaitList->currentText().toInt();
    state.refusedPorts.clear();

    if (state.linkMode == LinkMode::Query)
        queryRun();
    // A binding made during one of the query run's waits switches this click to a bound run.
    if (state.linkMode == LinkMode::Bound && !state.closing)
        boundRun();
}

void ConnectRun::queryRun() {
    GlobalState& state = context_.state;
    const auto& ui = context_.window.ui();
    showConnectStage(context_, ConnectStage::Connecting);
    ui.disconnectButton->setText(QStringLiteral("停止连接"));
    for (int k = 1; k <= LinkCount; ++k) {
        linkScan(k);
        if (k == LinkCount)
            state.connectDone = 1;
        const LinkState& link = state.links[size_t(k - 1)];
        if (context_.rack.isFound(k)) {
            showConnectStage(context_, ConnectStage::Connected);
            ui.disconnectButton->setText(QStringLiteral("断开连接"));
            ui.bindButton->setEnabled(true);
            if (k == LinkCount)
                showConnectStage(context_, ConnectStage::QueryDone);
            linkFound(context_, k,
                      linkName(k) + QStringLiteral("设备号：") +
                          QString::number(hex_to_int(link.deviceNumber)));
        } else {
            ui.tileArea->setPageEnabled(k - 1, false);
        }
    }
    if (!context_.rack.anyFound())
        noBoardFound(ConnectStage::Query, QStringLiteral("断开连接"));
}

void ConnectRun::linkScan(int link) {
    const LinkState& linkState = context_.state.links[size_t(link - 1)];
    if (context_.rack.isFound(link))
        return;
    LinkLife life(context_);
    life.stop(link);
    for (int n = 1; n <= SerialPortCount && probing(LinkMode::Query); ++n) {
        if (!probe(link, n, frame::queryText(n)))
            continue;
        // A run nested in the wait may have found the board for this link already.
        if (context_.rack.isFound(link))
            return;
        if (linkState.receiver.answerLength() == FrameLength) {
            life.found(link);
            return;
        }
    }
    life.stop(link);
}

void ConnectRun::boundRun() {
    GlobalState& state = context_.state;
    const auto& ui = context_.window.ui();
    {
        // Each link compares with the binding record through the alias, during its waits too.
        const StoreSession binding = StoreSession::binding(context_.store, context_.programDir);
        showConnectStage(context_, ConnectStage::Connecting);
        ui.disconnectButton->setText(QStringLiteral("停止连接"));
        showConnectStage(context_, ConnectStage::Connecting);
        for (int k = 1; k <= LinkCount; ++k) {
            boundConnect(k);
            if (!context_.rack.isFound(k))
                ui.tileArea->setPageEnabled(k - 1, false);
            ui.disconnectButton->setText(QStringLiteral("断开连接"));
        }
        showConnectStage(context_, ConnectStage::BoundDone);
    }
    if (!context_.rack.anyFound()) {
        noBoardFound(ConnectStage::Bound, QStringLiteral("已断开"));
        return;
    }
    for (QWidget* control :
         {static_cast<QWidget*>(ui.favouriteViewButton), static_cast<QWidget*>(ui.favourites),
          static_cast<QWidget*>(ui.searchText), static_cast<QWidget*>(ui.searchButton)})
        control->setEnabled(true);
    state.addDevice.offered = true;
    showAddDevice(context_);
    ui.searchResults->setEnabled(true);
    state.connectDone = 1;
}

// At most two passes: a board that answers late in the first is taken in the second.
void ConnectRun::boundConnect(int link) {
    if (!boundPass(link))
        boundPass(link);
}

// One pass over serial ports 1 ... 30; true when the link needs no further pass.
bool ConnectRun::boundPass(int link) {
    LinkState& linkState = context_.state.links[size_t(link - 1)];
    TableStore& store = context_.store;
    const QString bound = store.readField(link, stores::BindingAlias);
    // A link bound to no board is not probed.
    if (bound.isEmpty() || (context_.rack.isFound(link) && linkState.deviceNumber == bound))
        return true;
    LinkLife life(context_);
    life.stop(link);
    for (int n = 1; n <= SerialPortCount && probing(LinkMode::Bound); ++n) {
        if (!probe(link, n, frame::BoundQueryText))
            continue;
        if (context_.rack.isFound(link))
            return true;
        // The binding may change during the wait: compare with what it holds now.
        const QString boundNow = store.readField(link, stores::BindingAlias);
        if (linkState.receiver.answerLength() != FrameLength || boundNow != linkState.deviceNumber)
            continue;
        life.found(link);
        showConnectStage(context_, ConnectStage::LinkConnected, link);
        linkFound(context_, link,
                  linkName(link) + QStringLiteral("绑定设备号：") +
                      QString::number(hex_to_int(boundNow)));
        return true;
    }
    life.stop(link);
    return false;
}

// Opens serial port n for link, sends it a query frame and waits for the answer; false when
// the port did not open. The link starts with an empty receive buffer: bytes from another port
// are no part of this answer.
bool ConnectRun::probe(int link, int n, const QString& queryText) {
    LinkState& linkState = context_.state.links[size_t(link - 1)];
    SerialPort& port = *context_.ports[size_t(link - 1)];
    linkState.probeCounter = n;
    port.setPortNumber(n);
    if (!openProbe(port))
        return false;
    linkState.receiver.clear();
    linkState.sentQuery = queryText.toUpper();
    port.send(hex_to_bytes(queryText));
    context_.services.waits.wait(context_.state.probeWait);
    return true;
}

// A port that this account may not open is remembered, to say so if the run finds nothing.
bool ConnectRun::openProbe(SerialPort& port) {
    if (port.open())
        return true;
    if (port.lastOpenError() == SerialPort::OpenError::PermissionDenied)
        context_.state.refusedPorts.insert(port.portNumber());
    return false;
}

// A stop sets another link mode; a window that agreed to close ends every probe loop too.
bool ConnectRun::probing(LinkMode mode) const {
    return context_.state.linkMode == mode && !context_.state.closing;
}

void ConnectRun::noBoardFound(ConnectStage connectStage, const QString& disconnectCaption) {
    const auto& ui = context_.window.ui();
    // After the window agreed to close, the run only unwinds.
    if (context_.state.closing)
        return;
    // An account that may not use serial devices finds no board on a machine full of them;
    // without a word on why, that looks like a wiring fault.
    const qsizetype refused = context_.state.refusedPorts.size();
    const QString detail =
        refused == 0 ? QString()
                     : QStringLiteral("有%1个串口存在，但当前账户没有打开它们的权限。"
                                      "在 Linux 上请把当前账户加入 dialout 组"
                                      "（sudo usermod -aG dialout $USER），然后注销并重新登录。")
                           .arg(refused);
    // A script's run opens no box: its reply says it.
    if (context_.state.scriptedRun)
        context_.state.scriptedRunNote =
            QStringLiteral("没有找到可连接的设备") + (detail.isEmpty() ? QString() : u' ' + detail);
    else
        context_.services.dialogs.show(QStringLiteral("没有找到可连接的设备"),
                                       QStringLiteral("设备未找到"), Dialogs::Icon::Question,
                                       Dialogs::Buttons::Ok, detail);
    showConnectStage(context_, connectStage);
    ui.disconnectButton->setText(disconnectCaption);
}
