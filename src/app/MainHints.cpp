#include "app/MainHints.h"
#include <QHash>

namespace ostrel {

Hint mainWindowHint(const QString& objectName) {
    static const QHash<QString, QString> hints = {
        {"Edit1", "Frame Rate for manual video recording."},
        {"ListBox1", "Latest Motion Detection images. Double click to view."},
        {"btnWebMgt", "Click to access File management on remote FTP Host."},
        {"CheckPrev", "Check to use Preview video mode (use Overlay if available)."},
        {"CheckOverl", "Check to use Overlay video mode (recommended if available)."},
        {"CheckFitWindow", "Check to scale image to window."},
        {"CheckProportional", "Check to maintain aspect ratio of image."},
        {"EditCapPicture", "Enter File Name for single snapshot recording (BMP file)."},
        {"EditVideoFile", "Enter File Name for manual video recording (AVI file)."},
        {"btnSnapshot", "Click to take a snapshot of the image window."},
        {"BtStartStop", "Click to start manual video recording."},
        {"EditInterval",
         "Interval (in minutes) after which a new image is transmitted to remote host."},
        {"BitBtnFrameCap", "Click to start periodic image transmission."},
        {"edDelay", "Enter delay (in seconds) before motion detection starts."},
        {"CheckBoxSound", "Check to play a sound during Start Delay."},
        {"CheckBoxDetectionSound", "Check to play a sound on movement detection."},
        {"edDetectInterval", "Enter time (in seconds) between successive motion checks."},
        {"rbLocalSave", "Check to save Motion Detection images on local harddisk only."},
        {"rbRemoteSave", "Check to save Motion Detection images locally and on remote host."},
        {"BitBtnMotion", "Click to start Motion Detection and Recording."},
        {"lblDetectCount", "Number of movement detections during latest check."},
        {"lblImageInfo", "Shows date and time of selected image."},
        {"btnDelete", "Delete selected image."},
        {"btnDeleteAll", "Delete all images in list."},
        {"btnView", "Click to view selected image (or double click file name)."},
    };
    static const QStringList clearing = {"VideoCap1", "PanelVideo", "GroupBox1", "GroupBox2",
                                         "GroupBox3", "GroupBox4", "PanelList"};
    if (const auto it = hints.constFind(objectName); it != hints.constEnd())
        return {HintKind::Text, *it};
    if (clearing.contains(objectName)) return {HintKind::Clear, {}};
    return {};
}

} // namespace ostrel
