// The command line of pelmora-convert, parsed into what a run will do.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "render/geometry.h"
#include "settings/settings.h"

namespace pelmora {

// Which part of the paper is converted.
struct RegionChoice {
  enum class Kind {
    kWhole,  // the whole paper (the window's "全体を選択")
    kSize,   // width × height millimetres at the paper's top-left (--paper, --size)
    kBox,    // a box in preview pixels, as the window stores it (--box)
  };
  Kind kind = Kind::kWhole;
  int width_mm = 0;  // kSize
  int height_mm = 0;
  SelectionBox box;   // kBox
  std::string label;  // as given on the command line, for messages ("A4P", "210x297")
};

struct ConvertOptions {
  std::vector<std::string> drawings;
  std::optional<std::string> output;      // -o: one drawing only
  std::optional<std::string> output_dir;  // -d
  std::optional<int> dpi;                 // 1..600
  std::optional<int> depth;               // 1, 4, 8, 16, 24
  RegionChoice region;
  std::vector<std::string> assignments;  // --set NAME=VALUE, in command-line order
  bool defaults = false;
  bool show_all = false;
  bool info = false;
  bool json = false;
  bool dry_run = false;
  bool force = false;
  bool quiet = false;
  bool help = false;
  bool version = false;
};

// Parses the arguments after the program name. Returns nullopt with the reason
// in *error for a bad command line (the converter then exits with status 2).
// --help and --version are valid alone or with anything else that parses.
std::optional<ConvertOptions> ParseCommandLine(const std::vector<std::string>& args,
                                               std::string* error);

// The settings a conversion uses: the saved ones (or the defaults with
// --defaults), then every --set in order, then --dpi and --depth. Returns
// nullopt with the reason when the result cannot be rendered (a resolution
// outside 1..600, an unknown depth).
std::optional<Settings> EffectiveSettings(const ConvertOptions& options, Settings base,
                                          std::string* error);

// The help text, ending with a newline.
const char* UsageText();

}  // namespace pelmora
