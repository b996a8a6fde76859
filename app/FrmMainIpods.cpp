// The main window's iPod choice: looking for iPods when drives come and go,
// and making the files for the chosen one.

#include "UnitFrmMain.h"

#include <QComboBox>
#include <QAction>
#include <QPushButton>
#include <QFile>
#include <QSocketNotifier>
#include <QStandardItemModel>
#include <algorithm>
#include <memory>

#include "FrmMainShared.h"
#include "IpodLibraryDialog.h"
#include "IpodSyncDialog.h"

using namespace FrmMain;

void TForm1::WatchForIpods() {
    // The kernel marks the mount table when a drive comes or goes; the iPods
    // are looked for then, and only then. The search asks the bound libraries
    // which devices they can make files for, so it starts once they are bound.
    mount_table_ = std::make_unique<QFile>("/proc/self/mounts");
    if (mount_table_->open(QIODevice::ReadOnly)) {
        mount_watch_ = std::make_unique<QSocketNotifier>(mount_table_->handle(), QSocketNotifier::Exception);
        connect(mount_watch_.get(), &QSocketNotifier::activated, this, &TForm1::RefreshIpods);
    }
    RefreshIpods();
}

// ---- iPods ----

void TForm1::RefreshIpods() {
    // Reading an iPod's database takes a while: the window goes on meanwhile.
    ipod_search_.start([this] {
        std::vector<TIpod> found = MountedIpods();
        QMetaObject::invokeMethod(
            this, [this, found = std::move(found)] { ShowIpods(found); }, Qt::QueuedConnection);
    });
}

QStringList FrmMain::IpodChoiceLabels(const std::vector<TIpod>& ipods) {
    QStringList labels;
    for (const TIpod& ipod : ipods) {
        QString label = Q(ipod.Label());
        const bool shared = std::count_if(ipods.begin(), ipods.end(), [&ipod](const TIpod& other) {
                                return other.Label() == ipod.Label();
                            }) > 1;
        if (shared) label += " (" + (ipod.Model.empty() ? QString() : Q(ipod.Model) + ", ") + Q(ipod.Mount) + ")";
        if (ipod.Support != TIpodSupport::Supported) label += " (cannot receive videos)";
        labels << label;
    }
    return labels;
}

void TForm1::ShowIpods(const std::vector<TIpod>& ipods) {
    ipods_ = ipods;
    CboIpod->clear();
    CboIpod->addItem(ipods_.empty() ? RunTexts::kNoIpodConnected : RunTexts::kNoIpodChosen);
    const QStringList labels = IpodChoiceLabels(ipods_);
    for (size_t i = 0; i < ipods_.size(); ++i) {
        CboIpod->addItem(labels[static_cast<qsizetype>(i)], Q(ipods_[i].Mount));
        CboIpod->setItemData(CboIpod->count() - 1, Q(IpodLine(ipods_[i])), Qt::ToolTipRole);
    }
    const int wanted = wanted_ipod_.empty() ? 0 : CboIpod->findData(Q(wanted_ipod_));
    CboIpod->setCurrentIndex(std::max(0, wanted));
}

void TForm1::CboIpodSelect() {
    const TIpod* ipod = ChosenIpod();
    wanted_ipod_ = ipod ? ipod->Mount : std::string();
    if (!ipod) return;
    // The device list follows the iPod's model, unless the libraries cannot
    // make its files.
    const auto* model = qobject_cast<QStandardItemModel*>(DeviceList()->model());
    const int device = DeviceList()->findData(Q(DeviceAt(ipod->Device).ShortName));
    if (device >= 0 && (!model || model->item(device)->isEnabled())) DeviceList()->setCurrentIndex(device);
}

const TIpod* TForm1::ChosenIpod() const {
    const std::string mount = CboIpod->currentData().toString().toStdString();
    for (const TIpod& ipod : ipods_)
        if (!mount.empty() && ipod.Mount == mount) return &ipod;
    return nullptr;
}

void TForm1::UpdateIpodActions() {
    const TIpod* ipod = ChosenIpod();
    ActIpodLibrary->setEnabled(ipod != nullptr);
    ActSync->setEnabled(ipod && !run_.Running() && !SyncRunning());
    BtnStart->setEnabled(!SyncRunning());
    if (sync_dialog_) sync_dialog_->SetConversionRunning(run_.Running());
}

bool TForm1::SyncRunning() const { return sync_dialog_ && sync_dialog_->Running(); }

void TForm1::ActSyncClick() {
    const TIpod* ipod = ChosenIpod();
    if (!ipod || run_.Running() || SyncRunning()) return;
    if (ipod->Support != TIpodSupport::Supported) {
        ShowMessageBox(Q(IpodLine(*ipod)), kApplicationTitle, QMessageBox::Warning);
        return;
    }
    const QStringList folders = ChooseSyncFolders();
    if (folders.isEmpty()) return;
    TSyncRequest request;
    for (const QString& folder : folders) request.Folders.push_back(folder.toStdString());
    request.Mount = ipod->Mount;
    // The files are made as the settings shown say: the device list follows
    // the chosen iPod's model unless the person changed it.
    request.Settings = ConversionSettings();
    request.DeviceGiven = true;
    // The last sync's dialog goes; its summary has been seen.
    if (sync_dialog_) delete sync_dialog_;
    sync_dialog_ = new TIpodSyncDialog(request, Q(ipod->Label()), this);
    sync_dialog_->SetConversionRunning(run_.Running());
    connect(sync_dialog_, &TIpodSyncDialog::runningChanged, this, &TForm1::UpdateIpodActions);
    // A list of the iPod's videos shown beside it shows what the sync left.
    connect(sync_dialog_, &TIpodSyncDialog::ended, this, [this] {
        if (library_dialog_) library_dialog_->Refresh();
    });
    sync_dialog_->show();
    sync_dialog_->raise();
    sync_dialog_->activateWindow();
}

void TForm1::ActIpodLibraryClick() {
    const TIpod* ipod = ChosenIpod();
    if (!ipod) return;
    // One list at a time, of the iPod chosen now.
    if (library_dialog_ && library_dialog_->Mount() != ipod->Mount) {
        library_dialog_->close();
        library_dialog_->deleteLater();
    }
    if (library_dialog_ && library_dialog_->Mount() == ipod->Mount) {
        library_dialog_->Refresh();
    } else {
        library_dialog_ = new TIpodLibraryDialog(
            ipod->Mount, Q(ipod->Label()), [this](const QString& text) { return AskYesNo(text, kApplicationTitle); },
            [this](const QString& text) { ShowMessageBox(text, kApplicationTitle, QMessageBox::Warning); }, this);
    }
    library_dialog_->show();
    library_dialog_->raise();
    library_dialog_->activateWindow();
}
