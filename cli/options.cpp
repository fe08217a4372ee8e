#include "cli/options.h"

#include <getopt.h>

#include <algorithm>
#include <iterator>
#include <string_view>

#include "settings/settings_fields.h"

namespace pelmora {

namespace {

constexpr int kMinDpi = 1;
constexpr int kMaxDpi = 600;
constexpr int kMaxJobs = 256;
constexpr int kMaxThumbnail = 4096;

// Every option; the value of a long option that has a short form is that letter.
enum LongOnly : int {
  kDpi = 256,
  kDepth,
  kPaper,
  kSize,
  kBox,
  kSet,
  kDefaults,
  kShowAll,
  kInfo,
  kJson,
  kDryRun,
  kVersion,
  kFormat,
  kShow,
  kHide,
  kSplit,
  kThreads,
  kThumbnail,
  kVector,
  kRaster,
  kKeepHidden,
  kOutlineText,
  kDxfUtf8,
  kDxfShiftJis,
  kCompression,
};

constexpr option kOptions[] = {
    {"output", required_argument, nullptr, 'o'},
    {"output-dir", required_argument, nullptr, 'd'},
    {"dpi", required_argument, nullptr, kDpi},
    {"depth", required_argument, nullptr, kDepth},
    {"paper", required_argument, nullptr, kPaper},
    {"size", required_argument, nullptr, kSize},
    {"box", required_argument, nullptr, kBox},
    {"set", required_argument, nullptr, kSet},
    {"defaults", no_argument, nullptr, kDefaults},
    {"show-all", no_argument, nullptr, kShowAll},
    {"info", no_argument, nullptr, kInfo},
    {"json", no_argument, nullptr, kJson},
    {"dry-run", no_argument, nullptr, kDryRun},
    {"force", no_argument, nullptr, 'f'},
    {"quiet", no_argument, nullptr, 'q'},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, kVersion},
    {"format", required_argument, nullptr, kFormat},
    {"show", required_argument, nullptr, kShow},
    {"hide", required_argument, nullptr, kHide},
    {"split", required_argument, nullptr, kSplit},
    {"recursive", no_argument, nullptr, 'r'},
    {"jobs", required_argument, nullptr, 'j'},
    {"threads", required_argument, nullptr, kThreads},
    {"skip-existing", no_argument, nullptr, 'n'},
    {"thumbnail", required_argument, nullptr, kThumbnail},
    {"vector", no_argument, nullptr, kVector},
    {"raster", no_argument, nullptr, kRaster},
    {"keep-hidden", no_argument, nullptr, kKeepHidden},
    {"outline-text", no_argument, nullptr, kOutlineText},
    {"dxf-utf8", no_argument, nullptr, kDxfUtf8},
    {"dxf-shift-jis", no_argument, nullptr, kDxfShiftJis},
    {"compression", required_argument, nullptr, kCompression},
    {nullptr, 0, nullptr, 0},
};
// '+': stop at the first drawing (the caller takes it and goes on); ':': a
// missing value is reported as ':' rather than '?'.
constexpr char kShortOptions[] = "+:o:d:fqhrj:n";

// The option's name as messages spell it: "-o" or "--dpi".
std::string OptionName(int value, bool long_form) {
  if (!long_form && value < 256) return std::string("-") + static_cast<char>(value);
  for (const option& o : kOptions) {
    if (o.name != nullptr && o.val == value) return std::string("--") + o.name;
  }
  return "-" + std::string(1, static_cast<char>(value));
}

// Why getopt refused `word` (the '?' it returned, with optopt).
std::string UnknownOption(std::string_view word, bool long_form) {
  if (!long_form) return "unknown option '-" + std::string(1, static_cast<char>(optopt)) + "'";
  if (optopt != 0) return OptionName(optopt, true) + " takes no value";
  const std::string_view name = word.substr(0, word.find('='));
  const std::string_view typed = name.substr(2);
  const auto matches =
      std::count_if(std::begin(kOptions), std::end(kOptions), [&](const option& x) {
        return x.name != nullptr && std::string_view(x.name).starts_with(typed);
      });
  if (matches > 1) return "option '" + std::string(name) + "' is ambiguous";
  return "unknown option '" + std::string(name) + "'";
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// Splits `text` at every `separator`.
std::vector<std::string_view> Split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = text.find(separator, start);
    parts.push_back(text.substr(start, end == std::string_view::npos ? end : end - start));
    if (end == std::string_view::npos) return parts;
    start = end + 1;
  }
}

