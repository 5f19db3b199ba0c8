#pragma once
// The live picture's controls: the capture device's status, status-callback and error
// events, the Local Display Settings group and the Rate field.
#include <QObject>

namespace ostrel {

class MainWindowParts;

class DisplayController : public QObject {
    Q_OBJECT
public:
    DisplayController(MainWindowParts& main, QObject* parent);

    void Video1Status();
    void Video1StatusCallback(int statusNumber, const QString& text);
    void VideoCap1Error(int errorNumber, const QString& text);
    void Edit1Change(const QString& text);

private:
    MainWindowParts& main_;
};

} // namespace ostrel
