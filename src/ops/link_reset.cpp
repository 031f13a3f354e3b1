#include "ops/link_reset.h"

#include "app/context.h"
#include "platform/serial_port.h"
#include "ui/captions.h"
#include "ui/main_window.h"
#include "ui/tab_control.h"

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
