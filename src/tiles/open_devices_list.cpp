#include "tiles/open_devices_list.h"

#include "state/context.h"
#include "ui/main_window.h"

#include <QListWidget>

namespace {
const QString ListSeparator = QStringLiteral("：");

int lineTile(const QString& line) {
    return line.section(ListSeparator, 0, 0).toInt();
}

QString lineText(int tile, const QString& remark) {
    return QString::number(tile) + ListSeparator +
           (remark.isEmpty() ? QStringLiteral("没有备注") : remark);
}

// nullptr when tile has no line.
QListWidgetItem* lineOf(QListWidget& list, int tile) {
    for (int row = 0; row < list.count(); ++row) {
        if (lineTile(list.item(row)->text()) == tile)
            return list.item(row);
    }
    return nullptr;
}
} // namespace

namespace open_devices {

void add(Context& context, int tile, const QString& remark) {
    QListWidget& list = *context.window.ui().openDevices;
    if (!lineOf(list, tile))
        list.addItem(lineText(tile, remark));
}

void remove(Context& context, int tile) {
    QListWidget& list = *context.window.ui().openDevices;
    delete lineOf(list, tile);
}

void update(Context& context, int tile, const QString& remark) {
    if (QListWidgetItem* line = lineOf(*context.window.ui().openDevices, tile))
        line->setText(lineText(tile, remark));
}

} // namespace open_devices
