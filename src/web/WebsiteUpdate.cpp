#include "web/WebsiteUpdate.h"

#include <algorithm>
#include <limits>

namespace ostrel {

namespace {
bool allDigits(const QString& text) {
    return !text.isEmpty() &&
           std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}
} // namespace

UpdateInterval updateIntervalFromField(const QString& text) {
    UpdateInterval result;
    bool ok = false;
    // Digits only reach the field by typing; anything else was pasted or is empty.
    const QString trimmed = text.trimmed();
    qlonglong minutes = trimmed.toLongLong(&ok);
    // More digits than 64 bits hold are still a number, and far above the limit.
    if (!ok && allDigits(trimmed)) {
        minutes = std::numeric_limits<qlonglong>::max();
        ok = true;
    }
    int clamped = 1;
    if (ok) clamped = int(std::clamp<qlonglong>(minutes, 1, 999));
    result.milliseconds = clamped * 60000;
    result.fieldText = (ok && clamped == minutes) ? text : QString::number(clamped);
    return result;
}

} // namespace ostrel
