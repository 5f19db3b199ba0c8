#include "platform/FileTimes.h"
#include "platform/Exception.h"

#include <QFile>
#include <fcntl.h>
#include <sys/stat.h>

namespace ostrel {

QDateTime fileCreationTime(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Exception(
            QStringLiteral("Cannot open file \"%1\". %2").arg(path, file.errorString()));
    struct statx st {};
    if (statx(file.handle(), "", AT_EMPTY_PATH, STATX_BTIME | STATX_MTIME, &st) != 0) return {};
    const statx_timestamp& t = (st.stx_mask & STATX_BTIME) ? st.stx_btime : st.stx_mtime;
    if (!(st.stx_mask & (STATX_BTIME | STATX_MTIME))) return {};
    return QDateTime::fromSecsSinceEpoch(t.tv_sec).toLocalTime();
}

} // namespace ostrel
