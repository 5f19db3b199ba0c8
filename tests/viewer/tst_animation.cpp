// The animation window with a scripted clock: the ticks are called directly, and a
// ScriptedDesktop records boxes and beeps. Also the pace rule and the volume list.
#include "../common/FreshFolder.h"
#include "../net/NetTestUtil.h"
#include "picture/JpegExport.h"
#include "platform/ScriptedDesktop.h"
#include "ui_unAnimation.h"
#include "viewer/AnimationPlay.h"
#include "viewer/Volumes.h"
#include "viewer/unAnimation.h"

#include <QDir>
#include <QFile>
#include <QTest>

using namespace ostrel;
using namespace ostrel::test;

class TestAnimation : public QObject {
    Q_OBJECT
    FreshFolder dir_;
    QString folder_; // the program folder, without the trailing '/'
    std::unique_ptr<ScriptedDesktop> desktop_;
    std::unique_ptr<TfrmAnimation> form_;

    void writePicture(const QString& name) {
        QImage picture(32, 24, QImage::Format_RGB888);
        picture.fill(Qt::darkCyan);
        QVERIFY(writeFile(folder_ + QLatin1Char('/') + name, encodeJpeg(picture)));
    }
    Ui::TfrmAnimation& ui() { return *form_->ui(); }
    QString shown() { return ui().Image->accessibleName(); }
    void expectPlaying(bool on) {
        QCOMPARE(form_->animationTimer().isActive(), on);
        QCOMPARE(ui().btnStop->isEnabled(), on);
    }

private slots:
    void init() {
        QVERIFY(dir_.renew());
        folder_ = QDir::cleanPath(dir_.dir.path());
        for (const char* name : {"b.jpg", "a.jpg", "c.jpg", "D.JPG"})
            writePicture(QString::fromLatin1(name));
        QFile(folder_ + QStringLiteral("/notes.txt")).open(QIODevice::WriteOnly);
        QVERIFY(QDir(folder_).mkdir(QStringLiteral("sub")));
        desktop_ = std::make_unique<ScriptedDesktop>();
        form_ = std::make_unique<TfrmAnimation>(folder_ + QLatin1Char('/'));
    }
    void cleanup() {
        form_.reset();
        desktop_.reset();
    }

    void ticks_data() {
        QTest::addColumn<bool>("loop");
        QTest::addColumn<QStringList>("pictures"); // shown after each tick
        QTest::newRow("once") << false << QStringList{"a.jpg", "b.jpg", "c.jpg", "c.jpg"};
        // One tick without a change, then the first picture again.
        QTest::newRow("loop") << true << QStringList{"a.jpg", "b.jpg", "c.jpg", "c.jpg", "a.jpg"};
    }
    void ticks() {
        QFETCH(bool, loop);
        QFETCH(QStringList, pictures);
        // Only the JPEG files, sorted by name whatever their case.
        form_->btnAddAllClick();
        QCOMPARE(ui().PicListBox->count(), 4);
        QCOMPARE(ui().PicListBox->item(3)->text(), QStringLiteral("D.JPG"));
        // A click shows the picture and clears the other list's choice.
        ui().FileListBox->setCurrentRow(1);
        form_->FileListBoxClick();
        QCOMPARE(shown(), QStringLiteral("b.jpg"));
        ui().PicListBox->setCurrentRow(3);
        form_->PicListBoxClick();
        QCOMPARE(shown(), QStringLiteral("D.JPG"));
        QVERIFY(ui().FileListBox->selectedItems().isEmpty());
        form_->SpeedBtnRemoveClick();
        ui().CheckBoxLoop->setChecked(loop);
        form_->btnAnimateClick();
        for (int tick = 0; tick < pictures.size(); ++tick) {
            form_->AnimationTimerTimer();
            QCOMPARE(shown(), pictures[tick]);
            // Without a loop the fourth tick ends the play.
            expectPlaying(loop || tick < 3);
        }
    }

    void speedChangeWaitsForAnimate() {
        ui().PicListBox->addItem(QStringLiteral("a.jpg"));
        form_->btnAnimateClick();
        ui().ScrollBarSpeed->setValue(30);
        QCOMPARE(ui().lblSpeed->accessibleName(), QStringLiteral("Animation speed :  30 fps"));
        QCOMPARE(form_->animationTimer().interval(), 333);
        form_->btnAnimateClick();
        QCOMPARE(form_->animationTimer().interval(), 33);
        // A half goes to even (62.5 at 16 fps), more than a half rounds up (142.86 at 7 fps).
        QCOMPARE(ostrel::frameInterval(16), 62);
        QCOMPARE(ostrel::frameInterval(7), 143);
    }

