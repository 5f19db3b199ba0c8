#pragma once
// Capture drivers whose description, capabilities, source and dialogs a test sets, in a
// registry with drivers at any indices; the scripting of the drivers' dialogs; and the wait
// for a device's next frame.
#include "capture/CaptureDriver.h"
#include "capture/DriverDialogs.h"
#include "capture/VideoCapture.h"
#include "platform/Exception.h"
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QMap>
#include <QMetaType>
#include <QThread>
#include <functional>

namespace ostrel::test {

inline SourceSpec lavfiSource(const QString& graph, bool paced = false, bool loop = false) {
    SourceSpec s;
    s.inputFormat = QStringLiteral("lavfi");
    s.url = graph;
    s.paced = paced;
    s.loop = loop;
    return s;
}

// A small moving test picture, paced to 15 frames per second.
inline SourceSpec testPicture() {
    return lavfiSource(QStringLiteral("testsrc=size=320x240:rate=15"));
}

// A camera device that does not exist.
inline SourceSpec missingCamera() {
    SourceSpec s;
    s.inputFormat = QStringLiteral("video4linux2");
    s.url = QStringLiteral("/dev/ostrel-no-such-camera");
    return s;
}

class ScriptedDriver : public CaptureDriver {
public:
    ScriptedDriver(QString name, SourceSpec spec, DriverCaps caps)
        : name(std::move(name)), spec(std::move(spec)), capabilities(caps) {}
    DriverDescription description() const override { return {name, QStringLiteral("1.0")}; }
    DriverCaps caps() const override { return capabilities; }
    SourceSpec source() const override {
        ++sourceCalls;
        return spec;
    }
    bool showFormatDialog(QWidget* parent) override {
        return formatDialog ? formatDialog(parent) : false;
    }

    QString name;
    SourceSpec spec;
    DriverCaps capabilities;
    std::function<bool(QWidget*)> formatDialog;
    mutable int sourceCalls = 0;
};

class ScriptedDrivers : public DriverRegistry {
public:
    std::shared_ptr<CaptureDriver> driver(int index) override { return byIndex.value(index); }
    std::shared_ptr<ScriptedDriver> add(int index, const QString& name,
                                        SourceSpec spec = testPicture(), DriverCaps caps = {}) {
        auto d = std::make_shared<ScriptedDriver>(name, std::move(spec), caps);
        byIndex[index] = d;
        return d;
    }
    QMap<int, std::shared_ptr<CaptureDriver>> byIndex;
};

// Installs a runner for the driver dialogs for the life of the object.
struct DialogScript {
    explicit DialogScript(DriverDialogRunner runner) { setDriverDialogRunner(std::move(runner)); }
    ~DialogScript() { setDriverDialogRunner({}); }
};

// Writes `frame` `count` times over into the file `path`.
inline bool writeRepeated(const QString& path, const QByteArray& frame, int count) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) &&
           file.write(frame.repeated(count)) == frame.size() * count;
}

// Waits until the device's source has made a frame newer than the last one grabbed, with
// or without the event loop running meanwhile (without it, what the capture thread posts
// stays in the event queue); false when none comes within 5 s. A paced source makes its
// frames no faster than their rate, so n new frames also mean n frame times gone by.
inline bool newFrame(TVideoCapture& video, bool runEvents = true) {
    video.GrabFrameLive();
    const qint64 seen = video.lastGrabbedFrame().cacheKey();
    const QDeadlineTimer deadline(5000);
    while (!video.GrabFrameLive() || video.lastGrabbedFrame().cacheKey() == seen) {
        if (deadline.hasExpired()) return false;
        if (runEvents) QCoreApplication::processEvents();
        QThread::msleep(5);
    }
    return true;
}

// The message of the exception `action` raises.
inline QString messageOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const Exception& e) {
        return e.message();
    }
    return QStringLiteral("(nothing raised)");
}

} // namespace ostrel::test

Q_DECLARE_METATYPE(ostrel::SourceSpec)
