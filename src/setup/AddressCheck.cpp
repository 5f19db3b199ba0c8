#include "setup/AddressCheck.h"
#include "platform/Application.h"
#include "platform/Desktop.h"
#include <QApplication>
#include <QDialog>
#include <QFocusEvent>
#include <QLineEdit>

namespace ostrel {

AddressCheck::AddressCheck(QDialog* window, QList<QLineEdit*> fields, Rule rule,
                           QList<QWidget*> exempt)
    : QObject(window), window_(window), rule_(std::move(rule)) {
    for (QWidget* w : exempt)
        exempt_.append(w);
    for (QLineEdit* field : fields)
        field->installEventFilter(this);
}

bool AddressCheck::leavingIsChecked(QEvent* event) const {
    if (returningFocus_ || !window_->isVisible()) return false;
    // Switching to another window or opening a menu is not leaving the field.
    const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
    if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason) return false;
    // The focus has already moved on here.
    const QWidget* next = QApplication::focusWidget();
    for (const auto& w : exempt_)
        if (w && w == next) return false;
    return true;
}

bool AddressCheck::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusOut && leavingIsChecked(event)) {
        if (auto* field = qobject_cast<QLineEdit*>(watched)) {
            // Checked once the focus change is over, so the error box does not open in
            // the middle of it; by then the window may have closed (Esc, Save), and a
            // closed window asks nothing.
            QMetaObject::invokeMethod(
                this,
                [this, field = QPointer<QLineEdit>(field)] {
                    if (!field || !window_->isVisible() || field->hasFocus()) return;
                    try {
                        check(field);
                    } catch (...) {
                        Application::showCurrentException();
                    }
                },
                Qt::QueuedConnection);
        }
    }
    return QObject::eventFilter(watched, event);
}

bool AddressCheck::check(QLineEdit* field) {
    const QString error = rule_(field);
    if (error.isEmpty()) return true;
    desktop().messageBeep();
    showError(error, window_);
    // The field the focus leaves for is not checked now: the user has not been there.
    returningFocus_ = true;
    field->setFocus(Qt::OtherFocusReason);
    returningFocus_ = false;
    return false;
}

} // namespace ostrel
