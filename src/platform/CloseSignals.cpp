#include "platform/CloseSignals.h"

#include <QPointer>
#include <QSocketNotifier>
#include <QtGlobal>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace ostrel {

namespace {

constexpr int handledSignals[] = {SIGTERM, SIGINT, SIGHUP};

// Written only by the constructor and destructor on the user-interface thread; the
// handler only reads it.
volatile sig_atomic_t writeFd = -1;
int readFd = -1;
// Set by the first signal; a second one ends the process at once.
volatile sig_atomic_t signalled = 0;
struct sigaction previousActions[std::size(handledSignals)];

extern "C" void onCloseSignal(int signo) {
    // A close already under way that has not ended is not waited for a second time.
    if (signalled) ::_exit(128 + signo);
    signalled = 1;
    const int savedErrno = errno;
    const int fd = writeFd;
    if (fd >= 0) {
        const unsigned char byte = static_cast<unsigned char>(signo);
        [[maybe_unused]] const ssize_t n = ::write(fd, &byte, 1);
    }
    errno = savedErrno;
}

} // namespace

CloseSignals::CloseSignals(QObject* parent) : QObject(parent) {
    if (readFd >= 0) {
        qWarning("CloseSignals: already installed; this instance stays inactive");
        return;
    }
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
        qWarning("CloseSignals: pipe2 failed (%d)", errno);
        return;
    }
    readFd = fds[0];
    writeFd = fds[1];
    signalled = 0;

    notifier_ = new QSocketNotifier(readFd, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &CloseSignals::readPipe);

    struct sigaction action {};
    action.sa_handler = onCloseSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < std::size(handledSignals); ++i)
        ::sigaction(handledSignals[i], &action, &previousActions[i]);
}

CloseSignals::~CloseSignals() {
    if (!notifier_) return;
    for (std::size_t i = 0; i < std::size(handledSignals); ++i)
        ::sigaction(handledSignals[i], &previousActions[i], nullptr);
    delete notifier_;
    notifier_ = nullptr;
    const int w = writeFd;
    writeFd = -1;
    ::close(w);
    ::close(readFd);
    readFd = -1;
}

void CloseSignals::readPipe() {
    unsigned char buffer[64];
    for (;;) {
        const ssize_t n = ::read(readFd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        // A receiver may close the window that owns this object.
        const QPointer<CloseSignals> alive(this);
        for (ssize_t i = 0; i < n && alive; ++i)
            emit closeRequested(buffer[i]);
        if (!alive) return;
    }
}

} // namespace ostrel
