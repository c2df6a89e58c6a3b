// Chosen file-system calls of the test program fail, as on a full or failing disk: the
// definitions of rename, renameat2 and fsync in file_faults.cpp take the place of the C
// library's in a test program that links it, and pass every call through to the C library
// except the one a FileFaultScope asks to fail.
#pragma once

#include <string>

namespace korvel::test {

struct FileFault {
    enum class Call { Rename, Fsync };
    Call call = Call::Rename;
    // The path the call is about ends with this: the new name of a rename, the file or
    // folder of an fsync (a folder's path has no trailing '/').
    std::string pathEnd;
    int error = 0;  // the errno value the call fails with
    int skip = 0;   // matching calls let through before the one that fails
};

// One fault at a time, for the scope's life; the calls after the failing one pass again.
class FileFaultScope {
  public:
    explicit FileFaultScope(FileFault fault);
    ~FileFaultScope();
    FileFaultScope(const FileFaultScope&) = delete;
    FileFaultScope& operator=(const FileFaultScope&) = delete;

    // Whether the fault has been injected.
    bool Hit() const;
};

}  // namespace korvel::test
