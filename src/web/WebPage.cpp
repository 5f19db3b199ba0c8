#include "web/WebPage.h"
#include "platform/FileWrites.h"
#include <QFile>
#include <QFileInfo>

namespace ostrel::webpage {

namespace {

struct SizeRow {
    const char* item;
    std::array<QSize, 3> previews;
};
// The default item (index 2) stands in for texts not in the list.
constexpr int DefaultSizeRow = 2;
const SizeRow sizeRows[] = {
    {"200x150", {QSize(67, 50), QSize(53, 40), QSize(42, 31)}},
    {"400x300", {QSize(133, 100), QSize(107, 80), QSize(83, 63)}},
    {"600x450  (Default)", {QSize(200, 150), QSize(160, 120), QSize(125, 94)}},
    {"800x600", {QSize(260, 195), QSize(208, 156), QSize(163, 122)}},
    {"1000x750", {QSize(340, 255), QSize(272, 204), QSize(213, 160)}},
    {"1200x900", {QSize(400, 300), QSize(320, 240), QSize(250, 188)}},
};

struct RefreshRow {
    const char* item;
    int seconds;
};
const RefreshRow refreshRows[] = {
    {"30 sec", 30}, {"60 sec  (Default)", 60}, {"90 sec", 90}, {"2 min", 120}, {"3 min", 180},
    {"5 min", 300}, {"10 min", 600},
};

} // namespace

void replaceLine(QStringList& page, int index, const QString& text) {
    if (index >= 0 && index < page.size()) page[index] = text;
}

SizeAttributes sizeAttributes(const QString& itemText) {
    // "200x150" and "600x450  (Default)" have a three-digit width.
    const QString text =
        itemText.size() == 7 || itemText.size() == 18 ? QLatin1Char('0') + itemText : itemText;
    return {text.mid(0, 4), text.mid(5, 3)};
}

QString sizeLine(const SizeAttributes& size) {
    return QStringLiteral("width=") + size.width + QStringLiteral(" height=") + size.height;
}

QString sizeLabel(const SizeAttributes& size) {
    return size.width + QLatin1Char('x') + size.height;
}

std::array<QSize, 3> previewSizes(const QString& itemText) {
    for (const SizeRow& row : sizeRows)
        if (itemText == QLatin1String(row.item)) return row.previews;
    return sizeRows[DefaultSizeRow].previews;
}

int previewLeft(int width) {
    const int twice = PanelWidth - width;
    if (twice % 2 == 0) return twice / 2;
    // Exactly between two pixels: the even one of the two.
    const int below = (twice - 1) / 2;
    return below % 2 == 0 ? below : below + 1;
}

int refreshSeconds(const QString& itemText) {
    for (const RefreshRow& row : refreshRows)
        if (itemText == QLatin1String(row.item)) return row.seconds;
    return 0;
}

QString countdownLine(int seconds) {
    return QStringLiteral("var countDownInterval=%1;").arg(seconds);
}

QString webAddress(const QString& ftpHost, const QString& ftpUser, const QString& page) {
    const QString host = ftpHost.startsWith(QLatin1String("ftp"))
                             ? QStringLiteral("www") + ftpHost.mid(3, 50)
                             : ftpHost;
    return QStringLiteral("http://") + host + QLatin1Char('/') + ftpUser + QLatin1Char('/') + page;
}

bool isNameCharacter(QChar c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
           c == u'-' || c == u'_';
}

QString acceptedName(const QString& text, NameRefusal* refusal) {
    QString kept;
    NameRefusal worst = NameRefusal::None;
    for (const QChar c : text) {
        if (isNameCharacter(c))
            kept += c;
        else if (c == u'.' && worst == NameRefusal::None)
            worst = NameRefusal::Dot;
        else if (c != u'.')
            worst = NameRefusal::Other;
    }
    if (refusal) *refusal = worst;
    return kept;
}

QStringList readPage(const QString& file) {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) return {};
    // One character per byte: a page in any 8-bit encoding or in UTF-8 is written back with
    // the bytes it had, whatever the program puts into the lines it edits.
    QString text = QString::fromLatin1(f.readAll());
    if (text.isEmpty()) return {};
    if (text.endsWith(QLatin1Char('\n'))) text.chop(1);
    return text.split(QLatin1Char('\n'));
}

QByteArray pageBytes(const QStringList& page) {
    QByteArray bytes;
    for (const QString& line : page)
        bytes += line.toLatin1() + '\n';
    return bytes;
}

std::optional<QByteArray> readPageFile(const QString& path, QString* error) {
    QFile file(path);
    if (file.open(QIODevice::ReadOnly)) {
        QByteArray bytes = file.readAll();
        if (file.error() == QFileDevice::NoError) return bytes;
    }
    *error = QStringLiteral("The web page file %1 could not be read: %2")
                 .arg(QFileInfo(path).fileName(), file.errorString());
    return std::nullopt;
}

bool writePageFile(const QString& path, const QByteArray& bytes, QString* error) {
    QString reason;
    if (writeFileAtomically(path, bytes, &reason)) return true;
    *error = QStringLiteral("The web page file %1 could not be written: %2")
                 .arg(QFileInfo(path).fileName(), reason);
    return false;
}

} // namespace ostrel::webpage
