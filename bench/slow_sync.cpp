// Loaded before libc into a benchmark, this makes every sync of a file take SLOW_SYNC_MS
// milliseconds (300 unless set) longer, as on a disk that is slow to flush. The sync itself
// still happens, so what the benchmark measures lands as it would.
#include <dlfcn.h>

#include <cstdlib>
#include <ctime>

namespace {
void stall() {
    static const long ms = [] {
        const char* set = std::getenv("SLOW_SYNC_MS");
        return set ? std::atol(set) : 300L;
    }();
    timespec left{ms / 1000, (ms % 1000) * 1'000'000L};
    while (nanosleep(&left, &left) != 0) {
    }
}

template <typename Call> Call next(const char* name) {
    return reinterpret_cast<Call>(dlsym(RTLD_NEXT, name));
}
} // namespace

extern "C" int fsync(int fd) {
    static const auto real = next<int (*)(int)>("fsync");
    stall();
    return real(fd);
}

extern "C" int fdatasync(int fd) {
    static const auto real = next<int (*)(int)>("fdatasync");
    stall();
    return real(fd);
}
