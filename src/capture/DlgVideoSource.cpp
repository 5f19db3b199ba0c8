#include "capture/DlgVideoSource.h"
#include "platform/Desktop.h"
#include "ui_DlgVideoSource.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <algorithm>

namespace ostrel {

namespace {

QString editorName(quint32 id) {
    return QStringLiteral("ctl_%1").arg(id, 8, 16, QLatin1Char('0'));
}

} // namespace

TDlgVideoSource::TDlgVideoSource(V4l2Device& device, const QStringList& inputs, int input,
                                 QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::TDlgVideoSource>()), device_(device) {
    ui_->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    installHelpKey(this, helpcontext::VideoSource);

    ui_->cbInput->addItems(inputs);
    ui_->cbInput->setCurrentIndex(
        input >= 0 && input < inputs.size() ? input : (inputs.isEmpty() ? -1 : 0));
    ui_->cbInput->setEnabled(inputs.size() > 1);

    for (const V4l2Control& c : device_.controls())
        if (c.isSettable() || c.type == V4l2Control::Type::Button) addRow(c);
    ui_->lblNoControls->setVisible(rows_.isEmpty());
    ui_->ScrollControls->setVisible(!rows_.isEmpty());
    ui_->btnDefaults->setEnabled(!rows_.isEmpty());
    connect(ui_->btnDefaults, &QPushButton::clicked, this, [this] { resetToDefaults(); });
    refresh();
}

TDlgVideoSource::~TDlgVideoSource() = default;

void TDlgVideoSource::addRow(const V4l2Control& control) {
    Row row;
    row.control = control;
    row.initial = device_.control(control.id).value_or(control.defaultValue);
    const quint32 id = control.id;
    auto* layout = ui_->controlsLayout;
    QWidget* panel = ui_->ControlsPanel;

    switch (control.type) {
    case V4l2Control::Type::Integer: {
        auto* box = new QWidget(panel);
        auto* line = new QHBoxLayout(box);
        line->setContentsMargins(0, 0, 0, 0);
        row.slider = new QSlider(Qt::Horizontal, box);
        row.slider->setRange(control.minimum, std::max(control.minimum, control.maximum));
        row.slider->setSingleStep(control.step);
        row.slider->setPageStep(std::max(control.step, (control.maximum - control.minimum) / 10));
        row.slider->setAccessibleName(control.name);
        row.spin = new QSpinBox(box);
        row.spin->setRange(row.slider->minimum(), row.slider->maximum());
        row.spin->setSingleStep(control.step);
        row.spin->setAccessibleName(control.name + QStringLiteral(" value"));
        line->addWidget(row.slider, 1);
        line->addWidget(row.spin);
        row.editor = box;
        connect(row.slider, &QSlider::valueChanged, this, [this, id](int v) { setValue(id, v); });
        connect(row.spin, &QSpinBox::valueChanged, this, [this, id](int v) { setValue(id, v); });
        layout->addRow(control.name + QLatin1Char(':'), box);
        break;
    }
    case V4l2Control::Type::Boolean:
        row.check = new QCheckBox(control.name, panel);
        row.check->setAccessibleName(control.name);
        row.editor = row.check;
        connect(row.check, &QCheckBox::toggled, this,
                [this, id](bool on) { setValue(id, on ? 1 : 0); });
        layout->addRow(QString(), row.check);
        break;
    case V4l2Control::Type::Menu:
    case V4l2Control::Type::IntegerMenu:
        row.combo = new QComboBox(panel);
        row.combo->setAccessibleName(control.name);
        for (const auto& [value, text] : control.menu)
            row.combo->addItem(text, value);
        row.editor = row.combo;
        connect(row.combo, &QComboBox::activated, this, [this, id](int index) {
            for (const Row& r : rows_)
                if (r.control.id == id && r.combo) setValue(id, r.combo->itemData(index).toInt());
        });
        layout->addRow(control.name + QLatin1Char(':'), row.combo);
        break;
    case V4l2Control::Type::Button: {
        auto* button = new QPushButton(control.name, panel);
        button->setAutoDefault(false);
        row.editor = button;
        // A button control acts when written; it holds no value to keep.
        connect(button, &QPushButton::clicked, this, [this, id] {
            device_.setControl(id, 0);
            refresh();
        });
        layout->addRow(QString(), button);
        break;
    }
    case V4l2Control::Type::Other:
        return;
    }
    row.editor->setObjectName(editorName(id));
    rows_.append(row);
}

QWidget* TDlgVideoSource::controlEditor(quint32 id) const {
    for (const Row& r : rows_)
        if (r.control.id == id) return r.editor;
    return nullptr;
}

void TDlgVideoSource::setValue(quint32 id, int value) {
    if (refreshing_) return;
    device_.setControl(id, value);
    // The device may round the value, and switching an automatic mode changes which
    // controls take effect: show what it has now.
    refresh();
}

void TDlgVideoSource::refresh() {
    refreshing_ = true;
    QMap<quint32, V4l2Control> now;
    for (const V4l2Control& c : device_.controls())
        now.insert(c.id, c);
    for (Row& r : rows_) {
        if (now.contains(r.control.id)) {
            const V4l2Control& c = now[r.control.id];
            r.control.inactive = c.inactive;
            r.control.readOnly = c.readOnly;
        }
        r.editor->setEnabled(!r.control.inactive && !r.control.readOnly);
        if (r.control.type == V4l2Control::Type::Button) continue;
        const std::optional<int> value = device_.control(r.control.id);
        if (!value) continue;
        const QSignalBlocker a(r.slider), b(r.spin), c(r.check), d(r.combo);
        if (r.slider) r.slider->setValue(*value);
        if (r.spin) r.spin->setValue(*value);
        if (r.check) r.check->setChecked(*value != 0);
        if (r.combo) r.combo->setCurrentIndex(r.combo->findData(*value));
    }
    refreshing_ = false;
}

void TDlgVideoSource::resetToDefaults() {
    for (const Row& r : rows_)
        if (r.control.isSettable()) device_.setControl(r.control.id, r.control.defaultValue);
    refresh();
}

void TDlgVideoSource::restoreControls() {
    // Backwards, so a value is put back while the automatic mode that governs it (listed
    // before it) is still off, and the mode afterwards.
    for (auto it = rows_.crbegin(); it != rows_.crend(); ++it) {
        if (!it->control.isSettable()) continue;
        const std::optional<int> now = device_.control(it->control.id);
        if (!now || *now != it->initial) device_.setControl(it->control.id, it->initial);
    }
}

int TDlgVideoSource::input() const {
    return ui_->cbInput->currentIndex();
}

QMap<quint32, int> TDlgVideoSource::controlValues() const {
    QMap<quint32, int> values;
    for (const Row& r : rows_)
        if (r.control.isSettable())
            if (const std::optional<int> v = device_.control(r.control.id))
                values.insert(r.control.id, *v);
    return values;
}

} // namespace ostrel
