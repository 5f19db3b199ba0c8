#pragma once
// The live picture's controls: the capture device's status, status-callback and error
// events, the Local Display Settings group and the Rate field.
#include <QObject>

namespace ostrel {

class TMain;

class DisplayController : public QObject {
    Q_OBJECT
public:
    explicit DisplayController(TMain& main);

    void Video1Status();
    void Video1StatusCallback(int statusNumber, const QString& text);
    void VideoCap1Error(int errorNumber, const QString& text);
    void Edit1Change(const QString& text);

private:
    TMain& main_;
};

} // namespace ostrel
