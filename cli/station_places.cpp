// The stations' places for the commands that draw or export them: COORDS beside the loaded
// timetable's streams (the embedded blob, the injected source's, or the folder's file).
#include "app/map_data.h"
#include "cli/commands.h"

namespace korvel::cli {

std::optional<StationCoords> LoadStationCoords(const BlobSource& source, std::string* error) {
    return korvel::LoadStationCoords(source, source ? std::string() : TimetableFolder(), error);
}

}  // namespace korvel::cli
