#include "IpodDelivery.h"

TIpodDelivery::TIpodDelivery(std::string mount, bool keepCopies)
    : mount_(std::move(mount)), keepCopies_(keepCopies) {}

TIpodDelivery::~TIpodDelivery() {
    if (!worker_.joinable()) return;
    Queue([this] { WriteAndFinish(); });
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closing_ = true;
    }
    wake_.notify_one();
    worker_.join();
}

void TIpodDelivery::Begin(TReporter reporter) {
    if (worker_.joinable()) return;
    reporter_ = std::move(reporter);
    worker_ = std::thread([this] { Work(); });
    // Reading the database may take a while on a full iPod.
    Queue([this] { Open(); });
}

void TIpodDelivery::Deliver(const std::string& path) {
    Queue([this, path] { Send(path); });
}

void TIpodDelivery::DeliverEachAtOnce() {
    Queue([this] { WriteNow(); });
}

void TIpodDelivery::Finish() {
    Queue([this] { WriteAndFinish(); });
}

void TIpodDelivery::Queue(std::function<void()> job) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        jobs_.push_back(std::move(job));
    }
    wake_.notify_one();
}

void TIpodDelivery::Work() {
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait(lock, [this] { return closing_ || !jobs_.empty(); });
            if (jobs_.empty()) return;
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        job();
    }
}

void TIpodDelivery::Open() { opened_ = sender_.Open(mount_, openFailure_); }

void TIpodDelivery::Send(const std::string& path) {
    if (!opened_) {
        Report(TDeliveryReport::NotDelivered, path, openFailure_);
        return;
    }
    std::string error;
    if (sender_.Send(path, error)) {
        if (!keepCopies_) sender_.RemoveWhenListed(path);
        Report(TDeliveryReport::Delivered, path);
    } else if (!sender_.TakenOff().empty()) {
        ReportTakenOff(error);
    } else {
        Report(TDeliveryReport::NotDelivered, path, error);
    }
}

void TIpodDelivery::WriteNow() {
    std::string error;
    if (opened_ && !sender_.WriteAfterEveryFile(error)) ReportTakenOff(error);
}

void TIpodDelivery::WriteAndFinish() {
    if (finished_) return;
    finished_ = true;
    std::string error;
    if (opened_ && !sender_.Finish(error)) ReportTakenOff(error);
    Report(TDeliveryReport::Finished);
}

void TIpodDelivery::Report(TDeliveryReport::TKind kind, const std::string& path, const std::string& message) {
    if (reporter_) reporter_(TDeliveryReport{kind, path, message});
}

void TIpodDelivery::ReportTakenOff(const std::string& message) {
    for (const std::string& path : sender_.TakenOff()) Report(TDeliveryReport::NotDelivered, path, message);
}
