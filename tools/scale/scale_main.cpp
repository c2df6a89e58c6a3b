// korvel-scale --in DIR --out DIR --times N
// Writes a timetable N times the size of the one in DIR (four .stream files).
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "data/decimal.h"
#include "scale/scale.h"

int main(int argc, char** argv) {
    std::string in, out;
    int times = 0;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string key = argv[i];
        if (key == "--in") {
            in = argv[i + 1];
        } else if (key == "--out") {
            out = argv[i + 1];
        } else if (key == "--times") {
            times = korvel::WholeInteger<int>(argv[i + 1]).value_or(0);
        }
    }
    if (in.empty() || out.empty() || times < 1 || argc % 2 == 0) {
        std::fprintf(stderr, "usage: korvel-scale --in DIR --out DIR --times N (N >= 1)\n");
        return 2;
    }
    try {
        korvel::WriteStreamsTo(out, korvel::ScaleTimetable(korvel::ReadStreamsFrom(in), times));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "korvel-scale: %s\n", e.what());
        return 1;
    }
    return 0;
}
