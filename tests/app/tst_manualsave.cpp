// The Manual Save group with the virtual camera, and the capture parameters dialog.
#include "MainFixture.h"
#include "app/ManualSaveController.h"
#include "capture/DlgCapture.h"
#include "capture/VideoCapture.h"
#include "ui_DlgCapture.h"
#include <QTimer>
#include <QtEndian>

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

// [Capture Parameters] as stored ("-": no key), then the device's values.
QString parameters(const QString& folder, const TVideoCapture& v) {
    const IniFile ini(folder + "Ostrel.sif");
    QStringList values;
    for (const char* key :
         {"FrameRate", "Capture_Time", "Index_Size", "Buffer_Size", "Capture_Audio"})
        values << ini.readString("Capture Parameters", key, "-");
    for (uint value : {uint(v.FrameRate()), uint(v.CapTimeLimit()), uint(v.CapIndexSize()),
                       uint(v.BufferFileSize()), uint(v.CapAudio())})
        values << QString::number(value);
    return values.join(',');
}

// A finished AVI: its RIFF header counts the whole file, not the placeholder of its start.
bool finishedVideo(const QString& file) {
    const QByteArray avi = readAll(file);
    return avi.size() > 12 && avi.startsWith("RIFF") && avi.mid(8, 4) == "AVI " &&
           qFromLittleEndian<quint32>(avi.constData() + 4) == quint32(avi.size() - 8);
}

// Whether Ostrel.sif holds 7 s, 1800, 3 MB and no audio; the frame rate, time and index
// typed; the key that ends the dialog (0: the OK button); the error shown; parameters().
struct Params {
    bool stored;
    QString typed;
    int key;
    QString error, after;
};

} // namespace

Q_DECLARE_METATYPE(Params)

class TestManualSave : public QObject {
    Q_OBJECT

private slots:
    // Snapshots go to Snapshots/ under the name as typed, replacing an earlier picture; a
    // failed save or grab says so.
    void snapshots() {
        Camera p;
        auto* ui = p.ui();
        p.write("Snapshots/Snapshot.bmp", "old");
        ui->menuSnapshot->trigger();
        QCOMPARE(bitmap::load(p.path + "Snapshots/Snapshot.bmp").size(), QSize(640, 480));
        ui->EditCapPicture->setText("door");
        ui->btnSnapshot->click();
        QVERIFY(QFile::exists(p.path + "Snapshots/door"));
        VERIFY_NO_BOXES(p.desk);

        // A full disk, and then no camera: the box and the log name the cause.
        if (FullDisk full(p.path + "Snapshots"); full.mounted) {
            ui->btnSnapshot->click();
            const QString cause =
                QString("Cannot write file \"%1Snapshots/door\". No space left on device")
                    .arg(p.path);
            QCOMPARE(p.desk.shownTexts(),
                     QStringList{"Could not save picture. See Error Log\n" + cause});
            QVERIFY(p.main->errorLog().lines().last().endsWith(" :   " + cause));
            p.desk.shown.clear();
            p.desk.beeps = 0;
        }
        p.video().setDriverOpen(false);
        ui->btnSnapshot->click();
        QCOMPARE(p.desk.shownTexts(), QStringList{"Could not save picture. See Error Log\nNo "
                                                  "picture came from the capture device"});
        QCOMPARE(p.desk.shown[0].kind, MsgKind::Error);
        QCOMPARE(p.desk.beeps, 1);
    }

