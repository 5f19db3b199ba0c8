// Saves a picture of each window the help pages show, into the folder given as argument.
// Each window is built in a temporary program folder with the virtual camera and
// made-up example settings, shown offscreen, and grabbed.
#include "app/mainf.h"
#include "capture/DlgDriver.h"
#include "capture/VideoCapture.h"
#include "setup/unWizard1.h"
#include "setup/unWizard2.h"
#include "setup/unWizard3.h"
#include "platform/Application.h"
#include "platform/IniFile.h"
#include "platform/PictureArea.h"
#include "platform/ScriptedDesktop.h"
#include "ui_DlgDriver.h"
#include "ui_mainf.h"
#include "ui_unAnimation.h"
#include "ui_unBrowser.h"
#include "ui_unWizard1.h"
#include <QDir>
#include <QElapsedTimer>
#include <QHash>
#include <QListWidget>
#include <QSignalBlocker>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <tuple>

using namespace ostrel;

namespace {

void settle(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

// The program the windows belong to: the virtual camera, an example account, a few
// motion pictures of one session and a few log lines.
struct Program {
    QTemporaryDir dir;
    QString path = dir.path() + QLatin1Char('/');
    ScriptedDesktop desk;
    std::unique_ptr<TMain> main;
    QString session = path + QStringLiteral("12-07-2026_09.41.05/");

    Program() {
        IniFile vcap(path + QStringLiteral("vcap.sif"));
        vcap.writeInteger("Driver", "index", 0);
        vcap.writeInteger("Virtual Camera", "Motion_Interval", 3); // the figure walks through
        IniFile ini(path + QStringLiteral("Ostrel.sif"));
        ini.writeBool("Other Settings", "FirstRun", false);
        for (const auto& [section, key, value] :
             {std::tuple{"Other Settings", "Camera", "Shop"},
              {"FTP Settings", "FTP_Host", "ftp.example.org"},
              {"FTP Settings", "User_ID", "myname"},
              {"FTP Settings", "Password", "secret"},
              {"Email Settings", "SMTP_Host", "mail.example.org"},
              {"Email Settings", "User_Address", "camera@example.org"},
              {"Email Settings", "Destination_Address", "me@example.org"}})
            ini.writeString(section, key, QString::fromLatin1(value));
        main = std::make_unique<TMain>(path, systemDrivers(path));
        main->createWindows();
        main->resize(1000, 600);
        main->show();
        settle(1500);
        QDir().mkpath(session);
        for (int i = 1; i <= 4; ++i) {
            const QString name = QStringLiteral("image%1.jpg").arg(i, 3, 10, QLatin1Char('0'));
            main->ui()->PanelVideo->grab().save(session + name, "JPG");
            main->ui()->ListBox1->addItem(name);
            settle(1000);
        }
        // The log puts the date and time in front of each line.
        for (const char* line :
             {" :   FTP error = 500 Connection timed out (Winsock error #10060)",
              " :   FTP Host unreachable. Website Update will be suspended during 10 minutes.",
              " :   Website Update was reestablished. Reason: FTP Host is reachable again"})
            main->errorLog().add(QString::fromLatin1(line));
    }
};

// The colours that cover most pixels, most first.
QList<QRgb> mostFrequent(const QImage& rgb, QRgb mask, int n) {
    QHash<QRgb, int> counts;
    for (int y = 0; y < rgb.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        for (int x = 0; x < rgb.width(); ++x)
            ++counts[line[x] & mask];
    }
    QList<QRgb> colours = counts.keys();
    std::sort(colours.begin(), colours.end(),
              [&](QRgb a, QRgb b) { return counts[a] > counts[b]; });
    return colours.mid(0, n);
}

// A palette picture, small and without dither noise: the window's own 64 most frequent
// colours stay exact; the camera picture takes the nearest of the 192 most frequent
// colours at 4 bits a channel.
QImage fewColours(const QImage& picture) {
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB32);
    QList<QRgb> colours = mostFrequent(rgb, 0xffffffff, 64);
    for (QRgb c : mostFrequent(rgb, 0xfff0f0f0, 192))
        colours << (c | 0x080808);
    return rgb.convertToFormat(QImage::Format_Indexed8, colours, Qt::ThresholdDither);
}

QWidget* shown(QWidget* w) {
    w->show();
    settle(300);
    return w;
}

using Maker = std::function<QWidget*(Program&)>;

// Picture name -> the window, ready to grab.
const std::vector<std::pair<const char*, Maker>> windows = {
    {"main", [](Program& p) -> QWidget* { return p.main.get(); }},
    {"network", [](Program& p) { return shown(p.main->frmNetwork()); }},
    {"remotehost",
     [](Program& p) -> QWidget* {
         // Not shown: showing connects to the host. The list is filled as a host would.
         TfrmBrowser* w = p.main->frmBrowser();
         for (const char* name :
              {"12-07-2026_09.41.07.jpg", "12-07-2026_09.41.09.jpg", "12-07-2026_09.41.12.jpg"}) {
             auto* item = new QListWidgetItem(QString::fromLatin1(name), w->ui()->DirListBox);
             item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
             item->setCheckState(Qt::Unchecked);
         }
         w->ui()->DirListBox->item(1)->setCheckState(Qt::Checked);
         {
             const QSignalBlocker quiet(w->ui()->DirListBox); // a pick would download it
             w->ui()->DirListBox->setCurrentRow(0);
         }
         w->ui()->Image->setPicture(QImage(p.session + QStringLiteral("image001.jpg")),
                                    QStringLiteral("12-07-2026_09.41.07.jpg"));
         w->resize(w->sizeHint().expandedTo(w->size()));
         return w;
     }},
    {"pagelook", [](Program& p) { return shown(p.main->frmBrowserConf()); }},
    {"animation",
     [](Program& p) {
         TfrmAnimation* w = p.main->frmAnimation();
         w->setVolumeSource([&p] { return QStringList{p.path}; });
         shown(w);
         w->setCurrentFolder(p.session);
         w->btnAddAllClick();
         w->ui()->FileListBox->setCurrentRow(1);
         w->FileListBoxClick();
         settle(300);
         return w;
     }},
    {"errorlog", [](Program& p) { return shown(p.main->logForm()); }},
    {"driver",
     [](Program& p) {
         auto* w = new TDlgCapDriver(p.main.get());
         w->ui()->ComboBox1->addItems(p.main->VideoCap1()->ListDrivers());
         return shown(w);
     }},
    {"wizard1",
     [](Program& p) {
         auto* ui = p.main->wizard()->page1()->ui();
         shown(p.main->wizard()->page1());
         ui->cbYesFTP->click();
         ui->cbYesNotify->click();
         for (const auto& [field, text] : {std::pair{ui->edFTPhost, "ftp.example.org"},
                                           {ui->edUserID, "myname"},
                                           {ui->edPassword, "secret"},
                                           {ui->edSMTPhost, "mail.example.org"},
                                           {ui->edSMTPUserName, "myname"},
                                           {ui->edEmailPassword, "secret"},
                                           {ui->edUserEmail, "camera@example.org"},
                                           {ui->edDestinationAddress, "me@example.org"}})
             field->setText(QString::fromLatin1(text));
         settle(300);
         return p.main->wizard()->page1();
     }},
    {"wizard2", [](Program& p) { return shown(p.main->wizard()->page2()); }},
    {"wizard3", [](Program& p) { return shown(p.main->wizard()->page3()); }},
};

} // namespace

int main(int argc, char** argv) {
    Application app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Ostrel"));
    // Absolute, since some windows change the working folder.
    const QString out =
        QDir(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".")).absolutePath();
    QDir().mkpath(out);
    Program program;
    int failures = 0;
    for (const auto& [name, make] : windows) {
        QImage picture = make(program)->grab().toImage();
        if (picture.width() > 600) picture = picture.scaledToWidth(600, Qt::SmoothTransformation);
        const QString file = out + QStringLiteral("/%1.png").arg(QLatin1String(name));
        const bool saved = fewColours(picture).save(file, "PNG", 9);
        std::printf("%s %s\n", qPrintable(file), saved ? "saved" : "NOT SAVED");
        failures += saved ? 0 : 1;
    }
    return failures;
}
