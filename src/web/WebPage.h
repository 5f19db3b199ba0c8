#pragma once
// The web access page: the state the main window shares between the look and name window
// and the remote host management, and the rules both follow. The page is a template whose
// line 14 holds the picture size and line 25 the browser countdown; a look change rewrites
// those two lines and nothing else.
#include "web/WebPageState.h"
#include <QSize>
#include <QString>
#include <QStringList>
#include <array>
#include <functional>
#include <optional>

namespace ostrel {

// What the look and name window asks of the rest of the program.
struct WebPageHooks {
    // The FTP client's current host and user name, for the web address.
    std::function<QString()> ftpHost, ftpUser;
    // "Done" with a change pending: open the remote host management as its button does.
    std::function<void()> openRemoteHostManagement;
    // A cancelled name change: the management window's pending name reads "no change".
    std::function<void()> nameChangeCancelled;
};

namespace webpage {

inline constexpr int SizeLine = 14;
inline constexpr int CountdownLine = 25;
inline constexpr int PanelWidth = 200; // a preview panel is 200 x 150

// Puts `text` at line `index`; a page without that line stays as it is.
void replaceLine(QStringList& page, int index, const QString& text);

// The size attributes an item of the size list stands for: "0600" and "450" for
// "600x450  (Default)". Taken from the text itself: a three-digit width gets a leading 0.
struct SizeAttributes {
    QString width, height;
};
SizeAttributes sizeAttributes(const QString& itemText);
QString sizeLine(const SizeAttributes& size);  // "width=0600 height=450"
QString sizeLabel(const SizeAttributes& size); // "0600x450"

// The preview picture sizes of a size item on 640x480, 800x600 and 1024x768 screens; the
// default item's sizes for a text not in the list.
std::array<QSize, 3> previewSizes(const QString& itemText);
// The left position that centres a picture of `width` in a preview panel: halves go to
// the even neighbour, and pictures wider than the panel get a negative position.
int previewLeft(int width);

// The seconds of an item of the refresh list; 0 for a text not in the list.
int refreshSeconds(const QString& itemText);
QString countdownLine(int seconds); // "var countDownInterval=60;"

// Where a page is likely reached: a host "ftp..." is served as "www...".
QString webAddress(const QString& ftpHost, const QString& ftpUser, const QString& page);

// Page names become file names here and on the server: ASCII letters, digits, '-', '_'.
enum class NameRefusal { None, Dot, Other };
bool isNameCharacter(QChar c);
// `text` without the characters a name may not hold; `refusal` tells what went: Dot when
// only dots did (someone typing an extension), Other when anything else did.
QString acceptedName(const QString& text, NameRefusal* refusal = nullptr);

// The page as lines (a last line break ends the last line), one character per byte, so
// pageBytes gives back the bytes read; empty when the file cannot be read.
QStringList readPage(const QString& file);
QByteArray pageBytes(const QStringList& page);

// A page file read or replaced whole for a change the user asked for; on failure `error`
// names the file and gives the system's reason.
std::optional<QByteArray> readPageFile(const QString& path, QString* error);
bool writePageFile(const QString& path, const QByteArray& bytes, QString* error);

} // namespace webpage
} // namespace ostrel
