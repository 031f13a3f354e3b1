#pragma once

#include <QByteArray>
#include <QString>

// hubrixctl's end of the control channel: a blocking Unix-domain stream socket. Plain system
// calls rather than Qt's network module, whose loading alone would cost a short command
// several times the program's own answer.
class LocalConnection {
public:
    enum class Outcome {
        Done,
        // No program listens there.
        Absent,
        // The program took nothing or sent nothing within the time given.
        Silent,
        // The program closed the connection, and no whole line is left.
        Closed,
    };

    LocalConnection() = default;
    ~LocalConnection();
    LocalConnection(const LocalConnection&) = delete;
    LocalConnection& operator=(const LocalConnection&) = delete;

    // silenceMs bounds the connect and every write: a stopped program's full backlog or
    // socket buffer must not hold us for ever.
    Outcome connectTo(const QString& path, int silenceMs);
    // Stops early when the program has closed its end; reading then tells what it said.
    void write(const QByteArray& bytes);
    // The next line without its line end, waiting at most silenceMs (-1: for ever) for the
    // program to send anything.
    Outcome readLine(QByteArray* line, int silenceMs);

private:
    int fd_ = -1;
    QByteArray buffer_;
};
