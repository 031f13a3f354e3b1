#include "platform/control_server.h"

#include <QFile>
#include <QLocalSocket>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {
constexpr char OtherUser[] = R"({"ok":false,"peerRefused":true,)"
                             R"("error":"refused: this program belongs to another user"})"
                             "\n";
constexpr char TooMany[] = R"({"ok":false,"error":"refused: too many connections, )"
                           R"(at most 64 at once"})"
                           "\n";
constexpr char NoDescriptors[] = R"({"ok":false,"error":"refused: the program has no )"
                                 R"(file descriptors left, try again later"})"
                                 "\n";
static_assert(ControlServer::MaxConnections == 64, "the refusal names the limit");

// The user id of the process at the other end of a connected local socket.
bool peerIsThisUser(int fd) {
    ucred peer{};
    socklen_t size = sizeof peer;
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0)
        return false;
    return peer.uid == ::geteuid();
}

bool answers(const QString& path) {
    QLocalSocket probe;
    probe.connectToServer(path);
    return probe.waitForConnected(500);
}

int openReserve() {
    return ::open("/dev/null", O_RDONLY | O_CLOEXEC);
}
} // namespace

ControlServer::ControlServer(QObject* parent) : QObject(parent), reserve_(openReserve()) {
    connect(&notifier_, &QSocketNotifier::activated, this, &ControlServer::takeConnections);
    resume_.setSingleShot(true);
    connect(&resume_, &QTimer::timeout, this, [this] {
        if (reserve_ < 0)
            reserve_ = openReserve();
        notifier_.setEnabled(true);
    });
}

ControlServer::~ControlServer() {
    if (listener_ >= 0) {
        notifier_.setEnabled(false);
        ::close(listener_);
        QFile::remove(path_);
    }
    if (reserve_ >= 0)
        ::close(reserve_);
}

bool ControlServer::listen(const QString& path) {
    if (path.isEmpty()) {
        error_ = QStringLiteral("no private runtime directory for the control socket");
        return false;
    }
    if (QFile::exists(path)) {
        if (answers(path)) {
            error_ = QStringLiteral("another program already listens on ") + path;
            return false;
        }
        QFile::remove(path);
    }
    const QByteArray name = QFile::encodeName(path);
    sockaddr_un address{};
    if (size_t(name.size()) >= sizeof address.sun_path) {
        error_ = QStringLiteral("the socket's path is too long: ") + path;
        return false;
    }
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0 || ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, SOMAXCONN) != 0) {
        error_ = QString::fromLocal8Bit(std::strerror(errno)) + QStringLiteral(": ") + path;
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    // The directory is private already; the socket itself is too, in case it is linked out.
    ::chmod(name.constData(), 0600);
    listener_ = fd;
    path_ = path;
    notifier_.setSocket(fd);
    notifier_.setEnabled(true);
    return true;
}

// A bounded number per turn, so that a crowd of clients leaves the window its turns.
void ControlServer::takeConnections() {
    for (int taken = 0; taken < MaxConnections && takeOne(); ++taken) {
    }
}

bool ControlServer::takeOne() {
    const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd >= 0) {
        warned_ = false;
        if (!peerIsThisUser(fd))
            refuse(fd, OtherUser);
        else if (connections_ >= MaxConnections)
            refuse(fd, TooMany);
        else
            serve(fd);
        return true;
    }
    if (errno == EINTR || errno == ECONNABORTED)
        return true;
    if (errno == EAGAIN || errno == EWOULDBLOCK)
        return false;
    // Out of descriptors (or kernel memory): one waiting client is told so through the
    // reserve, the others wait in the backlog until descriptors come free.
    if (!warned_) {
        qWarning("hubrix: the control channel cannot take a connection (%s); it keeps "
                 "listening and tries again",
                 std::strerror(errno));
        warned_ = true;
    }
    if (reserve_ >= 0) {
        ::close(reserve_);
        const int waiting = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (waiting >= 0)
            refuse(waiting, NoDescriptors);
        reserve_ = openReserve();
    }
    notifier_.setEnabled(false);
    resume_.start(AcceptPauseMs);
    return false;
}

// The client reads the line before it sees the end of the connection.
void ControlServer::refuse(int fd, const char* line) {
    ::send(fd, line, std::strlen(line), MSG_NOSIGNAL | MSG_DONTWAIT);
    ::close(fd);
}

void ControlServer::serve(int fd) {
    auto* socket = new QLocalSocket(this);
    if (!socket->setSocketDescriptor(fd)) {
        ::close(fd);
        delete socket;
        return;
    }
    // Past this the socket stops reading, and the client's writes wait for the program.
    socket->setReadBufferSize(ReadBufferBytes);
    ++connections_;
    connect(socket, &QObject::destroyed, this, [this] { --connections_; });
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    // A client that stops reading would keep a closed connection, and its replies, forever.
    connect(socket, &QLocalSocket::stateChanged, socket,
            [socket](QLocalSocket::LocalSocketState state) {
                if (state == QLocalSocket::ClosingState)
                    QTimer::singleShot(CloseGraceMs, socket, [socket] {
                        socket->abort();
                        socket->deleteLater();
                    });
            });
    if (acceptor_)
        acceptor_(socket);
}

extern "C" Q_DECL_EXPORT ControlListener* hubrixCreateControlListener() {
    return new ControlServer;
}
