#pragma once
// Where a completed file goes beyond the output folder: onto an iPod. The
// conversion run hands each completed file over as soon as it is written
// and ends only once every file handed over has been reported on and the
// delivery has finished, so that the window and the command line deliver
// files the same way.

#include <functional>
#include <string>

struct TDeliveryReport {
    enum TKind {
        Delivered,     // the file is on the device
        NotDelivered,  // the file is not, or no longer, on the device
        Finished,      // everything delivered is lasting; no report follows
        AlreadyThere,  // the device had the file already: delivered, nothing copied
    };
    TKind Kind = Finished;
    std::string Path;     // the file handed over; empty for Finished
    std::string Message;  // NotDelivered: the cause, naming the device
};

class TFileDelivery {
public:
    using TReporter = std::function<void(const TDeliveryReport&)>;
    virtual ~TFileDelivery() = default;
    // Reports go to `reporter`, on a thread of the delivery's own, in the
    // order they happen; a file reported delivered may later be reported not
    // delivered, when what made it lasting failed.
    virtual void Begin(TReporter reporter) = 0;
    // `source` is the file `path` was made from, which the device may keep
    // a note of.
    virtual void Deliver(const std::string& path, const std::string& source) = 0;
    // The run is stopping: from now on each file is made lasting as soon as
    // it is delivered, and what was delivered so far is made lasting now.
    virtual void DeliverEachAtOnce() = 0;
    // Makes every delivered file lasting, then reports Finished.
    virtual void Finish() = 0;
};
