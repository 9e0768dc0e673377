#include "console/Interrupt.h"

#include <csignal>

namespace VaultConsole {

namespace {

volatile std::sig_atomic_t interruptSeen = 0;

extern "C" void onInterrupt(int signalNumber) {
    if (interruptSeen) {
        // The second one: the operator wants out now.
        std::signal(signalNumber, SIG_DFL);
        std::raise(signalNumber);
        return;
    }
    interruptSeen = 1;
}

}  // namespace

void installInterruptHandlers() {
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: a blocking wait returns EINTR and looks at the flag
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool interrupted() { return interruptSeen != 0; }

void resetInterrupted() { interruptSeen = 0; }

}  // namespace VaultConsole
