#pragma once

#include <QString>

// Speaks the program's voice prompts. speak() returns at once; prompts are spoken in the order
// given, none cutting off the one before.
class Speech {
public:
    virtual ~Speech() = default;
    virtual void speak(const QString& text) = 0;
};
