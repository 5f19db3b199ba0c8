#pragma once
// "Video Source" of a V4L2 device: its input and its controls (brightness, contrast and
// the like). Control changes go to the device at once, so their effect shows on the live
// picture; restoreControls() puts back the values the dialog found.
#include "capture/V4l2Device.h"
#include <QDialog>
#include <QMap>
#include <memory>

class QCheckBox;
class QComboBox;
class QSlider;
class QSpinBox;

namespace Ui {
class TDlgVideoSource;
}

namespace ostrel {

class TDlgVideoSource : public QDialog {
    Q_OBJECT
public:
    // `device` must outlive the dialog. `input` is preselected (-1: none).
    TDlgVideoSource(V4l2Device& device, const QStringList& inputs, int input,
                    QWidget* parent = nullptr);
    ~TDlgVideoSource() override;
    Ui::TDlgVideoSource* ui() const { return ui_.get(); }

    int input() const; // -1 when the device has no inputs
    // The values of the controls that hold one, as the device reports them now.
    QMap<quint32, int> controlValues() const;
    void restoreControls();

    // The editor of a control ("ctl_00980900" and so on by object name).
    QWidget* controlEditor(quint32 id) const;

private:
    struct Row {
        V4l2Control control;
        int initial = 0;
        QSlider* slider = nullptr;
        QSpinBox* spin = nullptr;
        QCheckBox* check = nullptr;
        QComboBox* combo = nullptr;
        QWidget* editor = nullptr;
    };

    void addRow(const V4l2Control& control);
    void setValue(quint32 id, int value);
    void refresh();
    void resetToDefaults();

    std::unique_ptr<Ui::TDlgVideoSource> ui_;
    V4l2Device& device_;
    QList<Row> rows_;
    bool refreshing_ = false;
};

} // namespace ostrel
