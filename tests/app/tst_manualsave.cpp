// The Manual Save group with the virtual camera: the snapshot, the recording's start and
// stop (button, menu, Escape, the close), and the capture parameters dialog.
#include "MainFixture.h"
#include "capture/DlgCapture.h"
#include "capture/VideoCapture.h"
#include "ui_DlgCapture.h"
#include <QTimer>

using namespace ostrel;
using namespace ostrel::test;

namespace {

struct Camera : Program {
    Camera() {
        useCamera();
        open({}, false);
    }
    TVideoCapture& video() const { return *main->VideoCap1(); }
};

// [Capture Parameters] as stored: frame rate, time, index, buffer, audio ("" when absent).
QString storedParameters(const QString& folder) {
    if (!QFile::exists(folder + "Ostrel.sif")) return {};
    const IniFile ini(folder + "Ostrel.sif");
    QStringList values;
    for (const char* key : {"FrameRate", "Capture_Time", "Index_Size", "Buffer_Size"})
        values << ini.readString("Capture Parameters", key, "-");
    values << ini.readString("Capture Parameters", "Capture_Audio", "-");
    return values.join(',');
}

QString deviceParameters(const TVideoCapture& v) {
    return QStringLiteral("%1,%2,%3,%4,%5")
        .arg(v.FrameRate())
        .arg(v.CapTimeLimit())
        .arg(v.CapIndexSize())
        .arg(v.BufferFileSize())
        .arg(int(v.CapAudio()));
}

} // namespace

class TestManualSave : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QCoreApplication::setApplicationName("Ostrel"); }

    // The picture goes to Snapshots/ under the name as typed, replacing an earlier one, as
    // a 24-bit bitmap of the camera's frame; a grab that fails says so.
    void snapshot() {
        Camera p;
        auto* ui = p.ui();
        p.write("Snapshots/Snapshot.bmp", "old");
        ui->menuSnapshot->trigger();
        const QByteArray saved = p.read("Snapshots/Snapshot.bmp");
        QCOMPARE(saved[28], char(24)); // bits per pixel
        QCOMPARE(bitmap::load(p.path + "Snapshots/Snapshot.bmp").size(),
                 QSize(p.video().imageWidth(), p.video().imageHeight()));
        ui->EditCapPicture->setText("door");
        ui->btnSnapshot->click();
        QVERIFY(QFile::exists(p.path + "Snapshots/door"));
        VERIFY_NO_BOXES(p.desk);

        p.video().setDriverOpen(false);
        ui->btnSnapshot->click();
        QCOMPARE(p.desk.shownTexts(), QStringList{"Could not save picture. See Error Log"});
        QVERIFY(p.desk.shown[0].kind == MsgKind::Error && p.desk.beeps == 1);
    }

    // The dialog opens from the menu on the device's values; the values kept in Ostrel.sif
    // replace them when it is shown.
    void parametersDialogShowsTheStoredValues() {
        Camera p;
        QVERIFY(QFile::remove(p.path + "Ostrel.sif"));
        p.video().setFrameRate(20);
        p.video().setCapIndexSize(5000);
        QStringList shown;
        const auto look = [&] {
            auto* dialog = qobject_cast<TDlgCapParam*>(QApplication::activeModalWidget());
            if (!dialog) return;
            shown << dialog->ui()->edFrameRate->text() + "," + dialog->ui()->edIndexSize->text() +
                         "," + QString::number(dialog->ui()->CheckAudio->isChecked());
            dialog->reject();
        };
        QTimer::singleShot(0, look);
        p.ui()->menuCaptureparameter1->trigger();
        p.set("Capture Parameters", "Capture_Audio", "1");
        QTimer::singleShot(0, look);
        p.ui()->menuCaptureparameter1->trigger();
        QCOMPARE(shown, QStringList({"20,5000,0", "15,0,1"}));
    }

    // OK writes the texts first, then applies the values in field order until one fails;
    // Enter and Escape cancel without writing.
    void parametersDialogOk_data() {
        QTest::addColumn<QStringList>("fields"); // frame rate, time, index, audio
        QTest::addColumn<int>("key");            // 0: OK button
        QTest::addColumn<QString>("error");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("device");
        const QString before = "15,0,0,0,0";
        QTest::newRow("index clamped by the device")
            << QStringList({"30", "5", "100", "1"}) << 0 << ""
            << "30,5,100,0,1"
            << "30,5,1800,0,1";
        QTest::newRow("frame rate out of range")
            << QStringList({"70000", "5", "100", "1"}) << 0 << "70000 is out of range"
            << "70000,5,100,0,1"
            << "15,0,0,0,1";
        QTest::newRow("empty field")
            << QStringList({"30", "", "100", "1"}) << 0 << "'' is not a valid integer value"
            << "30,,100,0,1" << before;
        QTest::newRow("Escape") << QStringList({"30", "5", "100", "1"}) << int(Qt::Key_Escape) << ""
                                << "" << before;
        QTest::newRow("Enter") << QStringList({"30", "5", "100", "1"}) << int(Qt::Key_Return) << ""
                               << "" << before;
    }
    void parametersDialogOk() {
        QFETCH(QStringList, fields);
        QFETCH(int, key);
        QFETCH(QString, error);
        QFETCH(QString, stored);
        QFETCH(QString, device);
        QTemporaryDir dir;
        const QString folder = dir.path() + '/';
        ScriptedDesktop desk;
        TVideoCapture video(systemDrivers(folder), folder);
        TDlgCapParam dialog(video, folder);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        auto* ui = dialog.ui();
        ui->edFrameRate->setText(fields[0]);
        ui->edCapTime->setText(fields[1]);
        ui->edIndexSize->setText(fields[2]);
        ui->CheckAudio->setChecked(fields[3] == "1");
        if (key) {
            ui->edCapTime->setFocus();
            QTest::keyClick(ui->edCapTime, Qt::Key(key));
        } else {
            ui->OKBtn->click();
        }
        QCOMPARE(desk.shownTexts(), error.isEmpty() ? QStringList() : QStringList{error});
        QCOMPARE(dialog.isVisible(), !error.isEmpty());
        QCOMPARE(dialog.result(),
                 int(!key && error.isEmpty() ? QDialog::Accepted : QDialog::Rejected));
        QCOMPARE(storedParameters(folder), stored);
        QCOMPARE(deviceParameters(video), device);
    }
};

QTEST_MAIN(TestManualSave)
#include "tst_manualsave.moc"
