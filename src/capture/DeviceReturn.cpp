#include "capture/DeviceReturn.h"
#include "capture/VideoCapture.h"
#include "platform/Exception.h"
#include <QFileSystemWatcher>

namespace ostrel {

DeviceReturn::DeviceReturn(TVideoCapture& video, QObject* parent) : QObject(parent), video_(video) {
    retry_.setSingleShot(true);
    settle_.setSingleShot(true);
    settle_.setInterval(300);
    connect(&retry_, &QTimer::timeout, this, [this] { tryOpen(); });
    connect(&settle_, &QTimer::timeout, this, [this] {
        // Something changed among the nodes: look closely again.
        pauseMs_ = FirstPauseMs;
        tryOpen();
    });
}

DeviceReturn::~DeviceReturn() = default;

bool DeviceReturn::waiting() const {
    return waiting_ && video_.DriverIndex() == -1;
}

bool DeviceReturn::watch() {
    stop();
    key_ = video_.DeviceKey();
    name_ = video_.DriverName();
    index_ = video_.DriverIndex();
    preview_ = video_.VideoPreview();
    overlay_ = video_.VideoOverlay();
    const QString folder = video_.DeviceFolder();
    video_.setDriverOpen(false);
    video_.setDriverIndex(-1);
    if (key_.isEmpty()) return false;

    waiting_ = true;
    pauseMs_ = FirstPauseMs;
    if (!folder.isEmpty()) {
        folderWatch_ = std::make_unique<QFileSystemWatcher>(QStringList{folder});
        connect(folderWatch_.get(), &QFileSystemWatcher::directoryChanged, this,
                [this] { settle_.start(); });
    }
    scheduleRetry();
    return true;
}

void DeviceReturn::stop() {
    waiting_ = false;
    retry_.stop();
    settle_.stop();
    folderWatch_.reset();
}

void DeviceReturn::tryOpen() {
    if (!waiting_) return;
    // Another driver chosen meanwhile ends the wait: the user has decided.
    if (video_.DriverIndex() != -1) {
        stop();
        return;
    }
    const int index = video_.driverIndexOfDevice(key_);
    if (index >= 0) {
        video_.setDriverIndex(index);
        try {
            video_.setDriverOpen(true);
        } catch (const Exception&) {
            // A buffer file that cannot be had is raised after the device opened; the
            // recording reports it when it needs the file.
        }
        if (video_.DriverOpen()) {
            stop();
            index_ = index;
            video_.setVideoPreview(preview_);
            if (overlay_) video_.setVideoOverlay(true);
            emit returned();
            return;
        }
        video_.setDriverIndex(-1);
    }
    scheduleRetry();
}

void DeviceReturn::scheduleRetry() {
    retry_.start(pauseMs_);
    pauseMs_ = std::min(pauseMs_ * 2, LongestPauseMs);
}

} // namespace ostrel
