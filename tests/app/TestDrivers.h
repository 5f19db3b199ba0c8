#pragma once
// Capture drivers for tests: lavfi test pictures that connect, and ones that never do.
#include "capture/CaptureDriver.h"
#include <QMap>

namespace ostrel::test {

class LavfiDriver : public CaptureDriver {
public:
    explicit LavfiDriver(QString name, bool connects = true, bool overlay = false)
        : name_(std::move(name)), connects_(connects), overlay_(overlay) {}
    DriverDescription description() const override { return {name_, QStringLiteral("1.0")}; }
    DriverCaps caps() const override {
        DriverCaps c;
        c.hasOverlay = overlay_;
        return c;
    }
    SourceSpec source() const override {
        SourceSpec s;
        if (connects_) {
            s.inputFormat = QStringLiteral("lavfi");
            s.url = QStringLiteral("testsrc=size=320x240:rate=15");
        } else {
            s.inputFormat = QStringLiteral("video4linux2");
            s.url = QStringLiteral("/dev/ostrel-no-such-camera");
        }
        return s;
    }

private:
    QString name_;
    bool connects_;
    bool overlay_;
};

class Drivers : public DriverRegistry {
public:
    QMap<int, std::shared_ptr<CaptureDriver>> byIndex;
    std::shared_ptr<CaptureDriver> driver(int index) override { return byIndex.value(index); }
};

inline std::shared_ptr<Drivers> twoDrivers() {
    auto d = std::make_shared<Drivers>();
    d->byIndex[0] = std::make_shared<LavfiDriver>(QStringLiteral("Test Camera A"));
    d->byIndex[1] = std::make_shared<LavfiDriver>(QStringLiteral("Test Camera B"));
    return d;
}

} // namespace ostrel::test
