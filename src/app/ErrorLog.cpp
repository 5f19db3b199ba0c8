#include "app/ErrorLog.h"

#include "platform/DateTimeText.h"
#include "platform/Desktop.h"
#include "platform/Exception.h"
#include "platform/ProgramFolder.h"

#include <QFile>
#include <QFileInfo>

namespace ostrel {

namespace {

const QString logFileName = QStringLiteral("Error.log");

void writeLines(const QString& fileName, const QStringList& lines) {
    QString reason;
    if (!writeFileAtomically(fileName, serializeLogLines(lines), &reason))
        throw Exception(QStringLiteral("Unable to write to %1").arg(fileName) +
                        (reason.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(reason)));
}

} // namespace

QStringList parseLogLines(const QByteArray& data) {
    QStringList lines;
    const qsizetype n = data.size();
    qsizetype start = 0;
    while (start < n) {
        qsizetype end = start;
        while (end < n && data[end] != '\n' && data[end] != '\r')
            ++end;
        lines.append(QString::fromLocal8Bit(data.constData() + start, end - start));
        if (end < n && data[end] == '\r' && end + 1 < n && data[end + 1] == '\n') ++end;
        start = end + 1;
    }
    return lines;
}

QByteArray serializeLogLines(const QStringList& lines) {
    QByteArray out;
    for (const QString& line : lines) {
        out.append(line.toLocal8Bit());
        out.append("\r\n");
    }
    return out;
}

ErrorLog::ErrorLog(QString programFolder, QObject* parent)
    : QObject(parent), programFolder_(std::move(programFolder)) {}

QString ErrorLog::filePath() const {
    return withSlash(programFolder_) + logFileName;
}

QString ErrorLog::text() const {
    return lines_.join(QStringLiteral("\r\n"));
}

void ErrorLog::add(const QString& entry, bool writeNow) {
    if (!logErrors_) return;
    // An entry holding line breaks (a multi-line server reply) becomes several lines here,
    // just as it will when the file is read back.
    lines_.append(parseLogLines((dateTimeToStr(desktop().now()) + entry).toLocal8Bit()));
    emit changed();
    if (writeNow) save();
}

void ErrorLog::addQuietly(const QString& entry) {
    try {
        add(entry);
    } catch (const Exception& e) {
        qWarning("%s%s (%s)", qUtf8Printable(dateTimeToStr(desktop().now())), qUtf8Printable(entry),
                 qUtf8Printable(e.message()));
    }
}

bool ErrorLog::reload() {
    QFile file(filePath());
    if (!QFileInfo(file).isFile() || !file.open(QIODevice::ReadOnly)) return false;
    lines_ = parseLogLines(file.readAll());
    emit changed();
    return true;
}

void ErrorLog::save() const {
    writeLines(filePath(), lines_);
}

void ErrorLog::saveTo(const QString& fileName) const {
    writeLines(fileName, lines_);
}

void ErrorLog::clear() {
    lines_.clear();
    emit changed();
}

void ErrorLog::ensureFileExists() const {
    if (!QFileInfo::exists(filePath())) writeLines(filePath(), QStringList{QString()});
}

} // namespace ostrel