class Parser {
 public:
  explicit Parser(std::string* error) : m_error(error) {}

  // Applies option `which` (a getopt value), spelled `name`, with its value if it takes one.
  bool Apply(ConvertOptions& o, int which, const std::string& name, std::string_view value) {
    switch (which) {
      case 'o':
        if (value.empty()) return Fail(name + " needs a file name");
        o.output = std::string(value);
        return true;
      case 'd':
        if (value.empty()) return Fail(name + " needs a folder");
        o.output_dir = std::string(value);
        return true;
      case kDefaults:
        o.defaults = true;
        return true;
      case kShowAll:
        o.show_all = true;
        return true;
      case kInfo:
        o.info = true;
        return true;
      case kJson:
        o.json = true;
        return true;
      case kDryRun:
        o.dry_run = true;
        return true;
      case 'f':
        o.force = true;
        return true;
      case 'q':
        o.quiet = true;
        return true;
      case 'h':
        o.help = true;
        return true;
      case kVersion:
        o.version = true;
        return true;
      case 'r':
        o.recursive = true;
        return true;
      case 'n':
        o.skip_existing = true;
        return true;
      case kVector:
      case kRaster:
        if (o.vector && *o.vector != (which == kVector)) {
          return Fail("--vector and --raster exclude each other");
        }
        o.vector = which == kVector;
        return true;
      case kKeepHidden:
        o.keep_hidden = true;
        return true;
      case kOutlineText:
        o.outline_text = true;
        return true;
      case kDxfUtf8:
        o.dxf_utf8 = true;
        return true;
      case kDxfShiftJis:
        o.dxf_utf8 = false;
        return true;
      case kFormat: {
        const auto format = FormatFromString(value);
        if (!format)
          return Fail("--format takes bmp, png, tiff, pdf, svg or dxf, not '" + std::string(value) +
                      "'");
        o.format = *format;
        return true;
      }
      case kShow:
      case kHide:
        return Visibility(o, which == kShow, name, value);
      case kSplit:
        if (value == "groups") {
          o.split = SplitBy::kGroups;
        } else if (value == "layers") {
          o.split = SplitBy::kLayers;
        } else {
          return Fail("--split takes groups or layers, not '" + std::string(value) + "'");
        }
        return true;
      case 'j': {
        const auto jobs = ParseStoredInteger(value);
        if (!jobs || *jobs < 0 || *jobs > kMaxJobs) {
          return Fail(name + " takes a whole number from 0 (one per core) to 256, not '" +
                      std::string(value) + "'");
        }
        o.jobs = *jobs;
        return true;
      }
      case kThreads: {
        const auto threads = ParseStoredInteger(value);
        if (!threads || *threads < 1 || *threads > kMaxJobs) {
          return Fail("--threads takes a whole number from 1 to 256, not '" + std::string(value) +
                      "'");
        }
        o.threads = *threads;
        return true;
      }
      case kCompression: {
        const auto effort = CompressionFromString(value);
        if (!effort) {
          return Fail("--compression takes fast, default or best, not '" + std::string(value) +
                      "'");
        }
        o.compression = *effort;
        return true;
      }
      case kThumbnail: {
        const auto size = ParseStoredInteger(value);
        if (!size || *size < 1 || *size > kMaxThumbnail) {
          return Fail("--thumbnail takes a size in pixels from 1 to 4096, not '" +
                      std::string(value) + "'");
        }
        o.thumbnail = *size;
        return true;
      }
      case kDpi: {
        const auto dpi = ParseStoredInteger(value);
        if (!dpi || *dpi < kMinDpi || *dpi > kMaxDpi) {
          return Fail("--dpi takes a whole number from 1 to 600, not '" + std::string(value) + "'");
        }
        o.dpi = *dpi;
        return true;
      }
      case kDepth: {
        const auto depth = ParseStoredInteger(value);
        if (!depth || !IsColorModeBits(*depth)) {
          return Fail("--depth takes 1, 4, 8, 16 or 24, not '" + std::string(value) + "'");
        }
        o.depth = *depth;
        return true;
      }
      case kPaper:
        return Paper(o, value);
      case kSize:
        return Size(o, value);
      case kBox:
        return Box(o, value);
      case kSet: {
        Settings scratch;
        std::string why;
        if (!ApplySettingAssignment(scratch, value, &why)) {
          return Fail("--set " + std::string(value) + ": " + why);
        }
        o.assignments.emplace_back(value);
        return true;
      }
    }
    return Fail("internal: unhandled option " + name);
  }

