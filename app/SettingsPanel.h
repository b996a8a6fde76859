#pragma once
// The window's settings: a control for each row of the settings table that
// the window shows, laid out from the table (the output settings two to a
// line, the other settings as check boxes two to a line), so that a new
// row brings its control without an edit here. The rows scroll when the
// window gives them less room than they take, so that a new row does not
// change the window's size either.

#include <QWidget>
#include <map>
#include <string>

#include "SettingsTable.h"

class QGridLayout;
class QGroupBox;

class TSettingsPanel : public QWidget {
    Q_OBJECT
public:
    explicit TSettingsPanel(QWidget* parent);

    // The values the controls show, by row name.
    TSettingValues Values() const;
    // Shows the values of the rows given; a value a list lacks selects the
    // row's default.
    void Show(const TSettingValues& values);
    // The control of the row, nullptr when the window does not show it.
    QWidget* Control(const std::string& name) const;

private:
    void AddRow(const TSettingRow& row);
    void ShowValue(const TSettingRow& row, const std::string& value);
    std::string ValueOf(const TSettingRow& row) const;
    // A row that sets others (a profile) shows their new values.
    void ApplyToOthers(const TSettingRow& row);

    QGroupBox* output_;
    QGroupBox* other_;
    QGridLayout* output_grid_;
    QGridLayout* other_grid_;
    int output_line_ = 0;
    int output_column_ = 0;
    int other_count_ = 0;
    std::map<std::string, QWidget*> controls_;
};
