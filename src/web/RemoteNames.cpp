#include "web/RemoteNames.h"

#include <QStringDecoder>

namespace ostrel {

namespace {
constexpr qsizetype MaxNameBytes = 255;
}

bool isListedPicture(const QByteArray& name) {
    if (!name.endsWith(".jpg") || name == "Capture.jpg") return false;
    if (name.size() > MaxNameBytes || name.contains("..")) return false;
    for (const char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F || c == '/' || c == '\\') return false;
    }
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8(name);
    return !utf8.hasError() && !text.isEmpty();
}

QStringList listedPictures(const QByteArray& listing) {
    QStringList names;
    for (QByteArray line : listing.split('\n')) {
        if (line.endsWith('\r')) line.chop(1);
        if (isListedPicture(line)) names.append(QString::fromUtf8(line));
    }
    return names;
}

} // namespace ostrel
