// The summary of a loaded drawing that the open command shows in its information
// panel and the converter prints for --info: name, date, paper, counts, and the
// layers and groups that hold entities or carry a name, with their view states.
// Names stay the bytes the file stores (code page 932); their text and JSON
// forms, which decode them, are in render/summary_format.h.
#pragma once

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "drawing/jwcunit.h"

namespace pelmora {

struct LayerSummary {
  std::uint8_t layer = 0;  // layer byte: group × 16 + layer within the group
  std::uint8_t view = 0;   // view state as stored; 1 = shown, anything else hidden
  std::int32_t lines = 0, arcs = 0, texts = 0, dots = 0;
  std::string name;  // stored bytes up to the first NUL, trailing spaces cut; "" = no name
};

struct GroupSummary {
  std::uint8_t group = 0;
  std::uint8_t view = 0;  // 1 = shown
  std::int64_t entities = 0;
  std::string name;  // as LayerSummary::name
};

struct DrawingSummary {
  std::string file_name;  // without its folder
  std::string date;       // last modified, local time, "yy/mm/dd hh:mm:ss"
  std::string paper;      // "A3版" (UTF-8), for any paper code
  std::int32_t paper_code = 0;
  std::int32_t paper_mm = 0;  // paper width in millimetres (JwcPaperSizemm)
  bool is_real = false;
  std::int32_t lines = 0, arcs = 0, texts = 0, dots = 0;
  std::int32_t window_width = 0;     // drawing units across the paper
  std::vector<GroupSummary> groups;  // groups holding entities or named, ascending
  std::vector<LayerSummary> layers;  // layers holding entities or named, ascending
};

// "A" + paper code in decimal + "版", whatever the code (A9版 for 9).
std::string PaperLabel(std::int32_t paper_code);
// Local time as "yy/mm/dd hh:mm:ss" (two-digit year, 24-hour clock).
std::string FormatFileDate(std::time_t time);

// Summarises the drawing loaded in `reader` from `file`; reads the file's
// last-modified time (std::system_error if that fails).
DrawingSummary SummarizeDrawing(const Tjwcin& reader, const std::filesystem::path& file);
DrawingSummary SummarizeDrawing(const Tjwcin& reader, std::string file_name, std::time_t modified);

// A stored layer or group name as the summary keeps it: up to the first NUL,
// trailing spaces removed.
std::string TrimStoredName(std::string_view stored);

}  // namespace pelmora
