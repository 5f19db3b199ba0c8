// The look and name window of the web access page in a temporary program folder: the
// files it prepares, the look choices in the preview and the saved page, the name field,
// and "Done" with a change pending.
#include "../net/NetTestUtil.h"
#include "platform/ScriptedDesktop.h"
#include "ui_unBrowserConf.h"
#include "web/unBrowserConf.h"
#include <QClipboard>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QtTest>

using namespace ostrel;
using namespace ostrel::test;

namespace {

const QString DoneHint = "Click on the \"Done\" button when you are finished\n"
                         "changing the Name and Look of your Webpage.";

QStringList linesOf(const QString& file) {
    return QString::fromUtf8(readFile(file)).split('\n');
}

// One start of the program with the shipped Server files (and `extra` files written first).
struct Program {
    QTemporaryDir dir;
    QString server = dir.path() + "/Server/";
    ScriptedDesktop desk;
    WebPageState state;
    QStringList events; // hooks called, and message boxes, in order
    std::unique_ptr<TfrmBrowserConf> window;

    explicit Program(const QMap<QString, QByteArray>& extra = {}) {
        QDir().mkpath(server);
        const QString shipped = qEnvironmentVariable("OSTREL_SOURCE_DIR") + "/data/Server/";
        for (const char* name : {"ostrel.bkp", "stopcap.jpg", "stoptime.bmp"})
            QFile::copy(shipped + name, server + name);
        for (auto it = extra.begin(); it != extra.end(); ++it)
            if (QFile f(server + it.key()); f.open(QIODevice::WriteOnly)) f.write(it.value());
        desk.onMessageBox = [this](const ScriptedDesktop::Shown& box) { events << box.text; };
        WebPageHooks hooks;
        hooks.ftpHost = [] { return QStringLiteral("ftp.example.com"); };
        hooks.ftpUser = [] { return QStringLiteral("cam"); };
        hooks.openRemoteHostManagement = [this] { events << "remote host management"; };
        hooks.nameChangeCancelled = [this] { events << "no change"; };
        window = std::make_unique<TfrmBrowserConf>(dir.path(), state, hooks);
    }
    Ui::TfrmBrowserConf* ui() const { return window->ui(); }
    QString address(const QString& page) const { return "http://www.example.com/cam/" + page; }
};

} // namespace

class TestBrowserConf : public QObject {
    Q_OBJECT
private slots:
    void firstStart() {
        Program p({{"Capture.jpg", "published"}});
        const QByteArray page = readFile(p.server + "ostrel.bkp");
        // Read and written back, the page must come out as it went in, or it grows every start.
        QCOMPARE(readFile(p.server + "ostrel.html"), page);
        QCOMPARE(readFile(p.server + "testview.html"), page);
        QCOMPARE(readFile(p.server + "datetime.bmp"), readFile(p.server + "stoptime.bmp"));
        QCOMPARE(readFile(p.server + "Capture.jpg"), QByteArray("published"));
        QCOMPARE(p.state.OldPageName, QString("ostrel.html"));
        QCOMPARE(p.ui()->lblURL->text(), p.address("ostrel.html"));

        // A page of an earlier run is kept, byte for byte in the 8-bit encoding its author
        // used; the preview is the template again.
        Program again({{"ostrel.html", "earlier caf\xe9\n"}, {"testview.html", "earlier\n"}});
        QCOMPARE(readFile(again.server + "ostrel.html"), QByteArray("earlier caf\xe9\n"));
        QCOMPARE(readFile(again.server + "testview.html"), page);
    }

    void lookChoices() {
        Program p;
        p.window->show();
        // A size saved alone leaves the countdown as the template has it.
        p.ui()->ComboSize->setCurrentText("1000x750");
        p.ui()->btnSave->click();
        QStringList expected = linesOf(p.server + "ostrel.bkp");
        expected[14] = "width=1000 height=750";
        QCOMPARE(linesOf(p.server + "newlook.html"), expected);
        QVERIFY(p.state.PageChangesPending);
        QVERIFY(!p.ui()->btnSave->isEnabled());
        QCOMPARE(p.events, QStringList{DoneHint});

        p.ui()->ComboRefresh->setCurrentText("2 min");
        expected[25] = "var countDownInterval=120;";
        QCOMPARE(linesOf(p.server + "testview.html"), expected);
        QCOMPARE(p.state.SizeLabel, QString("1000x750"));
        QCOMPARE(p.state.RefreshLabel, QString("120 sec"));
        QCOMPARE(p.ui()->imgPreview640->geometry(), QRect(-70, 0, 340, 255));
        QVERIFY(p.ui()->btnSave->isEnabled());

        p.ui()->btnPreview->click();
        QCOMPARE(p.desk.openedUrls, QStringList{"file://" + p.server + "testview.html"});

        // Every showing starts from the defaults on screen; the page keeps what was chosen.
        p.window->hide();
        p.window->show();
        QCOMPARE(p.ui()->ComboSize->currentText(), QString("600x450  (Default)"));
        QCOMPARE(p.ui()->ComboRefresh->currentText(), QString("60 sec  (Default)"));
        QCOMPARE(p.ui()->imgPreview640->geometry(), QRect(0, 0, 200, 150));
        QCOMPARE(p.window->pageText(), expected.mid(0, expected.size() - 1));
    }

