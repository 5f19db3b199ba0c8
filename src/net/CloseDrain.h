#pragma once
#include <QObject>
#include <QSocketNotifier>
#include <functional>

namespace ostrel {

// How long an orderly close may take to hand over queued data before it is cut off.
constexpr int CloseGraceMs = 30000;

// Keeps a system socket open after its Qt socket has let go of it, until the peer closes
// too (or CloseGraceMs pass), and tells how the peer closed: 0 in order, 10054 when it
// reset the connection.
// - An encrypted connection: a TLS 1.3 server sends session tickets after its handshake,
//   possibly after our last byte; data arriving at a socket no one holds makes the system
//   reset the connection, and what was still queued for sending (the end of an upload) is
//   lost. Started once the QSslSocket has handed everything, its close_notify included, to
//   the system; whatever arrives is read and dropped.
// - FinishSending: a peer that resets the connection instead of closing it dropped data
//   the system had taken from us; Qt reads a reset as an orderly end, this tells them apart.
class CloseDrain : public QObject {
public:
    CloseDrain(int fd, QObject* parent, std::function<void(int)> done = {});
    // Ends our direction (FIN) and waits for the peer's end.
    void start();

private:
    void finish(int error);
    struct Fd {
        int fd;
        ~Fd();
    } fd_; // closed after the notifier is gone
    QSocketNotifier notifier_;
    std::function<void(int)> done_;
};

} // namespace ostrel