    // Names resolve against the folder shown: after browsing elsewhere the listed file
    // is missing. One box, and the animation stops.
    void missingFileStopsWithOneError() {
        ui().PicListBox->addItems({QStringLiteral("a.jpg"), QStringLiteral("b.jpg")});
        form_->setCurrentFolder(folder_ + QStringLiteral("/sub"));
        form_->btnAnimateClick();
        form_->AnimationTimerTimer();
        QCOMPARE(desktop_->shown.size(), 1);
        QVERIFY2(desktop_->shown[0].text.contains(folder_ + QStringLiteral("/sub/a.jpg")),
                 qPrintable(desktop_->shown[0].text));
        expectPlaying(false);
    }

    void closingStopsAndReturnsToProgramFolder() {
        form_->show();
        form_->setCurrentFolder(folder_ + QStringLiteral("/sub"));
        ui().PicListBox->addItem(QStringLiteral("a.jpg"));
        form_->btnAnimateClick();
        form_->close();
        expectPlaying(false);
        QCOMPARE(form_->currentFolder(), folder_);
        // Each showing starts with an empty list.
        form_->show();
        QCOMPARE(ui().PicListBox->count(), 0);
    }

    void removeAllShowsEmptyPicture() {
        ui().PicListBox->addItem(QStringLiteral("a.jpg"));
        form_->btnAnimateClick();
        form_->AnimationTimerTimer();
        // Without imgempty.jpg the last picture stays.
        form_->btnRemoveAllClick();
        QCOMPARE(ui().PicListBox->count(), 0);
        QCOMPARE(shown(), QStringLiteral("a.jpg"));
        writePicture(QStringLiteral("imgempty.jpg"));
        form_->btnRemoveAllClick();
        QCOMPARE(shown(), QStringLiteral("imgempty.jpg"));
    }

    void unreadableVolumeReturnsToProgramFolder() {
        const QString gone = folder_ + QStringLiteral("/no-stick");
        form_->setVolumeSource([this, gone] { return QStringList{"/", folder_, gone}; });
        ui().DriveComboBox->setCurrentIndex(0); // readable: the folder list follows
        form_->DriveComboBoxChange();
        QCOMPARE(form_->currentFolder(), QStringLiteral("/"));
        ui().DriveComboBox->setCurrentIndex(2);
        form_->DriveComboBoxChange();
        QCOMPARE(desktop_->beeps, 1);
        QCOMPARE(desktop_->shownTexts(), QStringList{"There is no disk in Drive " + gone});
        QCOMPARE(ui().DriveComboBox->currentText(), folder_);
        QCOMPARE(form_->currentFolder(), folder_);
        QCOMPARE(ui().FileListBox->count(), 4);
    }

    // A list's viewport speaks for its list; the free area empties the status bar.
    void tipsFollowTheMouse() {
        QEvent enter(QEvent::Enter);
        QCoreApplication::sendEvent(ui().PicListBox->viewport(), &enter);
        QCOMPARE(ui().StatusBar1->currentMessage(),
                 QStringLiteral("Images that will be included in animation sequence."));
        QCoreApplication::sendEvent(form_.get(), &enter);
        QCOMPARE(ui().StatusBar1->currentMessage(), QString());
    }

    void volumesFromMountInfo_data() {
        QTest::addColumn<QByteArray>("mountInfo");
        QTest::addColumn<QStringList>("volumes");
        const QStringList base{"/", "/home/ann"};
        QTest::newRow("root") << QByteArray("22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw")
                              << base;
        QTest::newRow("home on its own device")
            << QByteArray("30 22 8:2 / /home rw shared:2 - ext4 /dev/sda2 rw") << base;
        QTest::newRow("stick with a blank")
            << QByteArray("40 22 8:17 / /media/ann/MY\\040STICK rw,nosuid - vfat /dev/sdb1 rw\n"
                          "41 22 8:33 / /mnt/backup rw - ext4 /dev/sdc1 rw")
            << base + QStringList{"/media/ann/MY STICK", "/mnt/backup"};
        QTest::newRow("pseudo file systems")
            << QByteArray("23 22 0:5 / /mnt/proc rw - proc proc rw\n"
                          "25 22 0:7 / /mnt/ram rw - tmpfs tmpfs rw")
            << base;
    }
    void volumesFromMountInfo() {
        QFETCH(QByteArray, mountInfo);
        QFETCH(QStringList, volumes);
        QCOMPARE(ostrel::volumesFromMountInfo(mountInfo, QStringLiteral("/home/ann/")), volumes);
        // A longer name beside a volume is not inside it.
        QCOMPARE(volumeIndexOf(volumes, QStringLiteral("/home/anne/pics")), 0);
    }
};

QTEST_MAIN(TestAnimation)
#include "tst_animation.moc"