    void nameFilter_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("pasted");
        QTest::addColumn<QStringList>("boxes");
        const QString dot = "Enter ONLY the name, without the extension.";
        const QString other = "Use only letters, digits, \"-\" and \"_\" in the name.";
        QTest::newRow("typed extension") << "my.page.html" << false << QStringList{dot, dot};
        QTest::newRow("pasted blank and dot") << "my page.html" << true << QStringList{other};
    }

    void nameFilter() {
        QFETCH(QString, text);
        QFETCH(bool, pasted);
        QFETCH(QStringList, boxes);
        Program p;
        QLineEdit* field = p.ui()->edNewName;
        if (pasted) {
            QGuiApplication::clipboard()->setText(text);
            field->paste();
        } else {
            QTest::keyClicks(field, text);
        }
        QCOMPARE(field->text(), QString("mypagehtml"));
        QTRY_COMPARE(p.events, boxes);
        QCOMPARE(p.desk.beeps, boxes.size());
        QCOMPARE(p.state.NewPageName, QString("mypagehtml"));
        QCOMPARE(p.ui()->lblURL->text(), p.address("mypagehtml"));
        QCOMPARE(p.ui()->lblURL->accessibleName(), p.ui()->lblURL->text());
    }

    void nameSavedAndCancelled() {
        Program p;
        QTest::keyClicks(p.ui()->edNewName, "cam1");
        p.ui()->btnConfirmNameChange->click();
        QCOMPARE(p.ui()->lblCurrentName2->text(), QString("cam1.html"));
        QCOMPARE(p.ui()->lblURL->text(), p.address("cam1.html"));
        QCOMPARE(p.state.NewPageName, QString("cam1.html"));
        QCOMPARE(p.state.WebPageName, QString("ostrel.html"));
        QVERIFY(p.state.PageChangesPending);
        QVERIFY(p.ui()->edNewName->text().isEmpty());
        QVERIFY(!p.ui()->btnCancelNameChange->isEnabled());

        QTest::keyClicks(p.ui()->edNewName, "other");
        p.ui()->btnCancelNameChange->click();
        QVERIFY(p.state.NewPageName.isEmpty());
        QCOMPARE(p.ui()->lblCurrentName2->text(), QString("ostrel.html"));
        QCOMPARE(p.ui()->lblURL->text(), p.address("ostrel.html"));
        QCOMPARE(p.events, (QStringList{DoneHint, "no change"}));
    }

    void done_data() {
        QTest::addColumn<bool>("byTitleBar");
        QTest::addColumn<bool>("pending");
        QTest::newRow("Done, nothing pending") << false << false;
        QTest::newRow("Done, change pending") << false << true;
        QTest::newRow("title bar, change pending") << true << true;
    }

    void done() {
        QFETCH(bool, byTitleBar);
        QFETCH(bool, pending);
        Program p;
        p.state.PageChangesPending = pending;
        p.window->open();
        bool visibleAtBox = false;
        p.desk.onMessageBox = [&](const ScriptedDesktop::Shown& box) {
            visibleAtBox = p.window->isVisible();
            p.events << box.text;
        };
        if (byTitleBar)
            p.window->close();
        else
            p.ui()->btnChangesDone->click();
        QVERIFY(!p.window->isVisible());
        QCOMPARE(p.window->result(), int(QDialog::Rejected));
        QTest::qWait(0);
        const QStringList expected{
            "You will now be taken to the \"Remote Host Management\" window where\n"
            "you should click on the \"Upload Changes\" button to upload your changes.",
            "remote host management"};
        QCOMPARE(p.events, pending ? expected : QStringList());
        QCOMPARE(visibleAtBox, pending);
    }
};

QTEST_MAIN(TestBrowserConf)
#include "tst_browserconf.moc"
