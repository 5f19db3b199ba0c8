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
    connect(&video_, &TVideoCapture::sourceOpened, this, [this] {
        if (trying_) back();
    });
}

DeviceReturn::~DeviceReturn() = default;

bool DeviceReturn::waiting() const {
    return waiting_ && (trying_ || video_.DriverIndex() == -1);
}

DeviceReturn::Loss DeviceReturn::lost() {
    if (trying_) {
        trying_ = false;
        video_.setDriverOpen(false);
        video_.setDriverIndex(-1);
        scheduleRetry();
        return Loss::StillAway;
    }
    stop();
    key_ = video_.DeviceKey();
    name_ = video_.DriverName();
    index_ = video_.DriverIndex();
    preview_ = video_.VideoPreview();
    overlay_ = video_.VideoOverlay();
    const QString folder = video_.DeviceFolder();
    video_.setDriverOpen(false);
    video_.setDriverIndex(-1);
    if (key_.isEmpty()) return Loss::NotWatched;

    waiting_ = true;
    pauseMs_ = FirstPauseMs;
    if (!folder.isEmpty()) {
        folderWatch_ = std::make_unique<QFileSystemWatcher>(QStringList{folder});
        connect(folderWatch_.get(), &QFileSystemWatcher::directoryChanged, this,
                [this] { settle_.start(); });
    }
    scheduleRetry();
    return Loss::New;
}

void DeviceReturn::retryNow() {
    if (!waiting_ || trying_) return;
    const QString key = video_.deviceKeyOf(index_);
    if (!key.isEmpty()) key_ = key;
    pauseMs_ = FirstPauseMs;
    retry_.stop();
    tryOpen();
}

void DeviceReturn::stop() {
    waiting_ = false;
    trying_ = false;
    retry_.stop();
    settle_.stop();
    folderWatch_.reset();
}

void DeviceReturn::tryOpen() {
    if (!waiting_ || trying_) return;
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
        if (video_.Opening()) {
            index_ = index;
            trying_ = true; // lost() or sourceOpened tells how it went
            return;
        }
        if (video_.DriverOpen()) {
            index_ = index;
            back();
            return;
        }
        video_.setDriverIndex(-1);
    }
    scheduleRetry();
}

void DeviceReturn::back() {
    stop();
    video_.setVideoPreview(preview_);
    if (overlay_) video_.setVideoOverlay(true);
    emit returned();
}

void DeviceReturn::scheduleRetry() {
    retry_.start(pauseMs_);
    pauseMs_ = std::min(pauseMs_ * 2, LongestPauseMs);
}

} // namespace ostrel
