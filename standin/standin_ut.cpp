// Stand-in libut: MATLAB's query for a pending Ctrl-C, utIsInterruptPending,
// which a module looks up at run time in the libut the host has loaded. As
// in MATLAB, asking does not clear the interrupt: it stays pending until
// the host acts on it, here until the test sets the next one.
#include <atomic>

#include "standin_host.h"

namespace {
std::atomic<int> pendingFrom{0};  // the question from which it answers true; 0: never
std::atomic<int> asked{0};
}  // namespace

extern "C" bool utIsInterruptPending() {
    const int question = asked.fetch_add(1) + 1;
    const int from = pendingFrom.load();
    return from != 0 && question >= from;
}

void standin::interruptFromQuestion(int question) {
    pendingFrom.store(question);
    asked.store(0);
}

int standin::interruptQuestions() { return asked.load(); }
