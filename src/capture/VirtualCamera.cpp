#include "capture/VirtualCamera.h"

#include "capture/DlgVirtualSource.h"
#include "capture/DriverDialogs.h"
#include "platform/IniFile.h"
#include "platform/ProgramFolder.h"
#include "platform/SettingsKeys.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>
#include <fontconfig/fontconfig.h>
#include <memory>
#include <mutex>

namespace ostrel {
namespace {

QString settingsFile(const QString& programFolder) {
    return resolveIn(programFolder, QString::fromLatin1(sif::DriverFile));
}

struct PatternDeleter {
    void operator()(FcPattern* p) const { FcPatternDestroy(p); }
};
using PatternPtr = std::unique_ptr<FcPattern, PatternDeleter>;

QString findFontFile(const char* family) {
    if (!FcInit()) return {};
    PatternPtr pattern(FcNameParse(reinterpret_cast<const FcChar8*>(family)));
    if (!pattern) return {};
    FcConfigSubstitute(nullptr, pattern.get(), FcMatchPattern);
    FcDefaultSubstitute(pattern.get());
    FcResult result = FcResultNoMatch;
    PatternPtr match(FcFontMatch(nullptr, pattern.get(), &result));
    if (!match) return {};
    // fontconfig always answers with some font; only the family asked for will do.
    FcChar8* matchedFamily = nullptr;
    FcChar8* file = nullptr;
    if (FcPatternGetString(match.get(), FC_FAMILY, 0, &matchedFamily) != FcResultMatch ||
        FcPatternGetString(match.get(), FC_FILE, 0, &file) != FcResultMatch)
        return {};
    if (QString::fromUtf8(reinterpret_cast<const char*>(matchedFamily))
            .compare(QLatin1String(family), Qt::CaseInsensitive) != 0)
        return {};
    return QString::fromUtf8(reinterpret_cast<const char*>(file));
}

// The font file name goes into the filter graph unescaped; names with characters that
// have a meaning there are not worth the escaping rules and just lose the clock.
bool safeInFilterGraph(const QString& text) {
    return !text.contains(QRegularExpression(QStringLiteral("[\\\\':,;\\[\\]=]")));
}

} // namespace

VirtualCamera::VirtualCamera(QString programFolder) : programFolder_(std::move(programFolder)) {}

DriverDescription VirtualCamera::description() const {
    return {QStringLiteral("Ostrel Virtual Camera"), QStringLiteral("1.0")};
}

DriverCaps VirtualCamera::caps() const {
    DriverCaps c;
    c.hasSourceDialog = true;
    return c;
}

VirtualCameraSettings VirtualCamera::readSettings(const QString& programFolder) {
    const IniFile ini(settingsFile(programFolder));
    VirtualCameraSettings s;
    s.motionInterval = std::clamp(sif::read(ini, sif::key::MotionInterval), 0, MaxMotionInterval);
    s.source = sif::read(ini, sif::key::VirtualSource).trimmed();
    return s;
}

void VirtualCamera::writeSettings(const QString& programFolder, const VirtualCameraSettings& s) {
    IniFile ini(settingsFile(programFolder));
    sif::write(ini, sif::DriverDialogs, sif::key::MotionInterval,
               std::clamp(s.motionInterval, 0, MaxMotionInterval));
    sif::write(ini, sif::DriverDialogs, sif::key::VirtualSource, s.source);
}

bool VirtualCamera::showSourceDialog(QWidget* parent) {
    TDlgVirtualSource dialog(programFolder_, readSettings(programFolder_), parent);
    if (execDriverDialog(dialog) != QDialog::Accepted) return false;
    writeSettings(programFolder_, dialog.settings());
    return true;
}

SourceSpec VirtualCamera::source() const {
    const VirtualCameraSettings settings = readSettings(programFolder_);
    SourceSpec spec;
    const QString file = settings.source;
    if (!file.isEmpty()) {
        const QString path = resolveIn(programFolder_, file);
        // A file that has gone away falls back to the room, so the camera stays usable.
        if (QFileInfo(path).isFile()) {
            spec.url = path;
            spec.loop = true;
            return spec;
        }
    }
    spec.inputFormat = QStringLiteral("lavfi");
    spec.url = sceneGraph(settings.motionInterval, clockFontFile());
    return spec;
}

QString VirtualCamera::clockFontFile() {
    static std::once_flag once;
    static QString file;
    std::call_once(once, [] { file = findFontFile("Liberation Mono"); });
    return file;
}

QString VirtualCamera::sceneGraph(int motionInterval, const QString& fontFile) {
    const QString size = QStringLiteral("%1x%2").arg(Width).arg(Height);
    // The room: wall, floor, a window with its frame and bar, a table with two legs.
    QString graph = QStringLiteral("color=c=0xb8b0a0:s=%1:r=%2,"
                                   "drawbox=x=0:y=330:w=640:h=150:color=0x5a4632:t=fill,"
                                   "drawbox=x=380:y=60:w=180:h=150:color=0xc8e0f0:t=fill,"
                                   "drawbox=x=380:y=60:w=180:h=150:color=0xf0f0f0:t=6,"
                                   "drawbox=x=466:y=60:w=8:h=150:color=0xf0f0f0:t=fill,"
                                   "drawbox=x=60:y=290:w=220:h=18:color=0x7a5230:t=fill,"
                                   "drawbox=x=75:y=308:w=12:h=80:color=0x6a4428:t=fill,"
                                   "drawbox=x=253:y=308:w=12:h=80:color=0x6a4428:t=fill")
                        .arg(size)
                        .arg(FramesPerSecond);
    if (motionInterval > 0) {
        // A dark figure with a face, parked right of the picture between crossings.
        const int crossing = std::min(CrossingSeconds, motionInterval);
        graph += QStringLiteral("[room];"
                                "color=c=0x1c1c22:s=80x220:r=%1,"
                                "drawbox=x=24:y=8:w=32:h=36:color=0xc89878:t=fill[figure];"
                                "[room][figure]overlay=eval=frame:y=190:"
                                "x='if(gte(t,%2)*lt(mod(t,%2),%3),-w+mod(t,%2)*(W+w)/%3,W)'")
                     .arg(FramesPerSecond)
                     .arg(motionInterval)
                     .arg(crossing);
    }
    // Sensor noise changes from frame to frame (allf=t) and averages out over the picture.
    graph += QStringLiteral(",noise=alls=6:allf=t");
    if (!fontFile.isEmpty() && safeInFilterGraph(fontFile)) {
        graph += QStringLiteral(",drawtext=fontfile=%1:fontsize=18:fontcolor=white:box=1:"
                                "boxcolor=black@0.6:boxborderw=4:x=10:y=H-th-12:"
                                "text='%{localtime\\:%Y-%m-%d %H\\\\\\:%M\\\\\\:%S}'")
                     .arg(fontFile);
    }
    return graph + QStringLiteral("[out0]");
}

} // namespace ostrel
