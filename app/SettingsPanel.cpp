#include "SettingsPanel.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QScrollArea>
#include <QSpinBox>
#include <algorithm>

#include "TextConversion.h"

namespace {

constexpr int kRowHeight = 24;
// Check boxes side by side in the other settings.
constexpr int kChecksPerLine = 2;
constexpr int kNarrowestLine = 240;

QString Q(const std::string& text) { return QString::fromStdString(text); }

// "CboDevice" is labelled by "LblDevice", "SpinVideo" by "LblVideo".
QString LabelName(const QString& controlName) {
    qsizetype start = 1;
    while (start < controlName.size() && !controlName[start].isUpper()) ++start;
    return "Lbl" + controlName.mid(start);
}

QLabel* MakeLabel(QWidget* parent, const QString& name, const QString& caption) {
    auto* label = new QLabel(caption, parent);
    label->setObjectName(name);
    label->setFixedHeight(kRowHeight);
    return label;
}

QWidget* MakeControl(const TSettingRow& row, QWidget* parent) {
    const std::vector<TSettingItem> items = ItemsOf(row);
    QWidget* control = nullptr;
    if (row.Type == TSettingType::Flag) {
        control = new QCheckBox(row.Label, parent);
    } else if (!items.empty()) {
        auto* list = new QComboBox(parent);
        for (const TSettingItem& item : items) list->addItem(Q(item.Shown), Q(item.Value));
        control = list;
    } else if (row.Type == TSettingType::Number) {
        auto* spin = new QSpinBox(parent);
        spin->setRange(row.Min, row.Max);
        control = spin;
    } else {
        control = new QLineEdit(parent);
    }
    control->setObjectName(row.ControlName ? row.ControlName : row.Name);
    control->setFixedHeight(kRowHeight);
    if (row.Width > 0 && row.Type != TSettingType::Flag) control->setFixedWidth(row.Width);
    // A line of its own may narrow in a narrow window, down to where its
    // text is still read.
    if (row.Place == TSettingPlace::OutputLine) control->setMinimumWidth(std::min(row.Width, kNarrowestLine));
    return control;
}

}  // namespace

TSettingsPanel::TSettingsPanel(QWidget* parent) : QWidget(parent) {
    // The rows scroll when the window leaves them less room than they take:
    // a new row never makes the window larger.
    auto* scroll = new QScrollArea(this);
    scroll->setObjectName("ScrSettings");
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    auto* rows = new QWidget(scroll);
    rows->setObjectName("SettingsRows");
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(scroll);
    auto* column = new QVBoxLayout(rows);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(4);
    output_ = new QGroupBox("Output Settings", rows);
    output_->setObjectName("GBOutput");
    output_grid_ = new QGridLayout(output_);
    output_grid_->setContentsMargins(10, 6, 10, 8);
    output_grid_->setHorizontalSpacing(6);
    output_grid_->setVerticalSpacing(4);
    other_ = new QGroupBox("Other Settings", rows);
    other_->setObjectName("GBOther");
    other_grid_ = new QGridLayout(other_);
    other_grid_->setContentsMargins(8, 2, 8, 4);
    other_grid_->setHorizontalSpacing(8);
    other_grid_->setVerticalSpacing(2);
    for (const TSettingRow& row : SettingRows()) AddRow(row);
    // A wider box keeps its fields where they are.
    output_grid_->setColumnStretch(4, 1);
    other_grid_->setColumnStretch(kChecksPerLine, 1);
    column->addWidget(output_);
    column->addWidget(other_);
    column->addStretch(1);
    scroll->setWidget(rows);
    // As tall as its rows at most: the window gives the rest to the list.
    scroll->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    Show(DefaultSettingValues(true));
}

