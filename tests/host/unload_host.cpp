// A host with no OpenMP runtime of its own, as MATLAB may be: the module
// brings libgomp into the process, and libgomp's worker threads stay parked
// in its code between calls. Round after round this host loads the module,
// calls it, unloads it ("clear mex") and then sends a signal to every
// thread of the process, so that a worker parked in code that the unload
// unmapped would fault at once. It passes when the process survives every
// round, every call gives the first call's bits, and the number of threads
// stays where the first call left it.
//
//   spectrogrid_unload_host MODULE [ROUNDS]
#include <dirent.h>
#include <link.h>
#include <signal.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "checks.h"
#include "host_call.h"

namespace {

std::atomic<int> signalsHandled{0};

void countSignal(int) { signalsHandled.fetch_add(1, std::memory_order_relaxed); }

int noteOpenMPRuntime(dl_phdr_info* info, std::size_t, void* found) {
    if (info->dlpi_name != nullptr && std::strstr(info->dlpi_name, "libgomp") != nullptr) {
        *static_cast<bool*>(found) = true;
    }
    return 0;
}

bool openMPRuntimeMapped() {
    bool found = false;
    dl_iterate_phdr(noteOpenMPRuntime, &found);
    return found;
}

// Sends SIGUSR1 to every thread of the process and waits until each one
// that received it has run the handler. Returns how many were signalled.
int signalEveryThread() {
    DIR* tasks = opendir("/proc/self/task");
    if (tasks == nullptr) return -1;
    const int before = signalsHandled.load();
    int sent = 0;
    while (const dirent* entry = readdir(tasks)) {
        if (entry->d_name[0] == '.') continue;
        const long thread = std::strtol(entry->d_name, nullptr, 10);
        if (syscall(SYS_tgkill, getpid(), thread, SIGUSR1) == 0) ++sent;
    }
    closedir(tasks);
    const timespec pause = {0, 1000000};
    for (int waited = 0; signalsHandled.load() - before < sent && waited < 5000; ++waited) {
        nanosleep(&pause, nullptr);
    }
    return signalsHandled.load() - before == sent ? sent : -1;
}

// Enough frames and frequencies that every parallel region has work for
// each thread.
std::vector<mxArray*> analysisInputs(ArrayPool& pool) {
    std::vector<double> signal(6000), window(256), frequencies(48);
    for (std::size_t n = 0; n < signal.size(); ++n) signal[n] = static_cast<double>(n % 17) - 8.0;
    for (std::size_t i = 0; i < window.size(); ++i) window[i] = 1.0 + static_cast<double>(i % 5);
    for (std::size_t k = 0; k < frequencies.size(); ++k) frequencies[k] = 37.5 * static_cast<double>(k);
    return {pool.column(signal), pool.column(window), pool.scalar(128.0), pool.column(frequencies),
            pool.scalar(8000.0)};
}

bool sameBits(const std::vector<double>& a, const std::vector<double>& b) {
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0);
}

// What CTest counts as a skipped test.
constexpr int skipped = 77;

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s MODULE [ROUNDS]\n", argv[0]);
        return 2;
    }
    const std::string modulePath = argv[1];
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 100;

    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = countSignal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    sigaction(SIGUSR1, &action, nullptr);

    // Otherwise this test would prove nothing.
    caseName = "before the first load";
    if (!CHECK(!openMPRuntimeMapped())) {
        std::fprintf(stderr, "  this host must not link an OpenMP runtime\n");
        return 1;
    }

    ArrayPool pool;
    const std::vector<mxArray*> inputs = analysisInputs(pool);
    std::vector<double> firstReal, firstImag;
    int threadsAfterFirstCall = 0;
    for (int round = 0; round < rounds && checksFailed == 0; ++round) {
        caseName = "round " + std::to_string(round);
        LoadedModule module;
        std::string error;
        if (!CHECK(loadModule(modulePath, &module, &error))) {
            std::fprintf(stderr, "  %s\n", error.c_str());
            break;
        }
        const CallResult r = callModule(module.entry, 1, inputs);
        CHECK(!r.raised && r.misreads == 0 && r.arraysReclaimed);
        if (r.raised || r.outputs.empty()) break;
        if (round == 0) {
            // The module brought the runtime in, and its first call started the workers.
            CHECK(openMPRuntimeMapped());
            firstReal = r.outputs[0].real;
            firstImag = r.outputs[0].imag;
            threadsAfterFirstCall = processThreadCount();
            if (threadsAfterFirstCall == 1) {
                std::printf("one processor: the module starts no worker thread to strand\n");
                return skipped;
            }
        } else {
            CHECK(sameBits(firstReal, r.outputs[0].real) && sameBits(firstImag, r.outputs[0].imag));
        }
        CHECK(unloadModule(&module, &error));

        const int signalled = signalEveryThread();
        CHECK(signalled > 0);
        const int threads = processThreadCount();
        CHECK(threads > 0 && threads <= threadsAfterFirstCall);
        std::printf("round %d: unloaded, %d threads signalled and alive\n", round, signalled);
        std::fflush(stdout);
    }
    std::printf("%d passed, %d failed\n", checksPassed, checksFailed);
    return checksFailed == 0 ? 0 : 1;
}
