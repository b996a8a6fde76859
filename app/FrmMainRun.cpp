// The main window's run: converting the rows and showing their statuses,
// the progress lines and the run's end.

#include "UnitFrmMain.h"

#include <QCheckBox>
#include <QPlainTextEdit>
#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <algorithm>
#include <memory>

#include "FrmMainShared.h"
#include "IpodDelivery.h"
#include "IpodLimits.h"
#include "ProgressCellDelegate.h"
#include "RunTexts.h"
#include "SettingsPanel.h"
#include "UnitGeneral.h"

using namespace FrmMain;

// ---- The run ----

void TForm1::BtnStartClick() {
    if (run_.Running()) {
        run_.Abandon();
        return;
    }
    std::vector<int> rows(static_cast<size_t>(Lvw->rowCount()));
    for (size_t row = 0; row < rows.size(); ++row) rows[row] = static_cast<int>(row);
    StartRun(rows);
}

void TForm1::StartRun(const std::vector<int>& rows) {
    // One thing writes at a time: a sync to the iPod converts too.
    if (SyncRunning()) return;
    std::vector<std::string> paths;
    for (int row : rows) paths.push_back(Lvw->item(row, colPath)->text().toStdString());
    const bool withVideo = std::any_of(rows.begin(), rows.end(), [this](int row) {
        return Lvw->item(row, colInputName)->data(kHasVideoRole).toBool();
    });
    if (!paths.empty() && !ConfirmIpodLimits(withVideo)) return;
    std::unique_ptr<TFileDelivery> delivery;
    if (const TIpod* ipod = ChosenIpod(); ipod && !paths.empty()) {
        // Refused before anything is converted for it.
        if (ipod->Support != TIpodSupport::Supported) {
            ShowMessageBox(Q(IpodLine(*ipod)), kApplicationTitle, QMessageBox::Warning);
            return;
        }
        delivery = std::make_unique<TIpodDelivery>(ipod->Mount, ChkKeepCopy->isChecked(), [this](const std::string& notice) {
            PostToWindowThread([this, notice] { ShowIpodNotice(notice); });
        });
    }
    run_rows_ = rows;
    const TConversionSettings settings = ConversionSettings();
    run_output_folder_ = WithTrailingSlash(settings.OutputFolder);
    run_had_failures_ = false;
    run_clock_.start();
    if (!paths.empty()) run_log_.Begin(paths);
    run_.Start(paths, settings, 1, std::move(delivery));
}

int TForm1::ListRow(size_t runRow) const {
    if (runRow >= run_rows_.size() || run_rows_[runRow] >= Lvw->rowCount()) return -1;
    return run_rows_[runRow];
}

bool TForm1::ConfirmIpodLimits(bool withVideo) {
    const TDevicePlan plan = PlanForDevice(ConversionSettings(), withVideo);
    if (!plan.Refusal.empty()) {
        ShowMessageBox(Q(plan.Refusal), kApplicationTitle, QMessageBox::Warning);
        return false;
    }
    if (plan.Changes.empty()) return true;
    QString text = Q(std::string("For ") + DeviceAt(plan.Settings.Device).Name + " these settings change:\n");
    for (const std::string& change : plan.Changes) text += "\n" + Q(change);
    return AskYesNo(text + "\n\nConvert?", kApplicationTitle);
}

void TForm1::PostToWindowThread(std::function<void()> work) {
    QMetaObject::invokeMethod(
        this,
        [this, work = std::move(work)] {
            if (!events_detached_) work();
        },
        Qt::QueuedConnection);
}

void TForm1::ShowDecisions(size_t row, const std::vector<std::string>& notes) {
    for (const std::string& note : notes) run_log_.FileLine(row, llInfo, note);
    const int position = ListRow(row);
    if (position >= 0) Lvw->item(position, colInputName)->setToolTip(InputToolTip(run_.InputPath(row), notes));
}

void TForm1::SetRowStatus(size_t row, TRowOutcome outcome, const std::string& status) {
    const int position = ListRow(row);
    if (position < 0) return;
    QTableWidgetItem* statusItem = Lvw->item(position, colStatus);
    statusItem->setText(Q(status));
    // A message is usually wider than its column.
    statusItem->setToolTip(Q(status).trimmed().isEmpty() ? QString() : Q(status));
    // The run chooses every output name again; once it has, the row names
    // the file its task writes, then the one it left (none when it failed or
    // stopped before writing anything): never a file of that name from an
    // earlier run.
    if (outcome != TRowOutcome::Pending) {
        const std::string& output = run_.OutputPath(row);
        const bool ended = outcome == TRowOutcome::Completed || outcome == TRowOutcome::Stopped;
        const bool named = !output.empty();
        QTableWidgetItem* outputItem = Lvw->item(position, colOutputName);
        outputItem->setText(named ? QFileInfo(Q(output)).completeBaseName() : QString());
        outputItem->setToolTip(named ? Q(output) : QString());
        outputItem->setData(kWrittenOutputRole, named && ended ? Q(output) : QVariant());
        if (outcome == TRowOutcome::Converting && following_row_ != position) run_log_.FileStarted(row, output);
    }
    if (outcome == TRowOutcome::Failed || outcome == TRowOutcome::Refused) run_had_failures_ = true;
    if (outcome != TRowOutcome::Pending && outcome != TRowOutcome::Converting)
        run_log_.FileEnded(row, status, outcome == TRowOutcome::Failed || outcome == TRowOutcome::Refused);
    if (outcome != TRowOutcome::Converting) statusItem->setData(TProgressCellDelegate::kProgressRole, QVariant());
    // The list follows the file being converted.
    if (outcome == TRowOutcome::Converting && following_row_ != position) {
        following_row_ = position;
        Lvw->scrollToItem(Lvw->item(position, colInputName));
    }
    emit rowStatusChanged(position, Q(status));
}

