// Runs the built korvel-cli as a process (KORVEL_CLI_PATH) and keeps what it printed.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace korvel::cli_test {

struct CliRun {
    int rc = -1;  // exit status; -1 when the program did not exit normally
    std::string out, err;
};

inline std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// `args` are shell words; standard input is empty. The output files are named after the
// running test and removed afterwards.
inline CliRun RunCli(const std::string& args) {
    const std::string base = ::testing::TempDir() + "korvel_cli_" +
                             std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                             "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    const std::string cmd = std::string("'") + KORVEL_CLI_PATH + "' " + args + " >'" + base +
                            ".out' 2>'" + base + ".err' </dev/null";
    CliRun r;
    const int status = std::system(cmd.c_str());
    r.rc = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = Slurp(base + ".out");
    r.err = Slurp(base + ".err");
    std::remove((base + ".out").c_str());
    std::remove((base + ".err").c_str());
    return r;
}

inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

}  // namespace korvel::cli_test
