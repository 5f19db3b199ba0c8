#include "platform/DigitFilter.h"
#include "platform/Desktop.h"
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLineEdit>

namespace ostrel {

bool DigitFilter::accepts(const QString& typed) {
    for (const QChar c : typed) {
        // Control characters (backspace, tab, Ctrl+letter) are editing keys, not entries.
        if (c.category() == QChar::Other_Control) continue;
        if (c < u'0' || c > u'9') return false;
    }
    return true;
}

void DigitFilter::install(QLineEdit* field) {
    static DigitFilter* shared = new DigitFilter(QCoreApplication::instance());
    field->installEventFilter(shared);
}

bool DigitFilter::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) return QObject::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    const QString typed = key->text();
    if (typed.isEmpty() || accepts(typed)) return false;
    desktop().messageBeep();
    showError(QStringLiteral("Invalid entry: ") + typed, qobject_cast<QWidget*>(watched));
    return true;
}

} // namespace ostrel
