// readMapping: reads of a file mapping that survive the file being shortened.
//
// A read of a mapped page that a truncation removed raises SIGBUS. One
// process-wide handler, installed at the first guarded read, turns a SIGBUS
// whose address lies in the range the faulting thread is reading into a jump
// back to readMapping (sigsetjmp/siglongjmp), which then answers false. Any
// other SIGBUS goes to the handler that was installed before, or gets the
// default action (the process ends, as it would have without us).
//
// The handler runs with SA_NODEFER, so the jump leaves SIGBUS unblocked and
// sigsetjmp need not save the signal mask: a guarded read costs no system
// call.
#include <csetjmp>
#include <csignal>
#include <cstring>
#include <mutex>

#include "VaultFiles.h"

namespace VaultFiles {
namespace {

// What the current thread is reading (plain data: read in a signal handler).
struct Guard {
    const unsigned char* begin;
    const unsigned char* end;
    sigjmp_buf* jump;
};
__thread Guard* currentGuard = nullptr;

struct sigaction previousAction;

void onBusError(int signal, siginfo_t* info, void* context) {
    Guard* guard = currentGuard;
    const auto* address = static_cast<const unsigned char*>(info->si_addr);
    if (guard != nullptr && address >= guard->begin && address < guard->end) siglongjmp(*guard->jump, 1);
    // Not ours: what would have happened without this handler.
    if (previousAction.sa_flags & SA_SIGINFO) {
        if (previousAction.sa_sigaction != nullptr) {
            previousAction.sa_sigaction(signal, info, context);
            return;
        }
    } else if (previousAction.sa_handler != SIG_DFL && previousAction.sa_handler != SIG_IGN) {
        previousAction.sa_handler(signal);
        return;
    }
    // Default action: restore it; the faulting instruction runs again and
    // the process ends with SIGBUS.
    struct sigaction fallback;
    std::memset(&fallback, 0, sizeof fallback);
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    sigaction(SIGBUS, &fallback, nullptr);
}

void installHandler() {
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_sigaction = onBusError;
    action.sa_flags = SA_SIGINFO | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    sigaction(SIGBUS, &action, &previousAction);
}

}  // namespace

bool readMapping(const unsigned char* begin, size_t size, void (*read)(void* context), void* context) {
    static std::once_flag installed;
    std::call_once(installed, installHandler);
    sigjmp_buf jump;
    Guard guard{begin, begin + size, &jump};
    Guard* const outer = currentGuard;
    if (sigsetjmp(jump, 0) != 0) {
        currentGuard = outer;
        return false;
    }
    currentGuard = &guard;
    read(context);
    currentGuard = outer;
    return true;
}

}  // namespace VaultFiles
