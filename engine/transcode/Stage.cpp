#include "Stage.h"

#include <pthread.h>

void StageSet::Start(std::unique_ptr<Stage> stage) {
    Stage* worker = stage.get();
    running_.push_back({std::move(stage), std::thread()});
    try {
        running_.back().thread = std::thread([worker] {
            pthread_setname_np(pthread_self(), worker->Name());
            worker->Work();
        });
    } catch (...) {
        running_.pop_back();
        throw;
    }
}

void StageSet::JoinAll() {
    for (auto it = running_.rbegin(); it != running_.rend(); ++it) it->stage->Close();
    for (auto it = running_.rbegin(); it != running_.rend(); ++it)
        if (it->thread.joinable()) it->thread.join();
    running_.clear();
}
