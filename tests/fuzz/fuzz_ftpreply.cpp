// Server bytes on the FTP control connection, cut into packets as the first input byte
// says: the line splitter, the reply reader and the passive-mode parser must hold their
// limits and never disagree with themselves.
#include "net/ReplyParser.h"

#include <cstdint>
#include <cstdlib>

using namespace ostrel;

namespace {

constexpr qsizetype lineLimit = 512;
constexpr qsizetype replyLimit = 4096;

void check(bool ok) {
    if (!ok) std::abort();
}

void line(ReplyReader& reader, const QByteArray& l) {
    check(l.size() <= lineLimit);
    check(!l.contains('\n'));
    const auto code = finalReplyCode(l);
    if (code) check(*code >= 100 && *code <= 599);
    const ReplyReader::Result r = reader.feed(l);
    check((r == ReplyReader::Result::Complete) == code.has_value());
    if (r == ReplyReader::Result::Complete) check(reader.code() == *code && reader.line() == l);
    if (r == ReplyReader::Result::TooLong) reader.reset();

    if (const auto pasv = parsePasvReply(l)) {
        check(pasv->port != 0);
        // What the client would send back for that address reads the same again.
        const QByteArray port = portCommand(pasv->ipv4, pasv->port);
        const auto again = parsePasvReply("227 (" + port.mid(5) + ")");
        check(again && again->ipv4 == pasv->ipv4 && again->port == pasv->port);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const qsizetype packet = 1 + data[0] % 64;
    const bool loneLf = data[0] & 0x80;
    LineBuffer buffer(lineLimit, loneLf);
    ReplyReader reader(replyLimit);
    const auto* bytes = reinterpret_cast<const char*>(data + 1);
    const qsizetype n = qsizetype(size) - 1;
    for (qsizetype at = 0; at < n && !buffer.overflow(); at += packet) {
        buffer.append(QByteArrayView(bytes + at, std::min(packet, n - at)));
        while (auto l = buffer.takeLine()) {
            if (!loneLf) {
                // Without lone-LF line ends a line may hold LFs, but never "CR LF". (The
                // clients read replies with lone LF line ends; only those reach a reader.)
                check(!l->contains("\r\n"));
                continue;
            }
            line(reader, *l);
        }
        check(buffer.pendingBytes() <= lineLimit + packet + 1);
    }
    return 0;
}
