#pragma once
// A stage of a conversion run: one piece of the work (decoding a stream,
// say) on a thread of its own, talking to the run through bounded queues.
// A stage is built with plain values and the library objects it is lent,
// does its work in Work, and stops when Close has closed its queues. The
// run's stages are built and joined in one place, the run's StageSet.

#include <memory>
#include <thread>
#include <utility>
#include <vector>

class Stage {
public:
    virtual ~Stage() = default;
    // Runs on the stage's own thread until the input ends or is closed.
    virtual void Work() = 0;
    // Closes the stage's queues, so that Work returns soon and nobody waits
    // on the stage any more.
    virtual void Close() = 0;
    // The name its thread shows in a profiler or a debugger (at most 15
    // characters).
    virtual const char* Name() const = 0;
};

// The stages of one run, each on its own thread from the moment it is added
// until the set is joined; the set owns them, so that no stage outlives the
// library objects it was lent.
class StageSet {
public:
    StageSet() = default;
    StageSet(const StageSet&) = delete;
    StageSet& operator=(const StageSet&) = delete;
    ~StageSet() { JoinAll(); }

    template <typename S, typename... Arguments>
    S& Add(Arguments&&... arguments) {
        auto stage = std::make_unique<S>(std::forward<Arguments>(arguments)...);
        S& added = *stage;
        Start(std::move(stage));
        return added;
    }
    // Closes every stage and waits for its thread, the newest first; the
    // stages are gone afterwards.
    void JoinAll();
    bool Empty() const { return running_.empty(); }

private:
    struct Running {
        std::unique_ptr<Stage> stage;
        std::thread thread;
    };
    void Start(std::unique_ptr<Stage> stage);
    std::vector<Running> running_;
};
