#include "net/CloseDrain.h"
#include "net/WinsockErrors.h"

#include <QTimer>
#include <cerrno>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

namespace ostrel {

CloseDrain::CloseDrain(int fd, QObject* parent, std::function<void(int)> done)
    : QObject(parent), fd_{fd}, notifier_(fd, QSocketNotifier::Read, this),
      done_(std::move(done)) {
    notifier_.setEnabled(false);
    connect(&notifier_, &QSocketNotifier::activated, this, [this] {
        char buffer[4096];
        const ssize_t n = ::recv(fd_.fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n == 0)
            finish(0);
        else if (n < 0 && errno != EAGAIN && errno != EINTR)
            finish(errno == ECONNRESET ? wsa::ConnectionReset : wsa::ConnectionAborted);
    });
    QTimer::singleShot(CloseGraceMs, this, [this] { finish(wsa::TimedOut); });
}

void CloseDrain::start() {
    ::shutdown(fd_.fd, SHUT_WR);
    notifier_.setEnabled(true);
}

void CloseDrain::finish(int error) {
    notifier_.setEnabled(false);
    if (const auto done = std::exchange(done_, {})) done(error);
    deleteLater();
}

CloseDrain::Fd::~Fd() {
    ::close(fd);
}

} // namespace ostrel
