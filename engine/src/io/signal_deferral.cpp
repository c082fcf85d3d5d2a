// SPDX-License-Identifier: MIT
// Process-wide deferral of the signals that end a program, over the writes that could otherwise be
// cut off half way. The dispositions are process state, so nested and concurrent deferrals share one
// saved set, and only the outermost one installs and restores it.

#include "io/signal_deferral.h"

#include <csignal>
#include <iterator>
#include <mutex>

namespace kestrin {
namespace {

constexpr int heldSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
constexpr int ignoredSignals[] = {SIGPIPE, SIGXFSZ};
std::mutex deferralMutex;
int deferralDepth = 0;
struct sigaction savedHeld[std::size(heldSignals)];
struct sigaction savedIgnored[std::size(ignoredSignals)];
volatile std::sig_atomic_t heldSignal = 0;

extern "C" void HoldSignal(int signal)
{
    if (heldSignal == 0) {
        heldSignal = signal;
    }
}

} // namespace

SignalDeferral::SignalDeferral()
{
    const std::lock_guard lock(deferralMutex);
    if (deferralDepth++ > 0) {
        return;
    }
    heldSignal = 0;
    struct sigaction hold {
    };
    hold.sa_handler = HoldSignal;
    hold.sa_flags = 0; // no SA_RESTART: a write blocked on a pipe sees the signal
    sigfillset(&hold.sa_mask);
    for (std::size_t i = 0; i < std::size(heldSignals); ++i) {
        ::sigaction(heldSignals[i], nullptr, &savedHeld[i]);
        if (savedHeld[i].sa_handler != SIG_IGN) { // an ignored signal stays ignored
            ::sigaction(heldSignals[i], &hold, nullptr);
        }
    }
    struct sigaction ignore {
    };
    ignore.sa_handler = SIG_IGN;
    for (std::size_t i = 0; i < std::size(ignoredSignals); ++i) {
        ::sigaction(ignoredSignals[i], &ignore, &savedIgnored[i]);
    }
}

SignalDeferral::~SignalDeferral()
{
    int held = 0;
    {
        const std::lock_guard lock(deferralMutex);
        if (--deferralDepth > 0) {
            return;
        }
        for (std::size_t i = 0; i < std::size(heldSignals); ++i) {
            ::sigaction(heldSignals[i], &savedHeld[i], nullptr);
        }
        for (std::size_t i = 0; i < std::size(ignoredSignals); ++i) {
            ::sigaction(ignoredSignals[i], &savedIgnored[i], nullptr);
        }
        held = heldSignal;
        heldSignal = 0;
    }
    if (held != 0) {
        ::raise(held);
    }
}

bool SignalDeferral::SignalHeld()
{
    return heldSignal != 0;
}

void SignalDeferral::AnswerHeldSignal()
{
    heldSignal = 0;
}

} // namespace kestrin
