#pragma once

#include <QByteArray>

#include <initializer_list>

// Bytes written as numbers, the way frames are given on the wire.
inline QByteArray bytes(std::initializer_list<int> values) {
    QByteArray result;
    for (int value : values)
        result.append(char(value));
    return result;
}
