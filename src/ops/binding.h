#pragma once

#include <functional>

struct Context;

// Ties the boards found to the hub links (按钮4_绑定) and removes that tie again
// (按钮5_解除绑定), which resets the whole device map: links, remarks and favourites.
class Binding {
public:
    explicit Binding(Context& context) : context_(context) {}

    void onBindClicked();
    void onUnbindClicked();

private:
    void unbound();
    void resetSearchAndLists();
    void resetStores(std::function<void(bool reset)> answer);

    Context& context_;
};
