#pragma once

#include "platform/network.h"

#include <QStringList>

#include <memory>

// The network as the module libhubrix_network.so provides it, loaded at the first query: the
// network library and what it pulls in (Kerberos, TLS) cost a start that never asks for an
// address nothing. Without the module the machine counts as not connected.
class LoadedNetwork : public Network {
public:
    // The module is looked for in these directories, in order.
    explicit LoadedNetwork(QStringList moduleDirs);
    ~LoadedNetwork() override;

    bool isConnected() const override;
    QStringList localAddresses() const override;
    Page get(const QUrl& url) override;

    // Whether the module has been loaded yet.
    bool isLoaded() const { return network_ != nullptr; }

    // The module's file name and the function it exports, which returns a new Network.
    static constexpr char ModuleName[] = "libhubrix_network.so";
    static constexpr char CreateFunction[] = "hubrixCreateNetwork";

private:
    Network* network() const;

    QStringList moduleDirs_;
    mutable std::unique_ptr<Network> network_;
    mutable bool tried_ = false;
};
