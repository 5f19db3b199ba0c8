// Hostile JPEG pictures: plain grey progressive pictures whose last scan is repeated until
// the file holds 1300 scans, each of which walks the whole picture.
//   Load/<picture>/<limits>  loadPicture at the remote host window's picture size, with a
//                   local file's or a server picture's limits. Label: the refusal.
//                   Counter: peak_MiB = the most memory the process held during the case.
//   Window/<picture>  the remote host window (offscreen) viewing the picture from the local
//                   pyftpdlib server of tests/peers, from the click until the placeholder is
//                   shown. The area is asked for a repaint every 5 ms; worst_ms = the longest
//                   time between two of its paints (5 ms when the window never waits),
//                   busy_ms = the user-interface thread's CPU time within it (the rest it
//                   waited for a processor).
// The 16384 x 16384 picture (1.5 MB) passes the checks on the file's size; the 4096 x 4096
// one is within a server picture's size and the coefficient memory allowed.
#include "../tests/net/Peer.h"
#include "../tests/picture/ProgressiveJpeg.h"
#include "CpuTime.h"
#include "net/FtpClient.h"
#include "net/NetworkSettings.h"
#include "picture/PictureLoading.h"
#include "platform/PictureArea.h"
#include "ui_unBrowser.h"
#include "web/WebPageState.h"
#include "web/unBrowser.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <benchmark/benchmark.h>
#include <ctime>
#include <memory>

using namespace ostrel;

namespace {

constexpr int Scans = 1300;
QTemporaryDir* served = nullptr; // the FTP server's folder

QString fileFor(int side) {
    return served->filePath(QStringLiteral("grey%1.jpg").arg(side));
}

void writeHostile(int side) {
    QImage grey(side, side, QImage::Format_Grayscale8);
    grey.fill(128);
    const QByteArray jpeg = test::progressiveJpeg(grey, Scans);
    QFile file(fileFor(side));
    if (jpeg.isEmpty() || !file.open(QIODevice::WriteOnly) || file.write(jpeg) != jpeg.size())
        qFatal("Cannot write the hostile picture");
}

// The process's peak resident memory since the last reset, in MiB (Linux's VmHWM).
void resetPeakMemory() {
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly)) clear.write("5");
}
double peakMemoryMiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024;
    return -1;
}

void Load(benchmark::State& state, int side, bool fromServer) {
    const QString path = fileFor(side);
    QString refusal = QStringLiteral("shown");
    resetPeakMemory();
    for (auto _ : state) {
        try {
            benchmark::DoNotOptimize(
                loadPicture(path, QSize(400, 300), fromServer ? ServerPicture : PictureLimits{}));
        } catch (const Exception& e) {
            refusal = e.message().section(QStringLiteral(": "), -1);
        }
    }
    state.counters["peak_MiB"] = peakMemoryMiB();
    state.counters["KB"] = double(QFile(path).size()) / 1024;
    state.SetLabel(refusal.toStdString());
}

// The CPU time this thread has used, in ns.
qint64 threadCpuNs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
}

// Asks `area` for a repaint every 5 ms and keeps the longest time between two paints (how
// long the window could not show anything new), and how much of it the user-interface
// thread was busy rather than waiting for a processor.
class RepaintProbe : public QObject {
public:
    explicit RepaintProbe(QWidget* area) : area_(area) {
        area->installEventFilter(this);
        clock_.start();
        timer_.callOnTimeout(area, qOverload<>(&QWidget::update));
        timer_.start(5);
    }
    qint64 worst = 0, worstBusy = 0; // ns

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == area_ && event->type() == QEvent::Paint) {
            const qint64 now = clock_.nsecsElapsed(), cpu = threadCpuNs();
            if (now - lastPaint_ > worst) {
                worst = now - lastPaint_;
                worstBusy = cpu - lastCpu_;
            }
            lastPaint_ = now;
            lastCpu_ = cpu;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QWidget* area_;
    QElapsedTimer clock_;
    QTimer timer_;
    qint64 lastPaint_ = 0, lastCpu_ = threadCpuNs();
};

void Window(benchmark::State& state, int side) {
    QTemporaryDir program;
    const QString folder = program.path() + QLatin1Char('/');
    QFile::copy(QStringLiteral(OSTREL_SOURCE_DIR "/data/imgempty.jpg"), folder + "imgempty.jpg");
    test::PeerServer server(test::peerScript(QStringLiteral("ftp_server.py")),
                            {served->path(), QStringLiteral("ostrel"), QStringLiteral("s3cret")});
    if (!server.start()) {
        state.SkipWithError(qPrintable(server.error()));
        return;
    }
    NetworkSettings account;
    account.ftpHost = QStringLiteral("127.0.0.1");
    account.ftpPort = QString::number(server.port());
    account.userId = QStringLiteral("ostrel");
    account.ftpPassword = QStringLiteral("s3cret");
    WebPageState page;
    TFtpClient ftp;
    TfrmBrowser window(folder, page, ftp, account);
    window.show();
    window.FormShow();
    QListWidget* list = window.ui()->DirListBox;
    const auto names = list->findItems(QFileInfo(fileFor(side)).fileName(), Qt::MatchExactly);
    if (names.isEmpty()) {
        state.SkipWithError("the picture is not listed");
        return;
    }
    PictureArea* area = window.ui()->Image;
    qint64 worst = 0, worstBusy = 0;
    for (auto _ : state) {
        area->setPicture({}, QStringLiteral("none"));
        RepaintProbe probe(area);
        QEventLoop loop;
        QTimer poll;
        poll.callOnTimeout([&] {
            if (area->accessibleName() != QLatin1String("none")) loop.quit();
        });
        poll.start(1);
        QTimer::singleShot(0, &window, [&] {
            const QSignalBlocker quiet(list);
            list->setCurrentItem(names.first());
            window.DirListBoxClick();
        });
        loop.exec();
        if (probe.worst > worst) {
            worst = probe.worst;
            worstBusy = probe.worstBusy;
        }
    }
    state.counters["worst_ms"] = double(worst) / 1e6;
    state.counters["busy_ms"] = double(worstBusy) / 1e6;
    state.SetLabel(area->accessibleName().toStdString());
    window.close();
}

} // namespace

int main(int argc, char** argv) {
    qputenv("OSTREL_SOURCE_DIR", OSTREL_SOURCE_DIR);
    QTemporaryDir dir;
    served = &dir;
    for (int side : {4096, 16384}) {
        writeHostile(side);
        const std::string name = std::to_string(side) + "x" + std::to_string(side);
        for (bool fromServer : {false, true})
            benchmark::RegisterBenchmark(
                ("Load/" + name + (fromServer ? "/server" : "/local")).c_str(), Load, side,
                fromServer)
                ->UseRealTime()
                ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("Window/" + name).c_str(), Window, side)
            ->Iterations(3)
            ->UseRealTime()
            ->Unit(benchmark::kMillisecond);
    }
    return bench::runWithApplication(argc, argv);
}
