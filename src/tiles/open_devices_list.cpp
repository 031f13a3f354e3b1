#include "tiles/open_devices_list.h"

#include "state/context.h"
#include "ui/main_window.h"

#include <QListWidget>

namespace {
const QString ListSeparator = QStringLiteral("：");

int lineTile(const QString& line) {
    return line.section(ListSeparator, 0, 0).toInt();
}

int rowOf(const QListWidget& list, int tile) {
    for (int row = 0; row < list.count(); ++row) {
        if (lineTile(list.item(row)->text()) == tile)
            return row;
    }
    return -1;
}
} // namespace

namespace open_devices {

void add(Context& context, int tile, const QString& remark) {
    QListWidget& list = *context.window.ui().openDevices;
    if (rowOf(list, tile) >= 0)
        return;
    list.addItem(QString::number(tile) + ListSeparator +
                 (remark.isEmpty() ? QStringLiteral("没有备注") : remark));
}

void remove(Context& context, int tile) {
    QListWidget& list = *context.window.ui().openDevices;
    const int row = rowOf(list, tile);
    if (row >= 0)
        delete list.takeItem(row);
}

} // namespace open_devices
