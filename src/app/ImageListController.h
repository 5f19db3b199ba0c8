#pragma once
// The latest detection session's images beside the video: when each was recorded, the
// viewer, and deleting one or all of them.
#include <QObject>
#include <QPointer>

namespace ostrel {

class MainWindowParts;
class MotionController;
class TfrmPicView;

class ImageListController : public QObject {
    Q_OBJECT
public:
    ImageListController(MainWindowParts& main, const MotionController& motion, QObject* parent);
    ~ImageListController() override;

    void ListBox1Click();
    void btnViewClick();
    void ListBox1DblClick() { btnViewClick(); }
    void btnDeleteClick();
    void btnDeleteAllClick();

    // The one viewer, made when first needed.
    TfrmPicView* frmPicView();

private:
    // The selected entry's file, or empty when nothing is selected.
    QString selectedPath() const;
    void resetImageInfo();

    MainWindowParts& main_;
    const MotionController& motion_;
    QPointer<TfrmPicView> frmPicView_;
};

} // namespace ostrel
