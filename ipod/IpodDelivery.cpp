#include "IpodDelivery.h"

TIpodDelivery::TIpodDelivery(std::string mount, bool keepCopies, TIpodLibrary::TNotice notice)
    : mount_(std::move(mount)), keepCopies_(keepCopies), sender_(std::move(notice)) {}

TIpodDelivery::~TIpodDelivery() {
    if (!worker_.joinable()) return;
    Queue([this] { ReportFinished(); });
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

void TIpodDelivery::Deliver(const std::string& path, const std::string& source) {
    Queue([this, path, source] { Send(path, source); });
}

// Each file is lasting on the iPod as soon as it is reported delivered.
void TIpodDelivery::DeliverEachAtOnce() {}

void TIpodDelivery::Finish() {
    Queue([this] { ReportFinished(); });
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

void TIpodDelivery::Send(const std::string& path, const std::string& source) {
    if (!opened_) {
        Report(TDeliveryReport::NotDelivered, path, openFailure_);
        return;
    }
    std::string error;
    switch (place_ ? place_(path, error) : sender_.Send(path, source, !keepCopies_, error)) {
        case TSendOutcome::OnIpod: Report(TDeliveryReport::Delivered, path); break;
        case TSendOutcome::AlreadyThere:
            sender_.Notice(error);
            Report(TDeliveryReport::AlreadyThere, path);
            break;
        case TSendOutcome::NotSent: Report(TDeliveryReport::NotDelivered, path, error); break;
    }
}

void TIpodDelivery::ReportFinished() {
    if (finished_) return;
    finished_ = true;
    Report(TDeliveryReport::Finished);
}

void TIpodDelivery::Report(TDeliveryReport::TKind kind, const std::string& path, const std::string& message) {
    if (reporter_) reporter_(TDeliveryReport{kind, path, message});
}
