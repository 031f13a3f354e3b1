#pragma once

struct Context;
class RemarkBox;

// The events of the 336 remark boxes: a box is highlighted while it has the focus and can be
// edited only while a binding exists, the arrow keys move within a tile page, and Enter or a
// double-click saves the box's text as its tile's remark.
class RemarkEditing {
public:
    explicit RemarkEditing(Context& context) : context_(context) {}

    void onGotFocus(RemarkBox* box);
    void onLostFocus(RemarkBox* box);
    void onKeyDown(RemarkBox* box, int keyCode);
    void onDoubleClicked(RemarkBox* box);

private:
    void moveFocus(RemarkBox* box, int keyCode);
    void save(RemarkBox* box);

    Context& context_;
};
