#pragma once
// Which names of the FTP host's folder listing the remote host window shows. The names
// come from a server, so a name that could reach outside a local folder or carry a
// second command is never shown (and so never used).
#include <QByteArray>
#include <QStringList>

namespace ostrel {

// One name as the server listed it (without its line end): a motion picture (ends in
// ".jpg", lowercase) other than the published "Capture.jpg", and safe to use as a local
// file name and as an FTP argument: valid UTF-8 of at most 255 bytes, no "/", "\", ".."
// or control character.
bool isListedPicture(const QByteArray& name);

// The listed pictures of a listing (one name a line, CR LF or LF), in listing order.
QStringList listedPictures(const QByteArray& listing);

} // namespace ostrel