  bool Fail(std::string message) {
    if (m_error != nullptr) *m_error = std::move(message);
    return false;
  }

 private:
  // value: a comma list of G-L (one hexadecimal digit each), G-* and *.
  bool Visibility(ConvertOptions& o, bool show, const std::string& name, std::string_view value) {
    auto hex = [](char c) {
      if (c >= '0' && c <= '9') return c - '0';
      if (c >= 'a' && c <= 'f') return c - 'a' + 10;
      if (c >= 'A' && c <= 'F') return c - 'A' + 10;
      return -1;
    };
    for (const std::string_view item : Split(value, ',')) {
      VisibilityChange change;
      change.show = show;
      if (item == "*") {
        o.visibility.push_back(change);
        continue;
      }
      const bool ok = item.size() == 3 && item[1] == '-' && hex(item[0]) >= 0 &&
                      (item[2] == '*' || hex(item[2]) >= 0);
      if (!ok) {
        return Fail(name +
                    " takes a comma list of G-L, G-* or * (G and L one hexadecimal digit "
                    "each, e.g. 2-3,0-E,1-*), not '" +
                    std::string(item) + "'");
      }
      change.group = hex(item[0]);
      change.layer = item[2] == '*' ? -1 : hex(item[2]);
      o.visibility.push_back(change);
    }
    return true;
  }

  bool Region(ConvertOptions& o, RegionChoice region) {
    if (++m_regions > 1) return Fail("--paper, --size and --box exclude each other; give one");
    o.region = std::move(region);
    return true;
  }

  bool Paper(ConvertOptions& o, std::string_view value) {
    RegionChoice region;
    region.label = std::string(value);
    if (EqualsIgnoringCase(value, "whole")) {
      region.kind = RegionChoice::Kind::kWhole;
      return Region(o, region);
    }
    const PaperPreset* preset = PaperPresetByName(value);
    if (preset == nullptr || preset->width_mm <= 0) {
      return Fail("--paper takes whole, A0, A1, A2, A3, A4, A1P, A2P, A3P or A4P, not '" +
                  std::string(value) + "'");
    }
    region.kind = RegionChoice::Kind::kSize;
    region.width_mm = preset->width_mm;
    region.height_mm = preset->height_mm;
    return Region(o, region);
  }

  bool Size(ConvertOptions& o, std::string_view value) {
    const std::size_t x = value.find_first_of("xX");
    const auto width =
        x == std::string_view::npos ? std::nullopt : ParseStoredInteger(value.substr(0, x));
    const auto height =
        x == std::string_view::npos ? std::nullopt : ParseStoredInteger(value.substr(x + 1));
    if (!width || !height || *width < 1 || *height < 1) {
      return Fail("--size takes WxH in whole millimetres, both at least 1 (e.g. 297x210), not '" +
                  std::string(value) + "'");
    }
    RegionChoice region;
    region.kind = RegionChoice::Kind::kSize;
    region.width_mm = *width;
    region.height_mm = *height;
    region.label = std::string(value);
    return Region(o, region);
  }

  bool Box(ConvertOptions& o, std::string_view value) {
    const auto parts = Split(value, ',');
    std::optional<int> n[4];
    if (parts.size() == 4) {
      for (std::size_t i = 0; i < 4; ++i) n[i] = ParseStoredInteger(parts[i]);
    }
    if (parts.size() != 4 || !n[0] || !n[1] || !n[2] || !n[3]) {
      return Fail("--box takes X1,Y1,X2,Y2 in whole preview pixels, not '" + std::string(value) +
                  "'");
    }
    if (*n[0] > *n[2] || *n[1] > *n[3]) {
      return Fail("--box " + std::string(value) + ": X1 must not exceed X2, nor Y1 Y2");
    }
    RegionChoice region;
    region.kind = RegionChoice::Kind::kBox;
    region.box = {*n[0], *n[1], *n[2], *n[3]};
    region.label = std::string(value);
    return Region(o, region);
  }