    // A recording locks its controls until it ends: by itself, by Escape (which starts
    // nothing) or by the close, each leaving a finished file in Videos/; a full disk ends it
    // too, and too little room starts none or ends it.
    void recording() {
        Camera p;
        TMain& main = *p.main;
        main.show();
        QVERIFY(QTest::qWaitForWindowActive(&main));
        auto* ui = p.ui();
        p.video().setCapTimeLimit(1);
        ui->BtStartStop->click();
        QVERIFY(p.video().IsRecording());
        CHECK(verifyLook(main));
        QTRY_COMPARE_WITH_TIMEOUT(ui->BtStartStop->text(), QString("Start Video"), 10000);
        CHECK(verifyLook(main));
        QVERIFY(finishedVideo(p.path + "Videos/Video.avi"));

        p.video().setCapTimeLimit(0);
        ui->EditVideoFile->setText("escape.avi");
        ui->menuVideo->trigger();
        QTest::keyClick(&main, Qt::Key_Escape);
        QTest::keyClick(&main, Qt::Key_Escape);
        QVERIFY(!p.video().IsRecording());
        QVERIFY(finishedVideo(p.path + "Videos/escape.avi"));

        // Too little room: nothing starts, and the status bar says why. A disk that fills
        // under way ends the recording, and the log names the system's cause.
        p.freeMb.mb = [] { return 10; };
        ui->BtStartStop->click();
        QVERIFY(!p.video().IsRecording());
        QCOMPARE(main.statusPanel(1)->text(),
                 "Recording not started: only 10 MB free on the disk, 500 MB wanted");
        p.freeMb.mb = [] { return 500; };
        // Room that runs out under way ends the recording at the next look, with a finished
        // file, and the reason in the status bar and the log.
        ui->EditVideoFile->setText("filled.avi");
        ui->BtStartStop->click();
        QTimer* look = main.manualSave()->recordingRoomTimer();
        QCOMPARE(look->interval(), 2000);
        QCOMPARE(look->isActive(), true);
        QTRY_COMPARE_GT_WITH_TIMEOUT(QFileInfo(p.path + "Videos/filled.avi").size(), 0, 10000);
        main.manualSave()->recordingRoomTimerTick();
        QCOMPARE(p.video().IsRecording(), true);
        p.freeMb.mb = [] { return 10; };
        main.manualSave()->recordingRoomTimerTick();
        QCOMPARE(p.video().IsRecording(), false);
        QCOMPARE(look->isActive(), false);
        const QString why = "Recording ended: only 10 MB free on the disk, 500 MB wanted";
        QCOMPARE(main.statusPanel(1)->text(), why);
        QVERIFY(main.errorLog().lines().last().endsWith(" :   " + why));
        QVERIFY(finishedVideo(p.path + "Videos/filled.avi"));
        p.freeMb.mb = [] { return 500; };
        if (FullDisk full(p.path + "Videos"); full.mounted) {
            ui->BtStartStop->click();
            QTRY_COMPARE_WITH_TIMEOUT(ui->BtStartStop->text(), QString("Start Video"), 10000);
            QCOMPARE(main.errorLog().lines().filter(" :   Video error = ").size(), 1);
            QVERIFY(main.errorLog().lines().last().endsWith(": No space left on device"));
            QVERIFY(main.statusPanel(1)->text().endsWith(": No space left on device"));
        }

        ui->EditVideoFile->setText("closed.avi");
        ui->BtStartStop->click();
        main.close();
        QVERIFY(finishedVideo(p.path + "Videos/closed.avi"));
        VERIFY_NO_BOXES(p.desk);
    }

    // The dialog shows the device's values, or those of Ostrel.sif when it exists, and its
    // fields take digits only. OK writes the texts first, then applies the values in field
    // order until one fails, and the dialog stays open; Enter and Escape cancel unwritten.
    void parametersDialog_data() {
        QTest::addColumn<Params>("row");
        QTest::newRow("index clamped by the device")
            << Params{true, "30,0,100", 0, "", "30,0,100,3,0,30,0,1800,3,0"};
        QTest::newRow("frame rate out of range") << Params{
            true, "70000,5,100", 0, "70000 is out of range", "70000,5,100,3,0,20,9,0,0,0"};
        QTest::newRow("empty field, first run") << Params{
            false, "30,,100", 0, "'' is not a valid integer value", "30,,100,0,1,20,9,0,0,1"};
        for (const auto& [name, key] :
             {std::pair{"Escape", Qt::Key_Escape}, {"Enter", Qt::Key_Return}})
            QTest::newRow(name) << Params{true, "30,5,100", key, "", "-,7,1800,3,0,20,9,0,0,1"};
    }
    void parametersDialog() {
        QFETCH(Params, row);
        const auto& [stored, typed, key, error, after] = row;
        Program p; // its folder and desktop; no window
        if (stored)
            p.write("Ostrel.sif", "[Capture Parameters]\r\nCapture_Time=7\r\nIndex_Size=1800\r\n"
                                  "Buffer_Size=3\r\nCapture_Audio=0\r\n");
        TVideoCapture video(systemDrivers(p.path), p.path);
        video.setFrameRate(20);
        video.setCapTimeLimit(9);
        video.setCapAudio(true);
        TDlgCapParam dialog(video, p.path);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        auto* ui = dialog.ui();
        const QList<QLineEdit*> fields{ui->edFrameRate, ui->edCapTime, ui->edIndexSize,
                                       ui->edBufferSize};
        QStringList shown;
        for (QLineEdit* field : fields) {
            QTest::keyClick(field, Qt::Key_X);
            shown << field->text();
        }
        QCOMPARE(shown.join(','), QString(stored ? "15,7,1800,3" : "20,9,0,0"));
        QCOMPARE(ui->CheckAudio->isChecked(), !stored);
        QCOMPARE(p.desk.shownTexts(), QStringList(4, "Invalid entry: x"));
        p.desk.shown.clear();
        for (int i = 0; i < 3; ++i)
            fields[i]->setText(typed.section(',', i, i));
        if (key)
            QTest::keyClick(ui->edCapTime, Qt::Key(key));
        else
            ui->OKBtn->click();
        QCOMPARE(p.desk.shownTexts(), error.isEmpty() ? QStringList() : QStringList{error});
        QCOMPARE(dialog.isVisible(), !error.isEmpty());
        QCOMPARE(dialog.result(), int(!key && error.isEmpty()));
        QCOMPARE(parameters(p.path, video), after);
    }
};

QTEST_MAIN(TestManualSave)
#include "tst_manualsave.moc"
