#pragma once
// The "Look and Name Configuration" window of the web access page. It prepares, on the
// local disk only, a new name for the page and a new look (picture size and browser
// countdown); "Done" hands the saved changes over to the remote host management, which
// uploads them. All files live in the Server folder of the program folder:
//   ostrel.bkp    the page template, only ever read
//   ostrel.html   local copy of the default page, made from the template when missing
//   testview.html the preview, a fresh template copy at every start, rewritten by each choice
//   newlook.html  the saved look, waiting for the upload
// Capture.jpg and datetime.bmp are made from the stop pictures when missing, so the
// preview shows something before the first website update.
#include "web/WebPage.h"
#include "web/unBrowserConfHelp.h"
#include <QDialog>
#include <QPointer>
#include <QStringList>
#include <memory>

namespace Ui {
class TfrmBrowserConf;
}

namespace ostrel {

class TfrmBrowserConf : public QDialog {
    Q_OBJECT
public:
    // Created once at start-up, hidden: prepares the Server folder and the page text.
    // `state` must outlive the window. Shown with exec(); closing only hides it.
    TfrmBrowserConf(const QString& programFolder, WebPageState& state, WebPageHooks hooks,
                    QWidget* parent = nullptr);
    ~TfrmBrowserConf() override;

    Ui::TfrmBrowserConf* ui() const { return ui_.get(); }
    TfrmBrowserConfHelp* helpWindow() const { return help_; }
    // The page being edited: the template with every size and countdown chosen since start.
    const QStringList& pageText() const { return MemoHTML; }
    // `name` in the Server folder.
    QString serverFile(const QString& name) const;

public slots:
    void ComboSizeChange();
    void ComboRefreshChange();
    void edNewNameChange();
    void btnConfirmNameChangeClick();
    void btnCancelNameChangeClick();
    void btnSaveClick();
    void btnPreviewClick();
    void btnHelpClick();
    // With a change pending: tells where to upload it, hides, and then (once back in the
    // event loop, after exec() has returned) runs hooks.openRemoteHostManagement. Closing by
    // the title bar or Esc does the same.
    void btnChangesDoneClick();
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormCreate();
    void FormShow();
    void connectControls();
    void selectDefaultLook();
    void showPreviews(const QString& sizeItem);
    void showAddress(const QString& page);
    void showCurrentName(const QString& name);
    void writePreview();
    // A name edit refused characters: beep and say why, once per edit.
    void refuseName(webpage::NameRefusal refusal);

    QString server_;
    WebPageState& state_;
    WebPageHooks hooks_;
    std::unique_ptr<Ui::TfrmBrowserConf> ui_;
    QPointer<TfrmBrowserConfHelp> help_;
    QStringList MemoHTML;
    bool placed_ = false; // centred on the screen at the first showing
};

} // namespace ostrel
