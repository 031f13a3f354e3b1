#pragma once

struct Context;
class StyledButton;

// The prompt-sound switch of the menu 设置 and the tune it governs: the item's tick and caption
// say whether 超级按钮1 plays the tune when clicked. The other buttons keep their own switch.
class PromptSound {
public:
    explicit PromptSound(Context& context) : context_(context) {}

    void onItemChosen();
    // Runs before the button's own click handler, as a button's sound comes with the press,
    // whatever the handler then sends or says.
    void onButtonClicked(StyledButton* button);

private:
    Context& context_;
};
