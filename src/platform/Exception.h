#pragma once
// Base of every error Ostrel raises on purpose. Carries the text the user sees;
// the application's notify handler shows it in the standard error box.
#include <QString>
#include <stdexcept>

namespace ostrel {

class Exception : public std::runtime_error {
public:
    explicit Exception(const QString& message)
        : std::runtime_error(message.toStdString()), message_(message) {}
    const QString& message() const noexcept { return message_; }

private:
    QString message_;
};

// A conversion of field text to a number failed ("'abc' is not a valid integer value").
class EConvertError : public Exception {
public:
    using Exception::Exception;
};

// Text to integer the way the toolkit's StrToInt does it: optional blanks and sign,
// decimal digits or "0x"/"$" hexadecimal; anything else raises EConvertError.
int strToInt(const QString& text);
// Same rules, but yields `fallback` instead of raising.
int strToIntDef(const QString& text, int fallback);

} // namespace ostrel
