#pragma once

#include <QByteArray>
#include <QString>

// hubrixctl's end of the control channel: a blocking Unix-domain stream socket. Plain system
// calls rather than Qt's network module, whose loading alone would cost a short command
// several times the program's own answer.
class LocalConnection {
public:
    LocalConnection() = default;
    ~LocalConnection();
    LocalConnection(const LocalConnection&) = delete;
    LocalConnection& operator=(const LocalConnection&) = delete;

    bool connectTo(const QString& path);
    // Stops early when the program has closed its end; reading then tells what it said.
    void write(const QByteArray& bytes);
    // The next line without its line end; false once the program has closed the connection
    // and no whole line is left.
    bool readLine(QByteArray* line);

private:
    int fd_ = -1;
    QByteArray buffer_;
};
