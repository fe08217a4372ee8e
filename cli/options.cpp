#include "cli/options.h"

#include <string_view>

#include "settings/settings_fields.h"

namespace pelmora {

namespace {

constexpr int kMinDpi = 1;
constexpr int kMaxDpi = 600;

// Options that take a value, by every spelling.
enum class Valued { kNone, kOutput, kOutputDir, kDpi, kDepth, kPaper, kSize, kBox, kSet };

Valued ValuedOption(std::string_view name) {
  if (name == "-o" || name == "--output") return Valued::kOutput;
  if (name == "-d" || name == "--output-dir") return Valued::kOutputDir;
  if (name == "--dpi") return Valued::kDpi;
  if (name == "--depth") return Valued::kDepth;
  if (name == "--paper") return Valued::kPaper;
  if (name == "--size") return Valued::kSize;
  if (name == "--box") return Valued::kBox;
  if (name == "--set") return Valued::kSet;
  return Valued::kNone;
}

// Sets the flag `name` names; false when it is no flag.
bool SetFlag(ConvertOptions& o, std::string_view name) {
  if (name == "--defaults")
    o.defaults = true;
  else if (name == "--show-all")
    o.show_all = true;
  else if (name == "--info")
    o.info = true;
  else if (name == "--json")
    o.json = true;
  else if (name == "--dry-run")
    o.dry_run = true;
  else if (name == "-f" || name == "--force")
    o.force = true;
  else if (name == "-q" || name == "--quiet")
    o.quiet = true;
  else if (name == "-h" || name == "--help")
    o.help = true;
  else if (name == "--version")
    o.version = true;
  else
    return false;
  return true;
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

  bool Value(ConvertOptions& o, Valued which, std::string_view name, std::string_view value) {
    switch (which) {
      case Valued::kOutput:
        if (value.empty()) return Fail(std::string(name) + " needs a file name");
        o.output = std::string(value);
        return true;
      case Valued::kOutputDir:
        if (value.empty()) return Fail(std::string(name) + " needs a folder");
        o.output_dir = std::string(value);
        return true;
      case Valued::kDpi: {
        const auto dpi = ParseStoredInteger(value);
        if (!dpi || *dpi < kMinDpi || *dpi > kMaxDpi) {
          return Fail("--dpi takes a whole number from 1 to 600, not '" + std::string(value) + "'");
        }
        o.dpi = *dpi;
        return true;
      }
      case Valued::kDepth: {
        const auto depth = ParseStoredInteger(value);
        if (!depth || !IsColorModeBits(*depth)) {
          return Fail("--depth takes 1, 4, 8, 16 or 24, not '" + std::string(value) + "'");
        }
        o.depth = *depth;
        return true;
      }
      case Valued::kPaper:
        return Paper(o, value);
      case Valued::kSize:
        return Size(o, value);
      case Valued::kBox:
        return Box(o, value);
      case Valued::kSet: {
        Settings scratch;
        std::string why;
        if (!ApplySettingAssignment(scratch, value, &why)) {
          return Fail("--set " + std::string(value) + ": " + why);
        }
        o.assignments.emplace_back(value);
        return true;
      }
      case Valued::kNone:
        break;
    }
    return Fail("internal: no value expected for " + std::string(name));
  }

  bool Fail(std::string message) {
    if (m_error != nullptr) *m_error = std::move(message);
    return false;
  }

 private:
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
  bool options_done = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    if (options_done || arg.size() < 2 || arg[0] != '-') {
      o.drawings.emplace_back(arg);
      continue;
    }
    if (arg == "--") {
      options_done = true;
      continue;
    }
    if (arg.starts_with("--")) {
      // --name or --name=value
      const std::size_t eq = arg.find('=');
      const std::string_view name = arg.substr(0, eq);
      const Valued which = ValuedOption(name);
      if (which == Valued::kNone) {
        if (!SetFlag(o, name)) {
          parser.Fail("unknown option '" + std::string(name) + "'");
          return std::nullopt;
        }
        if (eq != std::string_view::npos) {
          parser.Fail(std::string(name) + " takes no value");
          return std::nullopt;
        }
        continue;
      }
      std::string_view value;
      if (eq != std::string_view::npos) {
        value = arg.substr(eq + 1);
      } else if (i + 1 < args.size()) {
        value = args[++i];
      } else {
        parser.Fail(std::string(name) + " needs a value");
        return std::nullopt;
      }
      if (!parser.Value(o, which, name, value)) return std::nullopt;
      continue;
    }
    // Short options: flags may be grouped (-fq); -o and -d take the rest of the
    // word or the next argument.
    for (std::size_t k = 1; k < arg.size(); ++k) {
      const std::string name = std::string("-") + arg[k];
      const Valued which = ValuedOption(name);
      if (which == Valued::kNone) {
        if (!SetFlag(o, name)) {
          parser.Fail("unknown option '" + name + "'");
          return std::nullopt;
        }
        continue;
      }
      std::string_view value = arg.substr(k + 1);
      if (value.empty()) {
        if (i + 1 >= args.size()) {
          parser.Fail(name + " needs a value");
          return std::nullopt;
        }
        value = args[++i];
      }
      if (!parser.Value(o, which, name, value)) return std::nullopt;
      break;
    }
  }
  if (o.help || o.version) return o;
  if (o.drawings.empty()) {
    parser.Fail("no drawing given");
    return std::nullopt;
  }
  if (o.json && !o.info) {
    parser.Fail("--json goes with --info");
    return std::nullopt;
  }
  if (o.info && o.dry_run) {
    parser.Fail("--info and --dry-run exclude each other");
    return std::nullopt;
  }
  if (o.output && o.output_dir) {
    parser.Fail("-o and -d exclude each other");
    return std::nullopt;
  }
  if (o.output && o.drawings.size() > 1) {
    parser.Fail("-o names the output of one drawing; use -d for several");
    return std::nullopt;
  }
  return o;
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

const char* UsageText() {
  return "Usage: pelmora-convert [OPTIONS] DRAWING.jwc...\n"
         "Converts JW_CAD drawings to Windows bitmap files, as the window's BMP command does.\n"
         "\n"
         "  -o, --output FILE      output file (one drawing only); default: the drawing's\n"
         "                         name with .bmp, next to the drawing\n"
         "  -d, --output-dir DIR   folder for the outputs of several drawings\n"
         "      --dpi N            resolution, 1..600\n"
         "      --depth B          colour depth: 1, 4, 8, 16 or 24\n"
         "      --paper NAME       region: whole (default), A0, A1, A2, A3, A4 (landscape),\n"
         "                         A1P, A2P, A3P, A4P (portrait); placed at the paper's top-left\n"
         "      --size WxH         region of W x H millimetres at the paper's top-left\n"
         "      --box X1,Y1,X2,Y2  region in preview pixels, as the window stores it\n"
         "      --set NAME=VALUE   any stored setting, by its stored name and string form\n"
         "                         (e.g. --set Color1=255 --set usePalette=1 --set WriteDPI=0);\n"
         "                         --dpi and --depth are applied after every --set\n"
         "      --defaults         start from the built-in defaults, not the saved settings\n"
         "      --show-all         draw every layer and group, ignoring the drawing's view states\n"
         "      --info             print the drawing's summary instead of converting\n"
         "      --json             with --info: one JSON object per drawing and line\n"
         "      --dry-run          print each image's size, file size and memory; write nothing\n"
         "  -f, --force            replace existing output files\n"
         "  -q, --quiet            no progress bar and no line per converted drawing\n"
         "  -h, --help             show this help\n"
         "      --version          show the version\n"
         "\n"
         "The saved settings are read, never written. Exit status: 0 all converted,\n"
         "1 at least one drawing failed (the others are still converted), 2 bad command line.\n";
}

}  // namespace pelmora
