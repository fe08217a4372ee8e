// The command line of pelmora-convert, parsed into what a run will do.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "output/image_format.h"
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

// One item of --show or --hide: a layer (group and layer), a whole group
// (layer -1) or everything (group -1).
struct VisibilityChange {
  bool show = true;
  int group = -1;  // 0..15, -1 = every group
  int layer = -1;  // 0..15 within the group, -1 = every layer of it
  bool operator==(const VisibilityChange&) const = default;
};

enum class SplitBy { kNone, kGroups, kLayers };

struct ConvertOptions {
  std::vector<std::string> drawings;
  std::optional<std::string> output;      // -o: one drawing only
  std::optional<std::string> output_dir;  // -d
  std::optional<ImageFormat> format;      // --format
  std::optional<int> dpi;                 // 1..600
  std::optional<int> depth;               // 1, 4, 8, 16, 24
  RegionChoice region;
  std::vector<std::string> assignments;  // --set NAME=VALUE, in command-line order
  bool defaults = false;
  bool show_all = false;
  std::vector<VisibilityChange> visibility;  // --show and --hide, in command-line order
  SplitBy split = SplitBy::kNone;
  bool recursive = false;
  int jobs = 1;                  // drawings at once; 0 = one per core
  std::optional<int> threads;    // render threads per drawing
  bool skip_existing = false;    // -n
  std::optional<int> thumbnail;  // --thumbnail SIZE: drawings = {INPUT, OUTPUT}
  bool info = false;
  bool json = false;
  bool dry_run = false;
  bool force = false;
  bool quiet = false;
  bool help = false;
  bool version = false;

  // Vector documents.
  std::optional<bool> vector;  // --vector (true), --raster (false); PDF: vector by default
  bool keep_hidden = false;    // hidden layers written too, switched off
  bool outline_text = false;   // SVG: glyph outlines instead of texts
  bool dxf_utf8 = true;        // DXF: R2007 in UTF-8; false: R2000 in Shift-JIS
  // --compression: how hard PNG, TIFF and PDF compress.
  Compression compression = Compression::kDefault;
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

// Applies --show-all and then every --show and --hide to the view tables.
// Showing a layer also shows its group, so that it is drawn.
void ApplyVisibility(const ConvertOptions& options, std::array<std::uint8_t, 256>& layers,
                     std::array<std::uint8_t, 16>& groups);

// The format of every output: -o's extension, else --format, else BMP.
ImageFormat ChosenFormat(const ConvertOptions& options);
// Whether the outputs are vector documents: SVG and DXF always, PDF unless --raster.
bool WritesVector(const ConvertOptions& options);

// The help text, ending with a newline.
const char* UsageText();

}  // namespace pelmora