  std::string* m_error;
  int m_regions = 0;
};

}  // namespace

std::optional<ConvertOptions> ParseCommandLine(const std::vector<std::string>& args,
                                               std::string* error) {
  ConvertOptions o;
  Parser parser(error);
  // getopt_long keeps its place in globals and wants writable words: hand it a
  // private copy and start it afresh. It runs in order ('+') and every drawing
  // it stops at is taken here, so the word an option came from is always known.
  std::vector<std::string> words;
  words.reserve(args.size() + 1);
  words.emplace_back("pelmora-convert");
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  const int argc = static_cast<int>(words.size());
  optind = 0;  // glibc: 0 also resets the scan inside a word such as -fq
  opterr = 0;  // the messages below replace getopt's own
  for (;;) {
    const int at = optind == 0 ? 1 : optind;
    const int which = getopt_long(argc, argv.data(), kShortOptions, kOptions, nullptr);
    const std::string_view word = at < argc ? argv[static_cast<std::size_t>(at)] : "";
    if (which == -1) {
      if (word == "--" && optind == at + 1) break;  // the rest are drawings
      if (optind >= argc) break;
      o.drawings.emplace_back(argv[static_cast<std::size_t>(optind)]);
      ++optind;
      continue;
    }
    const bool long_form = word.starts_with("--");
    if (which == '?') {
      parser.Fail(UnknownOption(word, long_form));
      return std::nullopt;
    }
    if (which == ':') {
      parser.Fail(OptionName(optopt, long_form) + " needs a value");
      return std::nullopt;
    }
    if (!parser.Apply(o, which, OptionName(which, long_form), optarg != nullptr ? optarg : "")) {
      return std::nullopt;
    }
  }
  for (int i = optind; i < argc; ++i) o.drawings.emplace_back(argv[static_cast<std::size_t>(i)]);
  if (o.help || o.version) return o;
  if (o.drawings.empty()) {
    parser.Fail("no drawing given");
    return std::nullopt;
  }
  if (std::count(o.drawings.begin(), o.drawings.end(), "-") > 1) {
    parser.Fail("- (standard input) can be read once only");
    return std::nullopt;
  }
  const bool from_stdin = !o.drawings.empty() &&
                          std::find(o.drawings.begin(), o.drawings.end(), "-") != o.drawings.end();
  if (from_stdin && !o.thumbnail && !o.info && !o.output && !o.output_dir) {
    parser.Fail("- reads the drawing from standard input; name its output with -o or -d");
    return std::nullopt;
  }
  if (o.json && o.dry_run) {
    parser.Fail("--json goes with --info or a conversion, not with --dry-run");
    return std::nullopt;
  }
  if (o.force && o.skip_existing) {
    parser.Fail("-f and -n exclude each other");
    return std::nullopt;
  }
  if (o.thumbnail) {
    if (o.drawings.size() != 2) {
      parser.Fail(
          "--thumbnail SIZE takes one drawing and one output: --thumbnail SIZE INPUT OUTPUT");
      return std::nullopt;
    }
    if (o.info || o.dry_run || o.output || o.output_dir || o.split != SplitBy::kNone ||
        o.recursive) {
      parser.Fail("--thumbnail takes no -o, -d, -r, --split, --info or --dry-run");
      return std::nullopt;
    }
    return o;
  }
  if (o.output && *o.output == "-" && (o.json || o.split != SplitBy::kNone)) {
    parser.Fail(
        "-o - writes the image alone to standard output; it does not go with --json or --split");
    return std::nullopt;
  }
  if (o.output && *o.output != "-" && HasExtension(*o.output) && o.format) {
    const auto named = FormatFromName(*o.output);
    if (named && *named != *o.format) {
      parser.Fail("-o " + *o.output + " names another format than --format " +
                  std::string(FormatName(*o.format)));
      return std::nullopt;
    }
  }
  const ImageFormat format = ChosenFormat(o);
  if (o.vector == true && !IsVectorFormat(format)) {
    parser.Fail("--vector writes PDF, SVG or DXF; " + std::string(FormatName(format)) +
                " files are images (give --format pdf, svg or dxf)");
    return std::nullopt;
  }
  if (o.vector == false && !IsRasterFormat(format)) {
    parser.Fail("--raster writes images; " + std::string(FormatName(format)) +
                " files are vector documents only (give --format pdf, png, tiff or bmp)");
    return std::nullopt;
  }
  if (o.keep_hidden && !WritesVector(o)) {
    parser.Fail("--keep-hidden goes with vector output (PDF, SVG, DXF)");
    return std::nullopt;
  }
  if (o.split != SplitBy::kNone && (o.info || o.dry_run)) {
    parser.Fail("--split goes with a conversion");
    return std::nullopt;
  }
  if (o.info && o.dry_run) {
    parser.Fail("--info and --dry-run exclude each other");
    return std::nullopt;
  }
  if (o.output && (o.info || o.dry_run)) {
    parser.Fail(std::string("-o names a converted file; it does not go with ") +
                (o.info ? "--info" : "--dry-run (use -d to plan outputs in a folder)"));
    return std::nullopt;
  }
  if (o.output && o.output_dir) {
    parser.Fail("-o and -d exclude each other");
    return std::nullopt;
  }
  if (o.output && (o.drawings.size() > 1 || (o.recursive && *o.output == "-"))) {
    parser.Fail("-o names the output of one drawing; use -d for several");
    return std::nullopt;
  }
  return o;
}

