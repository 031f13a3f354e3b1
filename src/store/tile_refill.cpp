#include "store/tile_refill.h"

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
        window.tile(n).remarkBox->setText(store.readField(stores::RemarkField));
        store.skip();
    }
}
