#include "IpodSyncDialog.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QEventLoop>
#include <QFontDatabase>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <algorithm>

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

constexpr int kBarSteps = 1000;

}  // namespace

struct TIpodSyncDialog::TPlanned {
    TSyncPlanStatus status = TSyncPlanStatus::IpodRefused;
    std::shared_ptr<TFolderSyncPlan> plan;
    std::string error;
};

TIpodSyncDialog::TIpodSyncDialog(const TSyncRequest& request, const QString& label, QWidget* parent)
    : QDialog(parent), request_(request) {
    setObjectName("FrmIpodSync");
    setWindowTitle("Sync to the iPod \"" + label + "\"");
    resize(680, 460);
    worker_.setMaxThreadCount(1);

    state_ = new QLabel(this);
    state_->setObjectName("LblSyncState");
    state_->setWordWrap(true);
    text_ = new QPlainTextEdit(this);
    text_->setObjectName("EdtSyncPlan");
    text_->setReadOnly(true);
    // The plan's lines are columns of words; a long one wraps rather than
    // hiding its end, which says whether the plan fits.
    text_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    delete_ = new QCheckBox("Delete from the iPod videos whose source is gone", this);
    delete_->setObjectName("ChkSyncDelete");
    delete_->setToolTip("Videos this program put on from these folders whose file is no longer there");
    delete_->setChecked(request_.Delete);
    fit_ = new QPushButton("&Fit: the highest profile that fits", this);
    fit_->setObjectName("BtnSyncFit");
    fit_->setToolTip("Plans again at the highest profile at which the plan fits");
    bar_ = new QProgressBar(this);
    bar_->setObjectName("BarSync");
    bar_->setRange(0, kBarSteps);
    bar_->setTextVisible(false);
    progress_ = new QLabel(this);
    progress_->setObjectName("LblSyncProgress");
    start_ = new QPushButton("&Start", this);
    start_->setObjectName("BtnSyncStart");
    close_ = new QPushButton("Close", this);
    close_->setObjectName("BtnSyncClose");

    auto* options = new QHBoxLayout;
    options->addWidget(delete_, 1);
    options->addWidget(fit_);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(start_);
    buttons->addWidget(close_);
    auto* column = new QVBoxLayout(this);
    column->addWidget(state_);
    column->addWidget(text_, 1);
    column->addLayout(options);
    column->addWidget(bar_);
    column->addWidget(progress_);
    column->addLayout(buttons);

    connect(start_, &QPushButton::clicked, this, &TIpodSyncDialog::StartClick);
    connect(close_, &QPushButton::clicked, this, &QDialog::reject);
    connect(delete_, &QCheckBox::toggled, this, [this](bool checked) {
        request_.Delete = checked;
        Plan();
    });
    connect(fit_, &QPushButton::clicked, this, [this] {
        request_.Fit = true;
        Plan();
    });
    Plan();
}

TIpodSyncDialog::~TIpodSyncDialog() {
    // The plan reads files through the libraries; it ends before the window
    // may release them; a wait for another program's lock ends at once.
    closing_ = true;
    worker_.waitForDone();
    if (Running()) StopAndWait();
}

void TIpodSyncDialog::Plan() {
    if (planning_ || sync_) return;
    planning_ = true;
    plan_.reset();
    state_->setText("Making the plan: reading the folders and the iPod…");
    text_->clear();
    setCursor(Qt::BusyCursor);
    UpdateButtons();
    TSyncRequest request = request_;
    request.Notice = [this](const std::string& text) {
        QMetaObject::invokeMethod(this, [this, text = Q(text)] { state_->setText(text); }, Qt::QueuedConnection);
    };
    request.GivenUp = [this] { return closing_.load(); };
    worker_.start([this, request] {
        TPlanned result;
        result.plan = std::make_shared<TFolderSyncPlan>();
        result.status = PlanFolderSync(request, *result.plan, result.error);
        QMetaObject::invokeMethod(this, [this, result] { ShowPlan(result); }, Qt::QueuedConnection);
    });
}

