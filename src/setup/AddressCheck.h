#pragma once
// Checks e-mail address fields when the keyboard focus leaves them, the way the network
// settings dialog and the setup wizard both do: once the focus change is over, a field
// that fails beeps, shows its error and takes the focus back.
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>

class QDialog;
class QLineEdit;
class QWidget;

namespace ostrel {

class AddressCheck : public QObject {
    Q_OBJECT
public:
    // The error text for the field's current text, or an empty text when it passes.
    using Rule = std::function<QString(QLineEdit* field)>;

    // Watches `fields` of `window`. Leaving a field for one of the `exempt` controls (the
    // way out, or the help that says what the field wants) is not checked.
    AddressCheck(QDialog* window, QList<QLineEdit*> fields, Rule rule, QList<QWidget*> exempt = {});

    // Runs the rule on `field` now; false (after the error box) when it failed.
    bool check(QLineEdit* field);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool leavingIsChecked(QEvent* event) const;

    QDialog* window_;
    Rule rule_;
    QList<QPointer<QWidget>> exempt_;
    bool returningFocus_ = false; // a failed check is putting the focus back
};

} // namespace ostrel
