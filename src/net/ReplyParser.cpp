#include "net/ReplyParser.h"

namespace ostrel {

void LineBuffer::append(QByteArrayView data) {
    if (data.isEmpty() || overflow_) return;
    // Drop what has been handed out before growing, so the buffer holds one window of data.
    if (pos_ > 0 && pos_ >= buf_.size() / 2) {
        buf_.remove(0, pos_);
        scan_ -= pos_;
        pos_ = 0;
    }
    buf_.append(data.data(), data.size());
}

std::optional<QByteArray> LineBuffer::takeLine() {
    if (overflow_) return std::nullopt;
    while (true) {
        const qsizetype lf = buf_.indexOf('\n', scan_);
        if (lf < 0) {
            scan_ = buf_.size();
            if (maxLine_ > 0 && buf_.size() - pos_ > maxLine_) overflow_ = true;
            return std::nullopt;
        }
        scan_ = lf + 1;
        const bool cr = lf > pos_ && buf_[lf - 1] == '\r';
        if (!cr && !loneLf_) continue; // a bare LF is part of the line
        const qsizetype length = lf - pos_ - (cr ? 1 : 0);
        if (maxLine_ > 0 && length > maxLine_) {
            overflow_ = true;
            return std::nullopt;
        }
        QByteArray line = buf_.mid(pos_, length);
        pos_ = lf + 1;
        if (pos_ == buf_.size()) {
            buf_.clear();
            pos_ = scan_ = 0;
        }
        return line;
    }
}

QByteArray LineBuffer::takeRest() {
    QByteArray rest = buf_.mid(pos_);
    clear();
    return rest;
}

void LineBuffer::clear() {
    buf_.clear();
    pos_ = scan_ = 0;
    overflow_ = false;
}

std::optional<int> finalReplyCode(QByteArrayView line) {
    if (line.size() < 3) return std::nullopt;
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    if (line[0] < '1' || line[0] > '5' || !digit(line[1]) || !digit(line[2])) return std::nullopt;
    if (line.size() > 3 && (line[3] == '-' || digit(line[3]))) return std::nullopt;
    return (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
}

ReplyReader::Result ReplyReader::feed(QByteArrayView line) {
    bytes_ += line.size() + 2;
    if (const auto code = finalReplyCode(line)) {
        code_ = *code;
        line_ = line.toByteArray();
        bytes_ = 0;
        return Result::Complete;
    }
    return bytes_ > max_ ? Result::TooLong : Result::Pending;
}

namespace {

// Reads "n1,n2,...,n6" (blanks allowed around the numbers) starting at `i`.
std::optional<PasvAddress> sixNumbers(QByteArrayView s, qsizetype i, qsizetype end) {
    int values[6];
    for (int k = 0; k < 6; ++k) {
        while (i < end && s[i] == ' ')
            ++i;
        int v = 0;
        int digits = 0;
        while (i < end && s[i] >= '0' && s[i] <= '9') {
            v = v * 10 + (s[i] - '0');
            if (++digits > 3 || v > 255) return std::nullopt;
            ++i;
        }
        if (digits == 0) return std::nullopt;
        values[k] = v;
        while (i < end && s[i] == ' ')
            ++i;
        if (k < 5) {
            if (i >= end || s[i] != ',') return std::nullopt;
            ++i;
        }
    }
    PasvAddress a;
    a.ipv4 = (quint32(values[0]) << 24) | (quint32(values[1]) << 16) | (quint32(values[2]) << 8) |
             quint32(values[3]);
    a.port = quint16(values[4] * 256 + values[5]);
    if (a.port == 0) return std::nullopt;
    return a;
}

} // namespace

std::optional<PasvAddress> parsePasvReply(QByteArrayView line) {
    const qsizetype start = line.size() >= 3 ? 3 : line.size(); // past the reply code
    const qsizetype open = line.indexOf('(', start);
    if (open >= 0) {
        const qsizetype close = line.indexOf(')', open);
        if (close < 0) return std::nullopt;
        return sixNumbers(line, open + 1, close);
    }
    for (qsizetype i = start; i < line.size(); ++i) {
        if (line[i] >= '0' && line[i] <= '9') {
            // The run of numbers ends at the first character that is neither a digit,
            // a comma nor a blank.
            qsizetype end = i;
            while (end < line.size() &&
                   ((line[end] >= '0' && line[end] <= '9') || line[end] == ',' || line[end] == ' '))
                ++end;
            while (end > i && line[end - 1] == ' ')
                --end;
            if (auto a = sixNumbers(line, i, end)) return a;
            i = end;
        }
    }
    return std::nullopt;
}

QByteArray portCommand(quint32 ipv4, quint16 port) {
    return QByteArrayLiteral("PORT ") + QByteArray::number((ipv4 >> 24) & 0xff) + ',' +
           QByteArray::number((ipv4 >> 16) & 0xff) + ',' + QByteArray::number((ipv4 >> 8) & 0xff) +
           ',' + QByteArray::number(ipv4 & 0xff) + ',' + QByteArray::number(port >> 8) + ',' +
           QByteArray::number(port & 0xff);
}

} // namespace ostrel