void TIpodSyncDialog::ShowPlan(const TPlanned& result) {
    planning_ = false;
    unsetCursor();
    if (result.status != TSyncPlanStatus::Planned) {
        state_->setText("No plan can be made: " + Q(result.error));
    } else {
        plan_ = std::make_unique<TFolderSyncPlan>(*result.plan);
        QStringList lines;
        for (const std::string& change : plan_->Changes) lines << "Note: " + Q(change);
        const std::vector<std::string> planLines = plan_->Lines(kSyncRemedyWindow);
        for (const std::string& line : planLines) lines << Q(line);
        text_->setPlainText(lines.join('\n'));
        // What does not fit is said in the plan's own words.
        state_->setText(plan_->Fits() ? "This is the plan. Press Start to sync."
                                      : "It cannot be started. " + Q(planLines.back()));
    }
    UpdateButtons();
    emit planned();
}

void TIpodSyncDialog::StartClick() {
    if (Running()) {
        state_->setText("Stopping…");
        sync_->Stop();
        return;
    }
    if (!plan_ || !plan_->Fits() || sync_ || conversionRunning_) return;
    TSyncView& view = *this;
    sync_ = std::make_unique<TFolderSync>(component_, view, [this](std::function<void()> work) {
        QMetaObject::invokeMethod(this, std::move(work), Qt::QueuedConnection);
    });
    text_->appendPlainText("");
    state_->setText("Syncing…");
    progress_->setText("Starting…");
    sync_->Start(*plan_);
    UpdateButtons();
    emit runningChanged(true);
}

void TIpodSyncDialog::StopAndWait() {
    if (!Running()) return;
    sync_->Stop();
    QEventLoop loop;
    connect(this, &TIpodSyncDialog::ended, &loop, &QEventLoop::quit);
    if (Running()) loop.exec();
}

void TIpodSyncDialog::SetConversionRunning(bool running) {
    conversionRunning_ = running;
    start_->setToolTip(running ? "Waits until the conversion in the main window has ended" : QString());
    UpdateButtons();
}

void TIpodSyncDialog::reject() {
    if (Running()) {
        StartClick();
        return;
    }
    QDialog::reject();
}

void TIpodSyncDialog::UpdateButtons() {
    const bool running = Running();
    const bool choosing = !planning_ && !sync_;
    start_->setText(running ? "S&top" : "&Start");
    start_->setEnabled(running || (choosing && !conversionRunning_ && plan_ && plan_->Fits()));
    delete_->setEnabled(choosing);
    // Fit is offered while the plan does not fit at the profile chosen.
    fit_->setVisible(plan_ && !plan_->Fits() && plan_->Profile < 0);
    fit_->setEnabled(choosing);
    close_->setEnabled(!running);
    bar_->setVisible(sync_ != nullptr);
    progress_->setVisible(sync_ != nullptr);
}

void TIpodSyncDialog::ShowProgress(const TSyncProgress& progress) {
    progress_->setText(Q(SyncProgressLine(progress)));
    if (progress.BytesTotal > 0)
        bar_->setValue(static_cast<int>(std::min<uint64_t>(progress.BytesDone, progress.BytesTotal) * kBarSteps /
                                        progress.BytesTotal));
}

void TIpodSyncDialog::ShowNotice(const std::string& text) { text_->appendPlainText(Q(text)); }

void TIpodSyncDialog::ItemEnded(const TSyncOutcome& outcome) {
    if (outcome.Result != TSyncResult::Skipped) text_->appendPlainText(Q(SyncOutcomeLine(outcome)));
}

void TIpodSyncDialog::SyncEnded() {
    // Called from within the sync; it counts as ended once this returns.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (ended_ || Running()) return;
            ended_ = true;
            const std::vector<TSyncOutcome>& outcomes = sync_->Outcomes();
            QStringList summary{"", Q(SyncSummaryLine(outcomes))};
            for (const TSyncOutcome& outcome : outcomes)
                if (outcome.Result == TSyncResult::Failed) summary << Q(SyncOutcomeLine(outcome));
            text_->appendPlainText(summary.join('\n'));
            state_->setText(Q(SyncSummaryLine(outcomes)));
            bar_->setValue(kBarSteps);
            UpdateButtons();
            emit runningChanged(false);
            emit ended();
        },
        Qt::QueuedConnection);
}
