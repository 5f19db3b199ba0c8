#pragma once
// Numeric fields take only the digits 0 to 9 and backspace: any other typed character
// beeps, shows "Invalid entry: " with the character, and is dropped. Pasted text is not
// filtered (the field's change handler deals with it).
#include <QObject>

class QLineEdit;

namespace ostrel {

class DigitFilter : public QObject {
    Q_OBJECT
public:
    explicit DigitFilter(QObject* parent = nullptr) : QObject(parent) {}
    // Installs one shared filter on the field.
    static void install(QLineEdit* field);
    // True when the typed text passes (digits, or control characters such as backspace).
    static bool accepts(const QString& typed);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

} // namespace ostrel
