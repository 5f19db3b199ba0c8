#include "capture/CaptureDriver.h"

#include "capture/NetworkCamera.h"
#include "capture/V4l2Driver.h"
#include "capture/VirtualCamera.h"

namespace ostrel {
namespace {

class SystemDrivers : public DriverRegistry {
public:
    SystemDrivers(const QString& programFolder, std::shared_ptr<V4l2Backend> v4l2)
        : programFolder_(programFolder), v4l2_(std::move(v4l2)),
          virtualCamera_(std::make_shared<VirtualCamera>(programFolder)),
          networkCamera_(std::make_shared<NetworkCamera>(programFolder)) {}

    std::shared_ptr<CaptureDriver> driver(int index) override {
        if (index == 0) return virtualCamera_;
        if (index < 1 || index >= MaxDrivers) return nullptr;
        if (v4l2_) rescanIfChanged();
        if (index - 1 < cameras_.size()) return cameras_[index - 1];
        return index - 1 == cameras_.size() ? networkCamera_ : nullptr;
    }

private:
    // Asking every device again for each driver question would open each node many times
    // a second; the device list is only read again when the nodes themselves change.
    void rescanIfChanged() {
        const QList<V4l2Backend::Node> nodes = v4l2_->nodes();
        if (scanned_ && nodes == nodes_) return;
        QMap<QString, std::shared_ptr<V4l2Driver>> previous;
        for (int i = 0; i < cameras_.size(); ++i)
            previous.insert(cameraIdentity_[i], cameras_[i]);
        cameras_.clear();
        cameraIdentity_.clear();
        for (const V4l2Backend::Node& node : nodes) {
            if (cameras_.size() == MaxDrivers - 2) break; // the network camera comes last
            const QString identity = node.path + QLatin1Char('|') + node.identity;
            // A device seen before keeps its driver object; only new nodes are opened.
            std::shared_ptr<V4l2Driver> driver = previous.value(identity);
            if (!driver) {
                const std::unique_ptr<V4l2Device> device = v4l2_->open(node.path);
                if (!device) continue;
                const V4l2Capability cap = device->capability();
                if (!cap.canCapture) continue;
                driver = std::make_shared<V4l2Driver>(v4l2_, node.path, cap, programFolder_);
            }
            cameras_.append(driver);
            cameraIdentity_.append(identity);
        }
        nodes_ = nodes;
        scanned_ = true;
    }

    QString programFolder_;
    std::shared_ptr<V4l2Backend> v4l2_;
    std::shared_ptr<CaptureDriver> virtualCamera_;
    std::shared_ptr<CaptureDriver> networkCamera_;
    bool scanned_ = false;
    QList<V4l2Backend::Node> nodes_;
    QList<std::shared_ptr<V4l2Driver>> cameras_;
    QStringList cameraIdentity_;
};

} // namespace

std::shared_ptr<DriverRegistry> systemDrivers(const QString& programFolder) {
    return systemDrivers(programFolder, linuxV4l2());
}

std::shared_ptr<DriverRegistry> systemDrivers(const QString& programFolder,
                                              std::shared_ptr<V4l2Backend> v4l2) {
    return std::make_shared<SystemDrivers>(programFolder, std::move(v4l2));
}

} // namespace ostrel
