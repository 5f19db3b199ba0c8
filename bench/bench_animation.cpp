// The animation window playing 300 JPEG pictures of 1280 x 720 at 30 fps, and the cost of
// one picture's decode:
//   Play30fps        the real window, shown, with its real timer and the event loop running
//                    normally (offscreen platform). Counters: fps = pictures painted per
//                    second of play; late% = the share of ticks that came more than half an
//                    interval after they were due, a tick being due one interval after the
//                    previous one; worst_ms = the longest gap between two ticks.
//   LoadPicture      loadPicture at the picture area's fitting size (DCT-scaled) and full size
//   Djpeg            the same picture through djpeg, one process a run (ProcessStart is
//                    the cost of starting /bin/true, to take off)
#include "picture/JpegExport.h"
#include "picture/PictureLoading.h"
#include "platform/PictureArea.h"
#include "viewer/unAnimation.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QPainter>
#include <QProcess>
#include <QPushButton>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>
#include <benchmark/benchmark.h>
#include <vector>

using namespace ostrel;

namespace {

constexpr int Pictures = 300;
constexpr int Width = 1280, Height = 720;
constexpr int Step = 4; // the pattern's movement per picture, in pixels

QString pictureName(int i) {
    return QStringLiteral("pic%1.jpg").arg(i, 3, 10, QLatin1Char('0'));
}

// A textured, sliding background with a disc crossing it: a scene whose pictures differ
// from each other everywhere and compress like a camera's.
void writePictures(const QString& folder) {
    QImage texture(Width + Pictures * Step, Height, QImage::Format_RGB888);
    QRandomGenerator random(7);
    for (int y = 0; y < texture.height(); ++y) {
        uchar* line = texture.scanLine(y);
        for (int x = 0; x < texture.width(); ++x) {
            const int noise = int(random.bounded(20));
            line[3 * x] = uchar((x / 3 + noise) & 0xFF);
            line[3 * x + 1] = uchar((y / 3 + noise) & 0xFF);
            line[3 * x + 2] = uchar(((x + y) / 8 + noise) & 0xFF);
        }
    }
    for (int i = 0; i < Pictures; ++i) {
        QImage picture = texture.copy(i * Step, 0, Width, Height);
        QPainter painter(&picture);
        painter.setBrush(QColor(240, 220, 40));
        painter.drawEllipse(QPoint(80 + i * 4, 200 + (i % 60) * 5), 90, 90);
        painter.end();
        QFile file(folder + pictureName(i));
        if (!file.open(QIODevice::WriteOnly) || file.write(encodeJpeg(picture)) < 0)
            qFatal("Cannot write the test pictures");
    }
}

// Times the animation timer's events as they arrive, before the window's tick runs.
class TickClock : public QObject {
public:
    explicit TickClock(QObject* timer) { timer->installEventFilter(this); }
    std::vector<qint64> arrivals; // ns
    qint64 busy = 0;              // ns spent in the ticks
    QElapsedTimer clock;

    // Connected after the window's own tick, so it runs when that one is done.
    void tickDone() { busy += clock.nsecsElapsed() - arrivals.back(); }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Timer) arrivals.push_back(clock.nsecsElapsed());
        return QObject::eventFilter(watched, event);
    }
};

// Counts the pictures the area paints, and ends the loop when Stop turns off.
class PlayWatch : public QObject {
public:
    PlayWatch(QWidget* area, QWidget* stop, QEventLoop& loop) : area_(area), loop_(loop) {
        area->installEventFilter(this);
        stop->installEventFilter(this);
    }
    int paints = 0;
    QString lastPainted;

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == area_ && event->type() == QEvent::Paint &&
            area_->accessibleName() != lastPainted &&
            area_->accessibleName().startsWith(QLatin1String("pic"))) {
            lastPainted = area_->accessibleName();
            ++paints;
        } else if (event->type() == QEvent::EnabledChange &&
                   !static_cast<QWidget*>(watched)->isEnabled()) {
            loop_.quit();
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QWidget* area_;
    QEventLoop& loop_;
};

