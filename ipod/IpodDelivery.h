#pragma once
// Putting the files of a conversion run onto one iPod, on a thread of its
// own so that copying a large file never holds up the window or the run:
// files go on in the order they are handed over, and the database is
// written once when the run finishes (after every file once it is stopping).

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "FileDelivery.h"
#include "IpodSender.h"

class TIpodDelivery : public TFileDelivery {
public:
    // With `keepCopies` false each file is removed from this computer once
    // the iPod's written database lists it.
    TIpodDelivery(std::string mount, bool keepCopies);
    // Sends what is still waiting and writes the database before it returns.
    ~TIpodDelivery() override;
    TIpodDelivery(const TIpodDelivery&) = delete;
    TIpodDelivery& operator=(const TIpodDelivery&) = delete;

    void Begin(TReporter reporter) override;
    void Deliver(const std::string& path) override;
    void DeliverEachAtOnce() override;
    void Finish() override;

private:
    void Queue(std::function<void()> job);
    void Work();
    // The rest runs on the delivery's thread.
    void Open();
    void Send(const std::string& path);
    void WriteNow();
    void WriteAndFinish();
    void Report(TDeliveryReport::TKind kind, const std::string& path = {}, const std::string& message = {});
    // Each file the failed write took off the iPod again.
    void ReportTakenOff(const std::string& message);

    const std::string mount_;
    const bool keepCopies_;
    TReporter reporter_;
    TIpodSender sender_;
    bool opened_ = false;
    std::string openFailure_;
    bool finished_ = false;

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> jobs_;
    bool closing_ = false;
    std::thread worker_;
};
