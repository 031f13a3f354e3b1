#include "ops/stage_controls.h"

#include "state/context.h"
#include "ui/captions.h"
#include "ui/colours.h"
#include "ui/main_window.h"
#include "ui/styled_button.h"

#include <QPushButton>

namespace {
QString connectCaption(ConnectStage stage, int link) {
    switch (stage) {
    case ConnectStage::Start:
        return captions::ConnectStart;
    case ConnectStage::Query:
        return captions::ConnectQuery;
    case ConnectStage::QueryDone:
        return captions::ConnectQueryDone;
    case ConnectStage::Bound:
        return captions::ConnectBound;
    case ConnectStage::Connecting:
        return captions::Connecting;
    case ConnectStage::Connected:
        return QStringLiteral("已连接");
    case ConnectStage::BoundDone:
        return QStringLiteral("连接完毕");
    case ConnectStage::LinkConnected:
        return QStringLiteral("连接成功") + QString::number(link);
    }
    return {};
}
} // namespace

void showConnectStage(Context& context, ConnectStage stage, int link) {
    context.state.connectStage = stage;
    context.state.connectedLink = link;
    context.window.ui().connectButton->setText(connectCaption(stage, link));
}

void showAddDevice(Context& context) {
    const AddDeviceStage& stage = context.state.addDevice;
    StyledButton& button = *context.window.ui().addDeviceButton;
    button.setEnabled(stage.offered);
    button.setLit(stage.boardFound);
    if (stage.boardFound) {
        button.setColourSlot(2, colour::Green);
        button.setColourSlot(4, colour::Green);
    }
    if (!stage.bindNext)
        button.setText(captions::AddDevice);
    else if (stage.queryLink != 0)
        button.setText(QStringLiteral("正在查询") + QString::number(stage.queryLink));
    else
        button.setText(captions::BindDevice);
}

void resetAddDevice(Context& context, bool offered) {
    context.state.addDevice = AddDeviceStage{.offered = offered};
    showAddDevice(context);
}

void offerUnbind(Context& context, bool offered) {
    context.state.unbindOffered = offered;
    context.window.ui().unbindButton->setEnabled(offered);
}
