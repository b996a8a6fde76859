// The main window's settings: the panel's values as conversion settings,
// and reading and writing them with the window's size.

#include "UnitFrmMain.h"

#include <QCheckBox>
#include <QScreen>
#include <QStyle>
#include <QTableWidget>
#include <algorithm>
#include <QComboBox>
#include <QLayout>
#include <QLineEdit>
#include <QStandardItemModel>

#include "FrmMainShared.h"
#include "SettingsPanel.h"
#include "UnitGeneral.h"
#include "WindowSettings.h"

using namespace FrmMain;

TConversionSettings TForm1::ConversionSettings() const {
    TSettingValues values = Settings->Values();
    values["output-folder"] = EdtOutputFolder->text().toStdString();
    TConversionSettings settings = SettingsFrom(values);
    if (const TIpod* ipod = ChosenIpod()) settings.Model = ipod->VideoLimit;
    return settings;
}

void TForm1::MarkUnavailableDevices() {
    auto* model = qobject_cast<QStandardItemModel*>(DeviceList()->model());
    for (const TDevice& device : Devices()) {
        const std::string reason = DeviceUnavailableReason(device);
        const int row = DeviceList()->findData(Q(device.ShortName));
        if (reason.empty() || !model || row < 0) continue;
        QStandardItem* item = model->item(row);
        item->setText(item->text() + " (" + Q(reason) + ")");
        item->setEnabled(false);
    }
}

QComboBox* TForm1::DeviceList() const { return qobject_cast<QComboBox*>(Settings->Control("device")); }

void TForm1::ReadSettings() {
    const TWindowSettings settings = ReadWindowSettings(SettingsPath());
    EdtOutputFolder->setText(Q(settings.Values.at("output-folder")));
    Settings->Show(settings.Values);
    // A device these libraries cannot make files for is not chosen.
    const auto* model = qobject_cast<QStandardItemModel*>(DeviceList()->model());
    if (model && !model->item(DeviceList()->currentIndex())->isEnabled())
        DeviceList()->setCurrentIndex(DeviceList()->findData(SettingRow("device").Default));
    ChkKeepCopy->setChecked(settings.KeepCopy);
    wanted_ipod_ = settings.Ipod;
    RestoreWindowSize(settings);
}

QSize TForm1::AvailableRoom() const {
    return screen() ? screen()->availableSize() : QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
}

void TForm1::RestoreWindowSize(const TWindowSettings& settings) {
    // The desktop adds a title bar above the window's own room.
    const QSize room = AvailableRoom() - QSize(0, style()->pixelMetric(QStyle::PM_TitleBarHeight));
    FitMinimumToRoom(room);
    // A size the controls do not fit in, or one this screen cannot show (the
    // file may come from a larger screen), is not used.
    const QSize stored(settings.WindowWidth, settings.WindowHeight);
    const bool usable = stored.width() >= minimumWidth() && stored.height() >= minimumHeight() &&
                        stored.width() <= room.width() && stored.height() <= room.height();
    resize(usable ? stored : kDesignSize.boundedTo(room).expandedTo(minimumSize()));
    if (settings.WindowMaximized) setWindowState(windowState() | Qt::WindowMaximized);
}

void TForm1::FitMinimumToRoom(QSize room) {
    // Large scaling on a small screen leaves less room than the list's seven
    // rows and the settings need: the list then takes fewer rows at least,
    // down to two.
    layout()->activate();
    const int over = minimumHeight() - room.height();
    if (over <= 0) return;
    Lvw->setMinimumHeight(std::max(ListHeightFor(2), Lvw->minimumHeight() - over));
    layout()->activate();
}

void TForm1::WriteSettings() {
    TWindowSettings settings;
    settings.Values = Settings->Values();
    settings.Values["output-folder"] = EdtOutputFolder->text().toStdString();
    settings.Ipod = wanted_ipod_;
    settings.KeepCopy = ChkKeepCopy->isChecked();
    // A maximised window keeps the size it had before, to return to it.
    const QSize size = isMaximized() ? normalGeometry().size() : this->size();
    if (size.isValid()) {
        settings.WindowWidth = size.width();
        settings.WindowHeight = size.height();
    }
    settings.WindowMaximized = isMaximized();
    WriteWindowSettings(SettingsPath(), settings);
}
