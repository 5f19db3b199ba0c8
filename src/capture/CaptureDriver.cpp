#include "capture/CaptureDriver.h"

#include "capture/VirtualCamera.h"

namespace ostrel {
namespace {

class SystemDrivers : public DriverRegistry {
public:
    explicit SystemDrivers(const QString& programFolder)
        : virtualCamera_(std::make_shared<VirtualCamera>(programFolder)) {}

    std::shared_ptr<CaptureDriver> driver(int index) override {
        if (index == 0) return virtualCamera_;
        // Indices 1 to 9 belong to the V4L2 devices that can capture, in device-number
        // order; they are enumerated here once that driver exists.
        return nullptr;
    }

private:
    std::shared_ptr<CaptureDriver> virtualCamera_;
};

} // namespace

std::shared_ptr<DriverRegistry> systemDrivers(const QString& programFolder) {
    return std::make_shared<SystemDrivers>(programFolder);
}

} // namespace ostrel
