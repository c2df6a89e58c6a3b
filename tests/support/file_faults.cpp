#include "file_faults.h"

#include <dlfcn.h>
#include <errno.h>
#include <stdio.h>
#include <unistd.h>

#include <mutex>
#include <optional>

namespace korvel::test {
namespace {

struct Armed {
    FileFault fault;
    bool hit = false;
};

std::mutex& Lock() {
    static std::mutex mutex;
    return mutex;
}

std::optional<Armed>& Current() {
    static std::optional<Armed> armed;
    return armed;
}

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// The errno value this call fails with, 0 when it is not the one to fail.
int FailureOf(FileFault::Call call, const std::string& path) {
    std::lock_guard<std::mutex> lock(Lock());
    std::optional<Armed>& armed = Current();
    if (!armed || armed->hit || armed->fault.call != call ||
        !EndsWith(path, armed->fault.pathEnd)) {
        return 0;
    }
    if (armed->fault.skip > 0) {
        --armed->fault.skip;
        return 0;
    }
    armed->hit = true;
    return armed->fault.error;
}

// Whether the call fails, with errno set.
bool Fails(FileFault::Call call, const std::string& path) {
    const int error = FailureOf(call, path);
    if (error != 0) errno = error;
    return error != 0;
}

std::string PathOfDescriptor(int fd) {
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    char path[4096];
    const ssize_t n = ::readlink(link, path, sizeof path);
    return n > 0 ? std::string(path, static_cast<std::size_t>(n)) : std::string();
}

template <typename Fn>
Fn Real(const char* name) {
    return reinterpret_cast<Fn>(::dlsym(RTLD_NEXT, name));
}

}  // namespace

FileFaultScope::FileFaultScope(FileFault fault) {
    std::lock_guard<std::mutex> lock(Lock());
    Current() = Armed{std::move(fault), false};
}

FileFaultScope::~FileFaultScope() {
    std::lock_guard<std::mutex> lock(Lock());
    Current().reset();
}

bool FileFaultScope::Hit() const {
    std::lock_guard<std::mutex> lock(Lock());
    return Current() && Current()->hit;
}

}  // namespace korvel::test

using korvel::test::FileFault;

extern "C" int rename(const char* from, const char* to) noexcept {
    static const auto real = korvel::test::Real<int (*)(const char*, const char*)>("rename");
    if (korvel::test::Fails(FileFault::Call::Rename, to)) return -1;
    return real(from, to);
}

extern "C" int renameat2(int fromDir, const char* from, int toDir, const char* to,
                         unsigned flags) noexcept {
    static const auto real =
        korvel::test::Real<int (*)(int, const char*, int, const char*, unsigned)>("renameat2");
    if (korvel::test::Fails(FileFault::Call::Rename, to)) return -1;
    return real(fromDir, from, toDir, to, flags);
}

extern "C" int fsync(int fd) {
    static const auto real = korvel::test::Real<int (*)(int)>("fsync");
    if (korvel::test::Fails(FileFault::Call::Fsync, korvel::test::PathOfDescriptor(fd))) {
        return -1;
    }
    return real(fd);
}
