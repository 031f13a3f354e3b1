#include "platform/loaded_network.h"

#include "platform/control_listener.h"

#include <QLibrary>

LoadedNetwork::LoadedNetwork(QStringList moduleDirs) : moduleDirs_(std::move(moduleDirs)) {}

LoadedNetwork::~LoadedNetwork() = default;

Network* LoadedNetwork::network() const {
    if (tried_)
        return network_.get();
    tried_ = true;
    for (const QString& directory : moduleDirs_) {
        // The module stays loaded for the rest of the run: its objects outlive any handle.
        QLibrary module(directory + QLatin1Char('/') + QLatin1String(ModuleName));
        module.setLoadHints(QLibrary::PreventUnloadHint);
        using Create = Network* (*)();
        if (const auto create = reinterpret_cast<Create>(module.resolve(CreateFunction))) {
            network_.reset(create());
            break;
        }
    }
    return network_.get();
}

bool LoadedNetwork::isConnected() const {
    const Network* loaded = network();
    return loaded && loaded->isConnected();
}

QStringList LoadedNetwork::localAddresses() const {
    const Network* loaded = network();
    return loaded ? loaded->localAddresses() : QStringList();
}

Network::Page LoadedNetwork::get(const QUrl& url) {
    Network* loaded = network();
    return loaded ? loaded->get(url) : Page();
}

std::unique_ptr<ControlListener> loadControlListener(const QStringList& moduleDirs) {
    for (const QString& directory : moduleDirs) {
        QLibrary module(directory + QLatin1Char('/') + QLatin1String(LoadedNetwork::ModuleName));
        module.setLoadHints(QLibrary::PreventUnloadHint);
        using Create = ControlListener* (*)();
        if (const auto create =
                reinterpret_cast<Create>(module.resolve(ControlListener::CreateFunction)))
            return std::unique_ptr<ControlListener>(create());
    }
    return nullptr;
}
