#pragma once
// "Video Source" of the network camera: its address, the RTSP transport, the login kept
// apart from the address (one typed into the address moves to the login fields), and a
// Test that opens the stream in the background and shows its first picture or the
// camera's answer in plain words; a certificate it refuses is shown by its fingerprint,
// with a button to trust that one.
#include "capture/NetworkCamera.h"
#include <QDialog>
#include <memory>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace ostrel {

class CaptureSession;

class TDlgNetworkSource : public QDialog {
    Q_OBJECT
public:
    explicit TDlgNetworkSource(const NetworkCameraSettings& settings, QWidget* parent = nullptr);
    ~TDlgNetworkSource() override;

    NetworkCameraSettings settings() const;
    // Takes the settings only with an address.
    void accept() override;

    QLineEdit* address() const { return address_; }
    QComboBox* transport() const { return transport_; }
    QLineEdit* user() const { return user_; }
    QLineEdit* password() const { return password_; }
    QPushButton* testButton() const { return test_; }
    QPushButton* trustButton() const { return trust_; }
    QLabel* picture() const { return picture_; }
    QLabel* outcome() const { return outcome_; }

    void startTest();

private:
    void testFrame(quint64 test, const QImage& frame);
    void testFailed(quint64 test, const QString& text);
    void endTest();
    void takeLoginFromAddress();
    void trust();

    QLineEdit* address_;
    QComboBox* transport_;
    QLineEdit* user_;
    QLineEdit* password_;
    QPushButton* test_;
    QPushButton* trust_;
    QLabel* picture_;
    QLabel* outcome_;
    std::unique_ptr<CaptureSession> testSession_;
    quint64 testNumber_ = 0; // answers of an earlier test are dropped
    QString trustedSha256_;
    QString untrustedSha256_; // what the last test refused, offered for trust
};

} // namespace ostrel
