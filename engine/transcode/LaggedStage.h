#pragma once
// A stage that works through its inputs in order on its own thread while the
// run's thread goes on. The run takes the outcome of an input once `lag`
// newer inputs have been handed in (or the end), waiting for it if need be,
// so what it gets, and at which point of its own work, never depends on how
// the threads happen to be scheduled: the output is the same as if the run
// had done the work itself, only later. At most lag + 1 inputs wait, and the
// outcomes held are bounded by their weight (the pictures they carry).

#include <cstddef>
#include <utility>

#include "Stage.h"
#include "StageQueue.h"

template <typename Input, typename Outcome>
class LaggedStage : public Stage {
public:
    LaggedStage(size_t lag, size_t outcome_weight)
        : lag_(lag), inputs_(lag + 1), outcomes_(outcome_weight) {}

    // Called from the run's thread: hands in the next input; `last` marks the
    // end, after which every outcome is due. False once the stage is closed.
    bool Submit(Input input, bool last) {
        if (!inputs_.Push(std::move(input))) return false;
        ++submitted_;
        if (last) ended_ = true;
        return true;
    }
    // The outcome of the oldest input not yet taken, when it is due; waits
    // for the stage to finish it. False when none is due.
    bool TakeDue(Outcome& outcome) {
        if (taken_ == submitted_ || (!ended_ && submitted_ - taken_ <= lag_)) return false;
        if (!outcomes_.Pop(outcome)) return false;
        ++taken_;
        return true;
    }

    void Work() override {
        Input input;
        while (inputs_.Pop(input)) {
            Outcome outcome = Process(std::move(input));
            const size_t weight = Weight(outcome);
            if (!outcomes_.Push(std::move(outcome), weight)) return;
        }
    }
    void Close() override {
        inputs_.Close();
        outcomes_.Close();
    }

protected:
    // The stage's own work on one input, on the stage's thread.
    virtual Outcome Process(Input input) = 0;
    virtual size_t Weight(const Outcome&) const { return 1; }

private:
    const size_t lag_;
    // Touched by the run's thread only.
    size_t submitted_ = 0;
    size_t taken_ = 0;
    bool ended_ = false;
    StageQueue<Input> inputs_;
    StageQueue<Outcome> outcomes_;
};
