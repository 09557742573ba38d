#include "cli/interrupt.h"

#include <csignal>

#include "cli/command_line.h"

namespace vexlo::cli {
namespace {

volatile std::sig_atomic_t interrupt_signal = 0;

void OnInterrupt(int signal) { interrupt_signal = signal; }

}  // namespace

void InstallInterruptHandler() {
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  // One-shot: the default action comes back for an impatient second Ctrl-C.
  action.sa_flags = SA_RESETHAND;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

bool InterruptRequested() { return interrupt_signal != 0; }

int CancelledStatus() { return interrupt_signal == SIGTERM ? kExitTerminated : kExitCancelled; }

}  // namespace vexlo::cli