void TSettingsPanel::AddRow(const TSettingRow& row) {
    if (row.Place != TSettingPlace::Output && row.Place != TSettingPlace::OutputLine &&
        row.Place != TSettingPlace::Other)
        return;
    QWidget* control = MakeControl(row, row.Place == TSettingPlace::Other ? other_ : output_);
    controls_[row.Name] = control;
    if (row.Place == TSettingPlace::Other) {
        other_grid_->addWidget(control, other_count_ / kChecksPerLine, other_count_ % kChecksPerLine);
        ++other_count_;
        return;
    }
    if (auto* list = qobject_cast<QComboBox*>(control); list && row.SetsOtherRows)
        connect(list, &QComboBox::activated, this, [this, &row] { ApplyToOthers(row); });
    // A line of its own across both columns, or the next free column.
    const bool wide = row.Place == TSettingPlace::OutputLine;
    if (wide && output_column_ > 0) {
        ++output_line_;
        output_column_ = 0;
    }
    const QString labelName = row.ControlName ? LabelName(row.ControlName) : QString("Lbl") + row.Name;
    output_grid_->addWidget(MakeLabel(output_, labelName, row.Label), output_line_, output_column_);
    if (wide) {
        output_grid_->addWidget(control, output_line_, 1, 1, 3, Qt::AlignLeft);
        ++output_line_;
        return;
    }
    auto* box = new QHBoxLayout;
    box->setSpacing(4);
    box->addWidget(control);
    if (row.Unit) box->addWidget(MakeLabel(output_, labelName + "Unit", row.Unit));
    box->addStretch(1);
    output_grid_->addLayout(box, output_line_, output_column_ + 1);
    output_column_ += 2;
    if (output_column_ == 4) {
        output_column_ = 0;
        ++output_line_;
    }
}

QWidget* TSettingsPanel::Control(const std::string& name) const {
    const auto found = controls_.find(name);
    return found == controls_.end() ? nullptr : found->second;
}

TSettingValues TSettingsPanel::Values() const {
    TSettingValues values;
    for (const TSettingRow& row : SettingRows())
        if (controls_.contains(row.Name)) values[row.Name] = ValueOf(row);
    return values;
}

std::string TSettingsPanel::ValueOf(const TSettingRow& row) const {
    QWidget* control = controls_.at(row.Name);
    if (auto* box = qobject_cast<QCheckBox*>(control)) return box->isChecked() ? "true" : "false";
    if (auto* list = qobject_cast<QComboBox*>(control)) return list->currentData().toString().toStdString();
    if (auto* spin = qobject_cast<QSpinBox*>(control)) return std::to_string(spin->value());
    return qobject_cast<QLineEdit*>(control)->text().toStdString();
}

void TSettingsPanel::Show(const TSettingValues& values) {
    for (const TSettingRow& row : SettingRows()) {
        const auto value = values.find(row.Name);
        if (value != values.end() && controls_.contains(row.Name)) ShowValue(row, value->second);
    }
}

void TSettingsPanel::ShowValue(const TSettingRow& row, const std::string& value) {
    QWidget* control = controls_.at(row.Name);
    if (auto* box = qobject_cast<QCheckBox*>(control)) {
        box->setChecked(value == "true");
    } else if (auto* list = qobject_cast<QComboBox*>(control)) {
        int index = list->findData(Q(value));
        if (index < 0) index = list->findData(row.WindowDefault ? row.WindowDefault : row.Default);
        list->setCurrentIndex(index);
    } else if (auto* spin = qobject_cast<QSpinBox*>(control)) {
        spin->setValue(ReadInt32(value).value_or(spin->value()));
    } else {
        qobject_cast<QLineEdit*>(control)->setText(Q(value));
    }
}

void TSettingsPanel::ApplyToOthers(const TSettingRow& row) {
    TConversionSettings settings = SettingsFrom(Values());
    row.Field.Set(settings, ValueOf(row));
    for (const TSettingRow& other : SettingRows())
        if (&other != &row && other.Field.Get && controls_.contains(other.Name))
            ShowValue(other, other.Field.Get(settings));
}
