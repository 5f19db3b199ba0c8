// The latest session's images beside the video: their recording time, the viewer, and
// deleting them.
#include "MainFixture.h"
#include "app/ImageListController.h"
#include "app/MotionController.h"
#include "picture/JpegExport.h"
#include "platform/DateTimeText.h"
#include "ui_PicView.h"
#include "viewer/PicView.h"
#include <QFileInfo>
#include <utime.h>

using namespace ostrel;
using namespace ostrel::test;

namespace {

// A window whose latest session (in folder `session`) listed `names`, each a small JPEG
// picture of its own colour.
struct Session : Program {
    QString folder;
    Session(const QStringList& names, const QString& session = "Session_1") {
        useCamera();
        open({}, false);
        folder = path + session;
        QDir().mkpath(folder);
        main->motion()->MotionSessionFolder = folder;
        int shade = 0;
        for (const QString& name : names) {
            QImage picture(64, 48, QImage::Format_RGB32);
            picture.fill(QColor(shade, 255 - shade, 90));
            shade += 60;
            write(session + "/" + name, encodeJpeg(picture));
            ui()->ListBox1->addItem(name);
        }
    }
    QString file(const QString& name) const { return folder + "/" + name; }
    QStringList listed() const {
        QStringList names;
        for (int i = 0; i < ui()->ListBox1->count(); ++i)
            names << ui()->ListBox1->item(i)->text();
        return names;
    }
    void select(int row) { ui()->ListBox1->item(row)->setSelected(true); }
};

} // namespace

class TestImageList : public QObject {
    Q_OBJECT

private slots:
    // A click shows when the file came to be, not when it was last written; the viewer's
    // caption is the line as it stood when the viewer came up, also after a second
    // picture; a cancelled Save Image says nothing; a file gone meanwhile is an error that
    // leaves the list alone.
    void recordingTimeViewerAndSave() {
        Session s({"image001.jpg", "image002.jpg"});
        const QString first = s.file("image001.jpg");
        const utimbuf old{946684800, 946684800}; // 2000-01-01: written long ago
        QCOMPARE(utime(QFile::encodeName(first).constData(), &old), 0);
        const QFileInfo info(first);
        const QDateTime created =
            info.birthTime().isValid() ? info.birthTime() : info.lastModified();
        s.select(0);
        const QString line = "Recorded:  " + longDateTimeText(created);
        QCOMPARE(s.ui()->lblImageInfo->text(), line);

        s.ui()->btnView->click();
        TfrmPicView* viewer = s.main->imageList()->frmPicView();
        QVERIFY(viewer->isVisible());
        QCOMPARE(viewer->windowTitle(), "Motion Image - " + line);
        s.select(1);
        s.ui()->lblImageInfo->setText("Recorded:  a second later"); // both came the same second
        emit s.ui()->ListBox1->itemActivated(s.ui()->ListBox1->item(1));
        auto* area = viewer->findChild<QWidget*>("ImageView");
        QCOMPARE(area->accessibleName(), "image002.jpg");
        QCOMPARE(viewer->windowTitle(), "Motion Image - " + line);

        // Cancelled: nothing written, nothing said (a saved copy: e2e_walk).
        viewer->findChild<QPushButton*>("btnSaveImage")->click();
        VERIFY_NO_BOXES(s.desk);

        QFile::remove(first);
        s.select(0);
        QCOMPARE(s.desk.shown.size(), 1);
        QVERIFY(s.desk.shown[0].text.startsWith("Cannot open file"));
        QCOMPARE(s.listed().size(), 2);
    }

    // Delete takes the selected file and entry only; Delete All asks first, takes only the
    // listed files and removes the session folder only when nothing else is left in it.
    void deleting() {
        Session s({"image001.jpg", "image002.jpg", "image003.jpg"});
        s.write("Session_1/notes.txt", "the user's own");
        s.select(1);
        s.ui()->btnDelete->click();
        QCOMPARE(s.listed(), QStringList({"image001.jpg", "image003.jpg"}));
        QVERIFY(!QFile::exists(s.file("image002.jpg")));
        QVERIFY(QFile::exists(s.file("image001.jpg")));
        QCOMPARE(s.ui()->lblImageInfo->text(), "Date and Time of Selected image");

        s.ui()->btnDeleteAll->click(); // nothing selected: not even the question
        VERIFY_NO_BOXES(s.desk);
        s.select(0);
        s.desk.answers << MsgButton::No;
        s.ui()->btnDeleteAll->click();
        QCOMPARE(s.desk.shownTexts(), {"Delete all files locally saved in this session ?"});
        QCOMPARE(s.listed().size(), 2);
        s.desk.answers << MsgButton::Yes;
        s.ui()->btnDeleteAll->click();
        QVERIFY(s.listed().isEmpty());
        QCOMPARE(QDir(s.folder).entryList(QDir::Files), {"notes.txt"});

        QFile::remove(s.file("notes.txt"));
        s.ui()->ListBox1->addItem("image001.jpg");
        s.write("Session_1/image001.jpg", "x");
        s.select(0);
        s.desk.answers << MsgButton::Yes;
        s.ui()->btnDeleteAll->click();
        QVERIFY(!QDir(s.folder).exists());
    }
};

QTEST_MAIN(TestImageList)
#include "tst_imagelist.moc"
