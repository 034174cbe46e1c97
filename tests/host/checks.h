// The check counting of the host test programs: a failed check prints its
// condition, its line and the case being run, and the program goes on.
#ifndef SPECTROGRID_TESTS_HOST_CHECKS_H
#define SPECTROGRID_TESTS_HOST_CHECKS_H

#include <cstdio>
#include <string>

inline int checksPassed = 0;
inline int checksFailed = 0;
inline std::string caseName;  // printed with a failure

inline bool check(bool ok, const char* condition, int line) {
    if (ok) {
        ++checksPassed;
    } else {
        ++checksFailed;
        std::fprintf(stderr, "  FAILED (line %d): %s%s%s\n", line, condition,
                     caseName.empty() ? "" : "  -- case: ", caseName.c_str());
    }
    return ok;
}

#define CHECK(condition) check((condition), #condition, __LINE__)

#endif
