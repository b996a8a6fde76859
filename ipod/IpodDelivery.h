#pragma once
// Putting the files of a conversion run onto one iPod, on a thread of its
// own so that copying a large file never holds up the window or the run:
// files go on in the order they are handed over, each in a change of its own
// that is lasting before the file is reported delivered, so that no copy of
// the iPod's database is held while files convert.

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
    // the iPod's written database lists it. `notice` is told, on the
    // delivery's thread, what a person should know that is no failure
    // (waiting for another program, a file already there, no poster).
    TIpodDelivery(std::string mount, bool keepCopies, TIpodLibrary::TNotice notice = {});
    // Sends what is still waiting before it returns.
    ~TIpodDelivery() override;
    TIpodDelivery(const TIpodDelivery&) = delete;
    TIpodDelivery& operator=(const TIpodDelivery&) = delete;

    // Each file is put on by `place` (on the delivery's thread, after the
    // iPod was found able to receive videos) instead of as it is sent.
    using TPlacer = std::function<TSendOutcome(const std::string& path, std::string& error)>;
    void PlaceWith(TPlacer place) { place_ = std::move(place); }

    void Begin(TReporter reporter) override;
    // The source is noted in the iPod's record of synced files, so that a
    // sync of its folder finds it there.
    void Deliver(const std::string& path, const std::string& source) override;
    void DeliverEachAtOnce() override;
    void Finish() override;

private:
    void Queue(std::function<void()> job);
    void Work();
    // The rest runs on the delivery's thread.
    void Open();
    void Send(const std::string& path, const std::string& source);
    void ReportFinished();
    void Report(TDeliveryReport::TKind kind, const std::string& path = {}, const std::string& message = {});

    const std::string mount_;
    const bool keepCopies_;
    TReporter reporter_;
    TIpodSender sender_;
    TPlacer place_;
    bool opened_ = false;
    std::string openFailure_;
    bool finished_ = false;

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> jobs_;
    bool closing_ = false;
    std::thread worker_;
};