QString folder_;

void Play30fps(benchmark::State& state) {
    TfrmAnimation form(folder_);
    auto* area = form.findChild<PictureArea*>(QStringLiteral("Image"));
    auto* stop = form.findChild<QPushButton*>(QStringLiteral("btnStop"));
    form.findChild<QScrollBar*>(QStringLiteral("ScrollBarSpeed"))->setValue(30);
    form.show();
    form.btnAddAllClick();
    for (auto _ : state) {
        QEventLoop loop;
        TickClock ticks(&form.animationTimer());
        QObject::connect(&form.animationTimer(), &QTimer::timeout, &ticks,
                         [&ticks] { ticks.tickDone(); });
        PlayWatch watch(area, stop, loop);
        ticks.clock.start();
        form.btnAnimateClick();
        loop.exec();
        const double interval = form.animationTimer().interval() * 1e6;
        int late = 0;
        double worst = 0;
        for (size_t i = 1; i < ticks.arrivals.size(); ++i) {
            const double gap = double(ticks.arrivals[i] - ticks.arrivals[i - 1]);
            if (gap > 1.5 * interval) ++late;
            worst = std::max(worst, gap);
        }
        // The last tick only ends the play; the pictures ran from the first to the one before.
        const double played = double(ticks.arrivals[ticks.arrivals.size() - 2] - ticks.arrivals[0]);
        state.counters["fps"] = (watch.paints - 1) / (played / 1e9);
        state.counters["tick_ms"] = ticks.busy / 1e6 / double(ticks.arrivals.size());
        state.counters["late%"] = 100.0 * late / double(ticks.arrivals.size() - 1);
        state.counters["worst_ms"] = worst / 1e6;
        state.counters["pictures"] = watch.paints;
    }
}

QSize fittingSize() {
    TfrmAnimation form(folder_);
    return form.findChild<PictureArea*>(QStringLiteral("Image"))->fittingSize();
}

void LoadPicture(benchmark::State& state, bool fitting) {
    const QSize size = fitting ? fittingSize() : QSize();
    int i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(loadPicture(folder_ + pictureName(i), size).image.constBits());
        i = (i + 1) % Pictures;
    }
    state.counters["KB"] = double(QFile(folder_ + pictureName(0)).size()) / 1024;
    state.SetLabel(
        size.isValid()
            ? QStringLiteral("fitting %1x%2").arg(size.width()).arg(size.height()).toStdString()
            : std::string("full size"));
}

void RunProcess(benchmark::State& state, const QString& program, const QStringList& arguments) {
    for (auto _ : state) {
        QProcess process;
        process.start(program, arguments);
        if (!process.waitForFinished() || process.exitCode() != 0)
            state.SkipWithError("the program failed");
    }
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    if (!dir.isValid()) qFatal("No temporary folder");
    folder_ = dir.path() + QLatin1Char('/');
    writePictures(folder_);
    const QString one = folder_ + pictureName(150);

    benchmark::RegisterBenchmark("Play30fps", Play30fps)
        ->Iterations(1)
        ->UseRealTime()
        ->Unit(benchmark::kSecond);
    benchmark::RegisterBenchmark("LoadPicture/fitting", LoadPicture, true)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("LoadPicture/full", LoadPicture, false)
        ->Unit(benchmark::kMillisecond);
    const QString null = QStringLiteral("/dev/null");
    benchmark::RegisterBenchmark("Djpeg/full", RunProcess, QStringLiteral("djpeg"),
                                 QStringList{"-outfile", null, one})
        ->Iterations(50)
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Djpeg/half", RunProcess, QStringLiteral("djpeg"),
                                 QStringList{"-scale", "1/2", "-outfile", null, one})
        ->Iterations(50)
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("ProcessStart", RunProcess, QStringLiteral("/bin/true"),
                                 QStringList{})
        ->Iterations(50)
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
