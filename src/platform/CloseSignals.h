#pragma once
#include <QObject>

class QSocketNotifier;

namespace ostrel {

// Turns SIGTERM, SIGINT and SIGHUP into a Qt signal delivered on the user-interface
// thread (self-pipe), so the main window can close through its normal sequence. A second
// signal while that close runs ends the process at once with 128 + the signal's number.
class CloseSignals : public QObject {
    Q_OBJECT
public:
    explicit CloseSignals(QObject* parent = nullptr);
    ~CloseSignals() override;

signals:
    void closeRequested(int signalNumber);

private:
    void readPipe();
    QSocketNotifier* notifier_ = nullptr;
};

} // namespace ostrel