ImageFormat ChosenFormat(const ConvertOptions& options) {
  if (options.output && *options.output != "-") {
    if (const auto named = FormatFromName(*options.output)) return *named;
  }
  return options.format.value_or(ImageFormat::kBmp);
}

bool WritesVector(const ConvertOptions& options) {
  const ImageFormat format = ChosenFormat(options);
  return IsVectorFormat(format) && (!IsRasterFormat(format) || options.vector.value_or(true));
}

std::optional<Settings> EffectiveSettings(const ConvertOptions& options, Settings base,
                                          std::string* error) {
  auto fail = [&](std::string message) -> std::optional<Settings> {
    if (error != nullptr) *error = std::move(message);
    return std::nullopt;
  };
  for (const std::string& assignment : options.assignments) {
    std::string why;
    if (!ApplySettingAssignment(base, assignment, &why))
      return fail("--set " + assignment + ": " + why);
  }
  if (options.dpi) base.dpi = *options.dpi;
  if (options.depth) base.ColorMode = *options.depth;
  if (base.dpi < kMinDpi || base.dpi > kMaxDpi) {
    return fail("the resolution " + std::to_string(base.dpi) +
                " dpi is outside 1..600; give --dpi or --set dpi=N");
  }
  if (!IsColorModeBits(base.ColorMode)) {
    return fail("the colour depth " + std::to_string(base.ColorMode) + " is not 1, 4, 8, 16 or 24");
  }
  return base;
}

void ApplyVisibility(const ConvertOptions& options, std::array<std::uint8_t, 256>& layers,
                     std::array<std::uint8_t, 16>& groups) {
  if (options.show_all) {
    layers.fill(1);
    groups.fill(1);
  }
  for (const VisibilityChange& c : options.visibility) {
    const std::uint8_t state = c.show ? 1 : 0;
    for (int g = 0; g < 16; ++g) {
      if (c.group >= 0 && g != c.group) continue;
      const auto gi = static_cast<std::size_t>(g);
      // A whole group sets the group and every layer of it, so that "--hide '*'
      // --show 2-3" leaves layer 2-3 alone; a shown layer needs its group shown.
      if (c.layer < 0) {
        groups[gi] = state;
        std::fill_n(layers.begin() + static_cast<std::ptrdiff_t>(gi * 16), 16, state);
      } else {
        layers[gi * 16 + static_cast<std::size_t>(c.layer)] = state;
        if (c.show) groups[gi] = 1;
      }
    }
  }
}

