#pragma once

#include "app/announcing_speech.h"
#include "links/byte_arrival.h"
#include "links/link_life.h"
#include "ops/add_device.h"
#include "ops/binding.h"
#include "ops/connect_run.h"
#include "ops/disconnect.h"
#include "ops/network_address.h"
#include "ops/prompt_sound.h"
#include "ops/remark_search.h"
#include "ops/view_filters.h"
#include "rack/rack_model.h"
#include "state/context.h"
#include "state/global_state.h"
#include "state/rack_events.h"
#include "store/kept_switches.h"
#include "store/table_store.h"
#include "tiles/link_look.h"
#include "tiles/power_cycle.h"
#include "tiles/remark_editing.h"
#include "tiles/tile_clicks.h"
#include "tiles/tile_look.h"
#include "tiles/tile_switches.h"
#include "ui/main_window.h"

#include <memory>
#include <vector>

class SerialPort;

// The whole program on a given set of platform services and a program directory: the window,
// the shared state, the stores, the eight hub links and the handlers wired to their events.
// Construction runs the window-created initialisation; the caller shows the window.
//
// Handlers hold nothing but the context: they re-enter one another through the waits, so
// everything they remember lives in the shared state.
class Program {
public:
    Program(Services services, const QString& programDir);
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    MainWindow& window() { return window_; }
    GlobalState& state() { return state_; }
    RackModel& rack() { return rack_; }
    TableStore& store() { return store_; }
    RackEvents& events() { return events_; }
    SerialPort& port(int link) { return *ports_[size_t(link - 1)]; }
    Context& context() { return context_; }

private:
    // The event table, one group of controls each.
    void wireLinks();
    void wireTileSwitches();
    void wireRack();
    void wireTiles();
    void wireRemarkBoxes();
    void wireSearchAndFavourites();
    void wireCommandButtons();
    void wireStatusLine();
    void restoreKeptSwitches();

    GlobalState state_;
    MainWindow window_;
    TableStore store_;
    RackEvents events_;
    // What the handlers speak through.
    AnnouncingSpeech speech_;
    std::vector<std::unique_ptr<SerialPort>> ports_;
    KeptSwitches kept_;
    RackModel rack_;
    Context context_;
    ByteArrival byteArrival_;
    LinkLife linkLife_;
    ConnectRun connectRun_;
    TileClicks tileClicks_;
    TileSwitches tileSwitches_;
    TileLook tileLook_;
    LinkLook linkLook_;
    RemarkEditing remarkEditing_;
    RemarkSearch remarkSearch_;
    ViewFilters viewFilters_;
    Binding binding_;
    Disconnect disconnect_;
    NetworkAddress networkAddress_;
    AddDevice addDevice_;
    PromptSound promptSound_;
    PowerCycle powerCycle_;
};
