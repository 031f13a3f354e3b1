#pragma once

#include <QObject>
#include <QString>

struct Context;

// Turns the bytes of the eight hub links into frames: every complete frame updates its link's
// device number, and a switch echo is reported for the tile side to confirm.
class ByteArrival : public QObject {
    Q_OBJECT
public:
    explicit ByteArrival(Context& context) : context_(context) {}

    // One received byte on hub link 1 ... 8.
    void onByte(int link, quint8 byte);

signals:
    // A complete switch echo (frame kind 81) arrived on link.
    void switchEchoed(int link, const QString& frameText);

private:
    void onFrame(int link, const QString& frameText);

    Context& context_;
};