void TForm1::ShowProgress(size_t row, int32_t frameNumber, int32_t fps, int32_t currentMs, int32_t totalMs) {
    if (const int position = ListRow(row); position >= 0 && totalMs > 0)
        Lvw->item(position, colStatus)
            ->setData(TProgressCellDelegate::kProgressRole,
                      static_cast<int>(std::clamp<int64_t>(int64_t{currentMs} * 100 / totalMs, 0, 100)));
    LblProgress->setText(Q(RunTexts::ProgressLine(frameNumber, currentMs, fps)));
}

void TForm1::ShowIpodNotice(const std::string& notice) {
    if (!run_.Running()) return;
    // A notice naming a file of the run is its row's (sent without a
    // poster, already there); any other (waiting for another program
    // writing to the iPod) is the row's being put on the iPod.
    size_t row = run_.RowCount();
    for (size_t candidate = 0; candidate < run_.RowCount() && row == run_.RowCount(); ++candidate)
        if (!run_.OutputPath(candidate).empty() && notice.find(run_.OutputPath(candidate)) != std::string::npos)
            row = candidate;
    const bool ofItsFile = row < run_.RowCount();
    for (size_t candidate = 0; candidate < run_.RowCount() && row == run_.RowCount(); ++candidate)
        if (run_.Status(candidate) == RunTexts::kStatusPuttingOnIpod) row = candidate;
    const int position = ListRow(row);
    if (position < 0) return;
    run_log_.FileLine(row, llInfo, notice);
    QTableWidgetItem* input = Lvw->item(position, colInputName);
    input->setToolTip(input->toolTip() + "\n" + Q(notice));
    if (!ofItsFile) Lvw->item(position, colStatus)->setText(Q(RunTexts::kStatusPuttingOnIpod) + ": " + Q(notice));
}

void TForm1::ShowListProgress(const TListEstimate& estimate) { LblListProgress->setText(Q(ListProgressLine(estimate))); }

void TForm1::ShowMessage(const TUserMessage& message) {
    ShowMessageBox(Q(message.text), Q(message.caption), IconOf(message.icon));
}

void TForm1::ShowRunEnd(const TUserMessage& message) {
    const QString folder = Q(run_output_folder_);
    // A list converted in part warns, whatever the message's own icon.
    const bool partly = CompletedRows() < run_.RowCount();
    ShowMessageBox(Q(message.text), Q(partly ? kApplicationTitle : message.caption),
                   partly ? QMessageBox::Warning : IconOf(message.icon),
                   {{"Open &folder", [this, folder] { OpenLink(QUrl::fromLocalFile(folder)); }},
                    {"Show &log", [this] { BtnLogClick(); }}});
}

void TForm1::RunStateChanged(bool running) {
    if (running) following_row_ = -1;
    for (QWidget* control : std::initializer_list<QWidget*>{BtnAdd, BtnRemove, BtnClear, BtnMoveUp, BtnMoveDown,
                                                            BtnChangeOutputFolder, CboIpod, ChkKeepCopy, Settings})
        control->setEnabled(!running);
    for (QLabel* line : {LblProgress, LblListProgress}) {
        line->setText("");
        line->setVisible(running);
    }
    BtnStart->setText(running ? "&Stop" : "&Convert");
    UpdateIpodActions();
    // A run in which a file failed leaves its log beside the outputs.
    if (!running && run_had_failures_) {
        const std::string path = run_output_folder_ + "Tovrela.log";
        if (const std::string reason = run_log_.WriteTo(path); !reason.empty())
            ShowMessage(RunTexts::LogNotWritten(path, reason));
    }
    if (log_text_) log_text_->setPlainText(RunLogText());
    emit runStateChanged(running);
}

void TForm1::RunFinished(bool allCompleted) {
    if (run_clock_.elapsed() >= notify_after_ms_ && !isActiveWindow())
        NotifyDesktop(kApplicationTitle, Q(RunTexts::FilesConverted(static_cast<int>(CompletedRows()),
                                                                    static_cast<int>(run_.RowCount()))));
    if (allCompleted && Settings->Values().at("shutdown") == "true") shutdown_.ShutDownComputer();
}

void TForm1::AddLogLine(int32_t taskIndex, TLogLevel level, const std::string& text) {
    if (!run_.Running()) return;
    const int64_t row = run_.RowOfTaskIndex(taskIndex);
    if (row >= 0) run_log_.FileLine(static_cast<size_t>(row), level, text);
}

size_t TForm1::CompletedRows() const {
    size_t completed = 0;
    for (size_t row = 0; row < run_.RowCount(); ++row) completed += run_.Outcome(row) == TRowOutcome::Completed ? 1 : 0;
    return completed;
}

QString TForm1::RunLogText() const { return Q(run_log_.Text()); }
