// device-sim: answers the finder's probe like one or many VoIP devices.
// It runs inside a lab namespace (tests/lab/lab.sh); it never sends anything
// but unicast replies to the sender of a probe it received.

#include "SimCore.h"
#include "SimOptions.h"
#include "Simulator.h"

#include <csignal>
#include <exception>
#include <iostream>

namespace {

volatile std::sig_atomic_t gStop = 0;

void OnStopSignal(int) {
    gStop = 1;
}

// Blocked except inside the simulator's wait, so a stop is never lost
// between checking the flag and starting to wait.
void BlockStopSignals() {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigset_t stops;
    sigemptyset(&stops);
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        sigaction(signal, &action, nullptr);
        sigaddset(&stops, signal);
    }
    sigprocmask(SIG_BLOCK, &stops, nullptr);
}

} // namespace

int main(int argc, char** argv) {
    SimOptions options;
    try {
        options = ParseSimOptions({argv + 1, argv + argc});
    } catch (const UsageError& error) {
        std::cerr << "device-sim: " << error.what() << '\n' << kSimUsage;
        return 2;
    }
    if (!options.allowAnyNetns && CurrentLabNetns().empty()) {
        std::cerr << "device-sim: refusing to run outside a lab network namespace; "
                     "start it inside the lab (tests/lab/lab.sh)\n";
        return 3;
    }
    BlockStopSignals();
    try {
        Simulator simulator(options);
        simulator.Run(gStop);
    } catch (const std::exception& error) {
        std::cerr << "device-sim: " << error.what() << '\n';
        return 1;
    }
    return 0;
}
