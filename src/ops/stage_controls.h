#pragma once

#include "state/global_state.h"

struct Context;

// Command controls whose captions and looks stand for a stage kept in the state. Each setter
// changes the state and draws the control from it, so that no handler needs to read a control
// back to know where a procedure stands.

// 按钮1_查询连接 at stage; link is the link that LinkConnected names.
void showConnectStage(Context& context, ConnectStage stage, int link = 0);
// 超级按钮337 drawn from the add-device stage after a change to it.
void showAddDevice(Context& context);
// 超级按钮337 back at the query stage in its plain look; offered says whether it takes clicks.
void resetAddDevice(Context& context, bool offered);
// 按钮5_解除绑定 offered or taken away, and with it the editing of remarks.
void offerUnbind(Context& context, bool offered);
