#include "StopSignals.h"

#include <semaphore.h>
#include <signal.h>

#include <cerrno>

#include "PartialOutput.h"

namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

sem_t g_arrived;
std::atomic<bool> g_received{false};

void OnStopSignal(int number) {
    if (!g_received.exchange(true)) {
        sem_post(&g_arrived);
        return;
    }
    TPartialOutput::RemoveAllNow();
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigaction(number, &fallback, nullptr);
    // Delivered with its default action as soon as this handler returns.
    raise(number);
}

void HandleStopSignals(void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    for (int number : kStopSignals) sigaddset(&action.sa_mask, number);
    for (int number : kStopSignals) sigaction(number, &action, nullptr);
}

}  // namespace

TStopSignals::TStopSignals(std::function<void()> onStop) : on_stop_(std::move(onStop)) {
    g_received = false;
    sem_init(&g_arrived, 0, 0);
    watcher_ = std::thread([this] {
        while (sem_wait(&g_arrived) != 0 && errno == EINTR) {
        }
        if (!quitting_) on_stop_();
    });
    HandleStopSignals(&OnStopSignal);
}

TStopSignals::~TStopSignals() {
    HandleStopSignals(SIG_DFL);
    quitting_ = true;
    sem_post(&g_arrived);
    watcher_.join();
    sem_destroy(&g_arrived);
}

bool TStopSignals::Received() { return g_received.load(); }
