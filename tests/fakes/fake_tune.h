#pragma once

#include "platform/tune.h"

class FakeTune : public Tune {
public:
    void play() override { ++plays; }
    int plays = 0;
};
