#pragma once
// "Sync a folder to the iPod…": the plan of a sync (what is skipped, copied,
// converted and deleted, the sizes, the room left) made beside the window and
// shown before anything is written; the sync itself, started only when the
// person presses Start and only when the plan fits, with the whole plan's
// progress, Stop, and a summary at the end. The sync converts with a
// component of its own, so that the main window's run keeps its events.

#include <QDialog>
#include <QThreadPool>
#include <atomic>
#include <memory>
#include <string>

#include "FolderSync.h"
#include "VexmoConverter.h"

class QCheckBox;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

class TIpodSyncDialog : public QDialog, private TSyncView {
    Q_OBJECT
public:
    // `request` names the folders, the iPod and the settings; `label` is the
    // iPod's name as the window shows it.
    TIpodSyncDialog(const TSyncRequest& request, const QString& label, QWidget* parent);
    ~TIpodSyncDialog() override;

    bool Planning() const { return planning_; }
    bool Running() const { return sync_ && sync_->Running(); }
    // Stops a running sync and returns once it has ended.
    void StopAndWait();
    // While the main window converts, the sync waits: one thing writes at a time.
    void SetConversionRunning(bool running);

signals:
    void runningChanged(bool running);
    // The plan is shown (or why there is none).
    void planned();
    void ended();

protected:
    // While the sync runs, closing stops it and keeps the dialog for its summary.
    void reject() override;

private:
    struct TPlanned;
    void Plan();
    void ShowPlan(const TPlanned& result);
    void StartClick();
    void UpdateButtons();
    // What the sync shows.
    void ShowProgress(const TSyncProgress& progress) override;
    void ShowNotice(const std::string& text) override;
    void ItemEnded(const TSyncOutcome& outcome) override;
    void SyncEnded() override;

    TSyncRequest request_;
    std::unique_ptr<TFolderSyncPlan> plan_;  // the plan shown; none while planning or refused
    bool planning_ = false;
    bool ended_ = false;
    bool conversionRunning_ = false;
    QThreadPool worker_;
    std::atomic<bool> closing_{false};  // the dialog goes: the plan stops waiting for the lock
    TVexmoConverter component_;
    std::unique_ptr<TFolderSync> sync_;
    QLabel* state_;
    QPlainTextEdit* text_;
    QCheckBox* delete_;
    QPushButton* fit_;
    QProgressBar* bar_;
    QLabel* progress_;
    QPushButton* start_;
    QPushButton* close_;
};
