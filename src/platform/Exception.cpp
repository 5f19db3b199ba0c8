#include "platform/Exception.h"

#include <cstdint>
#include <optional>

namespace ostrel {

namespace {

int hexDigit(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

// The toolkit's integer reading: leading blanks, an optional sign, then decimal digits
// or "$", "0x", "0X" and hexadecimal digits, and nothing after them. Decimal values must
// fit a signed 32-bit integer; hexadecimal ones may use all 32 bits ("$FFFFFFFF" is -1),
// which is how hand-written hex masks have always been read.
std::optional<int> parseInt(const QString& text) {
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n && text[i] == u' ')
        ++i;
    bool negative = false;
    if (i < n && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    bool hex = false;
    if (i < n && text[i] == u'$') {
        hex = true;
        ++i;
    } else if (i + 1 < n && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X')) {
        hex = true;
        i += 2;
    }
    if (i == n) return std::nullopt; // nothing but blanks, a sign or a prefix

    std::uint64_t value = 0;
    const std::uint64_t limit = hex ? 0xFFFFFFFFull : (negative ? 0x80000000ull : 0x7FFFFFFFull);
    for (; i < n; ++i) {
        int digit = hex ? hexDigit(text[i].unicode())
                        : (text[i] >= u'0' && text[i] <= u'9' ? text[i].unicode() - u'0' : -1);
        if (digit < 0) return std::nullopt;
        value = value * (hex ? 16 : 10) + static_cast<std::uint64_t>(digit);
        if (value > limit) return std::nullopt;
    }
    auto bits = static_cast<std::uint32_t>(value);
    if (negative) bits = 0u - bits;
    return static_cast<std::int32_t>(bits);
}

} // namespace

int strToInt(const QString& text) {
    if (auto v = parseInt(text)) return *v;
    throw EConvertError(QStringLiteral("'%1' is not a valid integer value").arg(text));
}

int strToIntDef(const QString& text, int fallback) {
    return parseInt(text).value_or(fallback);
}

} // namespace ostrel
