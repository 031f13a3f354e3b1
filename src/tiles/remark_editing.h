#pragma once

#include <QString>

#include <functional>

struct Context;
class RemarkBox;

// The rules a tile's remark is kept by, for the remark boxes and for scripts alike.
namespace remark_rules {
inline const QString EmptyPrompt = QStringLiteral("你还没有输入内容");
inline const QString NotBoundPrompt = QStringLiteral("请先绑定设备");
inline const QString TooLongPrompt = QStringLiteral("备注最多20个字节");

// Remarks can be edited only while a binding exists, which 按钮5_解除绑定 being enabled shows.
bool editable(const Context& context);
// What is said when text may not be saved as a remark; empty when it may. A box never holds
// a longer text than the field, but a script can send one.
QString refusal(const Context& context, const QString& text);
// Writes text into tile's record; every read sees it at once. answer is told what is said
// about it once that is known: a success only once the write is durable, a failure when it
// was refused or did not land (and then reads see the remark as it was).
using Answer = std::function<void(bool saved, const QString& prompt)>;
void write(Context& context, int tile, const QString& text, Answer answer);
} // namespace remark_rules

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
