#pragma once

#include "platform/network.h"

#include <QList>

#include <functional>

// A network with a scripted state and page; every GET is recorded.
class FakeNetwork : public Network {
public:
    bool isConnected() const override { return connected; }
    QStringList localAddresses() const override { return addresses; }
    Page get(const QUrl& url) override {
        const int index = int(gets.size());
        gets.append(url);
        // A real GET handles UI events while it waits; this is where the test's ones run.
        if (duringGet)
            duringGet(index);
        return page;
    }

    bool connected = true;
    QStringList addresses;
    // What every GET returns; empty stands for a failed request.
    Page page;
    QList<QUrl> gets;
    // Runs during every GET, with the 0-based number of that GET.
    std::function<void(int get)> duringGet;
};
