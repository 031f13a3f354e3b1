#pragma once

struct Context;
class StoreSession;

// 超级按钮337 adds boards plugged in after the binding, in two clicks. Its caption is the
// stage: "添加设备" queries every hub link whose binding field is empty and shows the boards
// found; any other caption stores the device numbers of the boards found as the binding of
// their links, leaving the links bound before as they were. The
// lit look says that a board was found since the last bind.
class AddDevice {
public:
    explicit AddDevice(Context& context) : context_(context) {}

    void onAddDeviceClicked();

private:
    void queryStage();
    bool showAnswer(int link);
    void bindStage(const StoreSession& binding);
    bool interrupted() const;

    Context& context_;
};
