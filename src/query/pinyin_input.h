// Station entry by pinyin initials: what the three station boxes do when their text
// changes. UI-free; the main-window controller applies the result to the view.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "data/memtable.h"

namespace korvel {

// A non-empty text of ASCII letters only (A-Z, a-z). A station text that passes is a code
// still being typed, not a chosen station.
bool IsPinyinCode(std::string_view text);

// The drop-down items for a typed code: the Station of every KMPy row (in table order)
// whose Shortcode begins with the code upper-cased; no limit. Fewer than 8 matches are
// padded with empty items up to 9.
std::vector<std::string> StationDropDownItems(MemTable& KMPy, std::string_view text);

// The items of a cleared box.
std::vector<std::string> EmptyDropDownItems();  // 9 empty items

enum class ComboListAction {
    FillAndOpen,  // letters only: fill the list from KMPy and open it
    ResetEmpty,   // empty text: the list becomes 9 empty items, not opened
    Leave,        // a station name or other text: the list stays as it is
};

struct ComboChangeResult {
    std::string text;  // the trimmed text, written back into the box (caret at its end)
    ComboListAction action = ComboListAction::Leave;
    std::vector<std::string> items;  // the new list for FillAndOpen and ResetEmpty
};

// The change handler of DepartureBox, ArrivalBox and StationBox. Without KMPy (nullptr) the items
// of FillAndOpen are left empty for the caller to fill with StationDropDownItems.
ComboChangeResult StationBoxEdited(std::string_view boxText, MemTable* KMPy = nullptr);

}  // namespace korvel
