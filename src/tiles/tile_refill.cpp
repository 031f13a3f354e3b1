#include "tiles/tile_refill.h"

#include "state/context.h"
#include "store/stores.h"
#include "ui/main_window.h"
#include "ui/remark_box.h"

void refillTiles(Context& context) {
    const MainWindow& window = context.window;
    if (context.state.fillMode == 0) {
        for (const MainWindow::Tile& tile : window.ui().tiles)
            tile.remarkBox->clear();
        return;
    }
    TableStore& store = context.store;
    const int records = store.recordCount();
    for (int n = store.currentRecordNumber(); n >= 1 && n <= TileCount && n <= records; ++n) {
        RemarkBox& box = *window.tile(n).remarkBox;
        const QString remark = store.readField(stores::RemarkField);
        // At start most boxes already hold theirs (nothing): set again, each would lay out its
        // text anew and tell screen readers of a change that is none.
        if (box.text() != remark)
            box.setText(remark);
        // Setting the text leaves the cursor behind it, which would show the remark's end.
        box.showStart();
        store.skip();
    }
}