const char* UsageText() {
  return "Usage: pelmora-convert [OPTIONS] DRAWING.jwc|FOLDER|-...\n"
         "       pelmora-convert --thumbnail SIZE DRAWING.jwc OUTPUT.png\n"
         "Converts JW_CAD drawings to BMP, PNG, TIFF or PDF files, as the window's save command\n"
         "does, and to vector documents: PDF, SVG and DXF.\n"
         "\n"
         "  -o, --output FILE      output file (one drawing only; - = standard output); default:\n"
         "                         the drawing's name with the format's extension, next to it\n"
         "  -d, --output-dir DIR   folder for the outputs (with -r the input tree is mirrored\n"
         "                         below it)\n"
         "      --format F         bmp (default), png, tiff, pdf, svg, dxf; otherwise taken from\n"
         "                         -o's extension; bmp, png and tiff are images, svg and dxf\n"
         "                         vector documents, pdf a vector document unless --raster\n"
         "      --vector, --raster PDF as a vector document (the default) or as one image\n"
         "      --keep-hidden      vector: hidden layers written too, switched off\n"
         "      --outline-text     SVG: texts as glyph outlines (exact without the fonts)\n"
         "      --dxf-utf8         DXF: an R2007 file in UTF-8 (the default)\n"
         "      --dxf-shift-jis    DXF: an R2000 file in Shift-JIS (code page 932)\n"
         "      --dpi N            resolution, 1..600\n"
         "      --depth B          colour depth: 1, 4, 8, 16 or 24\n"
         "      --paper NAME       region: whole (default), A0, A1, A2, A3, A4 (landscape),\n"
         "                         A1P, A2P, A3P, A4P (portrait); placed at the paper's top-left\n"
         "      --size WxH         region of W x H millimetres at the paper's top-left\n"
         "      --box X1,Y1,X2,Y2  region in preview pixels, as the window stores it\n"
         "      --set NAME=VALUE   any stored setting, by its stored name and string form\n"
         "                         (e.g. --set Color1=255 --set usePalette=1 --set WriteDPI=0);\n"
         "                         --dpi and --depth are applied after every --set; the\n"
         "                         names, types and defaults are listed in pelmora-convert(1)\n"
         "      --defaults         start from the built-in defaults, not the saved settings\n"
         "      --show-all         draw every layer and group, ignoring the drawing's view states\n"
         "      --show LAYERS, --hide LAYERS\n"
         "                         layers to draw or not, after the view states and --show-all,\n"
         "                         in order; LAYERS is a comma list of G-L (group and layer, one\n"
         "                         hexadecimal digit each, as --info prints them), G-* (a whole\n"
         "                         group) and * (everything); showing a layer shows its group\n"
         "      --split groups|layers\n"
         "                         one output per group or layer holding visible entities,\n"
         "                         named NAME.gG.EXT or NAME.gG-L.EXT\n"
         "  -r, --recursive        walk folders given as input (sorted; every .jwc in any case;\n"
         "                         links to folders are not followed)\n"
         "  -j, --jobs N           drawings converted at once (default 1; 0 = one per core);\n"
         "                         the outputs are the same as with -j 1\n"
         "      --threads N        render threads per drawing (default: the cores divided by\n"
         "                         --jobs, at least 1, so that -j and --threads share the cores;\n"
         "                         an image under 16 MiB is drawn on one thread)\n"
         "      --compression fast|default|best\n"
         "                         PNG, TIFF and PDF effort: default keeps close to BMP's\n"
         "                         time, fast uses the least CPU, best makes the smallest file\n"
         "                         at any cost; the pixels, and the bytes for any -j or\n"
         "                         --threads, are the same\n"
         "  -n, --skip-existing    leave existing outputs alone (counted as skipped)\n"
         "      --thumbnail SIZE   a PNG of the whole paper fitting SIZE x SIZE pixels, black on\n"
         "                         white (for a file manager's thumbnailer)\n"
         "      --info             print the drawing's summary instead of converting\n"
         "      --json             with --info: the summary, one JSON object per drawing and "
         "line;\n"
         "                         with a conversion: a report per drawing\n"
         "      --dry-run          print each image's size, file size and memory (\"vector\" for\n"
         "                         vector documents); write nothing\n"
         "  -f, --force            replace existing output files\n"
         "  -q, --quiet            no progress bar and no line per converted drawing\n"
         "  -h, --help             show this help\n"
         "      --version          show the version\n"
         "\n"
         "A DRAWING given as - is read from standard input; its output is named by -o or\n"
         "-d (with -d it is stdin.EXT).\n"
         "The saved settings are read, never written. A batch of several drawings ends with a\n"
         "line on standard error: converted, failed and skipped drawings and the time taken.\n"
         "Exit status: 0 all converted (or skipped), 1 at least one drawing failed (the others\n"
         "are still converted), 2 bad command line.\n";
}

}  // namespace pelmora
