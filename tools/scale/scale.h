// Timetables N times the size of a given one, for measuring the program under load: every
// train is copied under new numbers with its times shifted, over the same stations.
#pragma once

#include <array>
#include <stdexcept>
#include <string>
#include <string_view>

namespace korvel {

class ScaleError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The four table streams of a timetable, in the order of kStreamNames.
struct TimetableStreams {
    std::array<std::string, 4> text;
};
inline constexpr std::array<std::string_view, 4> kStreamNames = {"SPY", "SLIST", "STRAIN", "SM"};

// Reads DIR/SPY.stream ... DIR/SM.stream. Throws ScaleError when one is missing.
TimetableStreams ReadStreamsFrom(const std::string& dir);
// Writes the four streams into DIR (created when missing).
void WriteStreamsTo(const std::string& dir, const TimetableStreams& streams);

// The number of copy `copy` (0 is the train itself): every "/"-separated part gets "-<copy>",
// so "Z98/Z95" becomes "Z98-3/Z95-3" and a copy is never found under the original's first
// number. Throws ScaleError when the result is longer than 35 bytes.
std::string ScaledTrainId(std::string_view id, int copy);
// An "HH:MM" clock time moved by `minutes` around the clock; anything else unchanged.
std::string ShiftClock(std::string_view hhmm, int minutes);
// Minutes by which copy `copy` runs later than the train itself.
inline int CopyShiftMinutes(int copy) {
    return (copy * 17) % 1440;
}

// The timetable with every train (SLIST and STRAIN rows) present `times` times, rows in
// train-number (byte) and stop-number order. SPY and SM are unchanged. times >= 1; 1 gives
// the streams back unchanged.
TimetableStreams ScaleTimetable(const TimetableStreams& in, int times);

}  // namespace korvel
