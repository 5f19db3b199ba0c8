#pragma once
// Reading server replies: splitting received bytes into lines, telling the final line of
// a (possibly multi-line) reply from the lines before it, and the FTP passive-mode reply.
// Plain code without sockets, shared by the FTP and SMTP clients and the fuzz targets.
#include <QByteArray>
#include <QByteArrayView>
#include <optional>

namespace ostrel {

// Collects received bytes and hands them out line by line, without the line end. A line
// ends with CR LF; with `acceptLoneLf` a lone LF ends it as well. A line longer than
// `maxLineLength` (0 = no limit) is never handed out: overflow() reports it instead, so a
// peer that never ends its line cannot make the buffer grow without bound.
class LineBuffer {
public:
    explicit LineBuffer(qsizetype maxLineLength = 0, bool acceptLoneLf = true)
        : maxLine_(maxLineLength), loneLf_(acceptLoneLf) {}

    void setMaxLineLength(qsizetype n) { maxLine_ = n; }
    void setAcceptLoneLf(bool on) { loneLf_ = on; }

    void append(QByteArrayView data);
    // The next complete line, or nothing when none is complete (or the next is too long).
    std::optional<QByteArray> takeLine();
    bool overflow() const { return overflow_; }
    // Whatever is left: the start of a line whose end never came.
    QByteArray takeRest();
    qsizetype pendingBytes() const { return buf_.size() - pos_; }
    void clear();

private:
    QByteArray buf_;
    qsizetype pos_ = 0;  // start of the first line not yet handed out
    qsizetype scan_ = 0; // where the search for the next LF goes on
    qsizetype maxLine_;
    bool loneLf_;
    bool overflow_ = false;
};

// The reply code when `line` is the final line of a reply: three digits, the first 1 to 5,
// not followed by "-" or a further digit. Anything else (continuation lines, text lines
// inside a multi-line reply, garbage) is not a final line.
std::optional<int> finalReplyCode(QByteArrayView line);

// Follows one reply across its lines. A multi-line reply counts once, at its final line;
// a reply whose lines add up to more than `maxReplyBytes` is refused (TooLong), so a
// server that never finishes its reply is stopped.
class ReplyReader {
public:
    enum class Result { Pending, Complete, TooLong };

    explicit ReplyReader(qsizetype maxReplyBytes = 256 * 1024) : max_(maxReplyBytes) {}

    Result feed(QByteArrayView line);
    // Of the last Complete reply.
    int code() const { return code_; }
    const QByteArray& line() const { return line_; }
    void reset() { bytes_ = 0; }

private:
    qsizetype max_;
    qsizetype bytes_ = 0;
    int code_ = 0;
    QByteArray line_;
};

// Host and port named by a passive-mode reply ("227 Entering Passive Mode (h1,h2,h3,h4,p1,p2)").
struct PasvAddress {
    quint32 ipv4 = 0; // h1.h2.h3.h4 in host order
    quint16 port = 0;
};
// The six numbers between the parentheses, or, for servers that leave the parentheses
// out, the first six comma-separated numbers after the code. Nothing when they are
// missing, out of range, or name port 0.
std::optional<PasvAddress> parsePasvReply(QByteArrayView line);

// "PORT h1,h2,h3,h4,p1,p2" for an IPv4 address in host order and a port.
QByteArray portCommand(quint32 ipv4, quint16 port);

} // namespace ostrel
