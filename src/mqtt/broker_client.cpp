#include "mqtt/broker_client.h"

#include <QLibrary>

std::unique_ptr<BrokerClient> loadBrokerClient(const QStringList& moduleDirs) {
    for (const QString& directory : moduleDirs) {
        // The module stays loaded for the rest of the run: its thread may outlive any handle.
        QLibrary module(directory + QLatin1Char('/') + QLatin1String(BrokerClient::ModuleName));
        module.setLoadHints(QLibrary::PreventUnloadHint);
        using Create = BrokerClient* (*)();
        if (const auto create =
                reinterpret_cast<Create>(module.resolve(BrokerClient::CreateFunction)))
            return std::unique_ptr<BrokerClient>(create());
    }
    return nullptr;
}
