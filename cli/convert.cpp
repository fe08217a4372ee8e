#include "cli/convert.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cctype>
#include <cerrno>
#include <cinttypes>
#include <cmath>
#include <exception>
#include <set>
#include <system_error>

#include "drawing/summary.h"
#include "output/bmp_writer.h"
#include "platform/fonts/font_rasterizer.h"
#include "platform/fonts/shift_jis.h"
#include "render/draw_image.h"
#include "render/summary_format.h"

namespace pelmora {

namespace fs = std::filesystem;

namespace {

constexpr int kBarWidth = 30;  // characters between the brackets

// Bytes in plain digits and binary units: "26099574 bytes (24.9 MiB)".
std::string FormatBytes(std::uint64_t bytes) {
  static constexpr const char* kUnits[] = {"KiB", "MiB", "GiB", "TiB"};
  char text[96];
  if (bytes < 1024) {
    std::snprintf(text, sizeof text, "%" PRIu64 " bytes", bytes);
    return text;
  }
  long double value = static_cast<long double>(bytes) / 1024;
  std::size_t unit = 0;
  while (value >= 1024 && unit + 1 < std::size(kUnits)) {
    value /= 1024;
    ++unit;
  }
  std::snprintf(text, sizeof text, "%" PRIu64 " bytes (%.1Lf %s)", bytes, value, kUnits[unit]);
  return text;
}

// One key for every spelling of a file: absolute, "." and ".." resolved, and
// symbolic links followed as far as the path exists. A folder that does not
// exist yet is resolved from the current folder like any other.
fs::path SameFileKey(const fs::path& file) {
  std::error_code ec;
  const fs::path absolute = fs::absolute(file, ec);
  if (ec) return file.lexically_normal();
  const fs::path key = fs::weakly_canonical(absolute, ec);
  return ec ? absolute.lexically_normal() : key;
}

// The encoders this converter has: an output name must end in .bmp (any case)
// or have no extension, which is written as BMP.
bool KnownFormat(const fs::path& output) {
  const std::string extension = output.extension().string();
  if (extension.empty()) return true;
  std::string lower = extension;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower == ".bmp";
}

// A drawing's bytes and date, read through one descriptor.
struct DrawingFile {
  std::vector<std::byte> bytes;
  std::time_t modified = 0;
};

std::string FileKind(mode_t mode) {
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISFIFO(mode)) return "a named pipe";
  if (S_ISSOCK(mode)) return "a socket";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
  return "not a regular file";
}

// Opens with O_NONBLOCK so that a FIFO never waits for a writer, then refuses
// anything fstat does not call a regular file.
bool ReadDrawingFile(const std::string& drawing, DrawingFile* file, std::string* error) {
  const int fd = ::open(drawing.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    *error = std::generic_category().message(errno);
    return false;
  }
  struct stat info {};
  bool ok = ::fstat(fd, &info) == 0;
  if (!ok) {
    *error = "cannot query the file: " + std::generic_category().message(errno);
  } else if (!S_ISREG(info.st_mode)) {
    *error = "not a regular file (" + FileKind(info.st_mode) + "); only drawing files are read";
    ok = false;
  } else {
    file->modified = info.st_mtim.tv_sec;
    file->bytes.resize(static_cast<std::size_t>(info.st_size));
    std::size_t done = 0;
    while (ok && done < file->bytes.size()) {
      const ssize_t got = ::read(fd, file->bytes.data() + done, file->bytes.size() - done);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) {
        *error = got < 0 ? "cannot read the file: " + std::generic_category().message(errno)
                         : "the file became shorter while it was read";
        ok = false;
      } else {
        done += static_cast<std::size_t>(got);
      }
    }
  }
  ::close(fd);
  return ok;
}

// A one-line bar on a terminal: "plan.jwc [#######.......]  25%".
class ProgressBar {
 public:
  ProgressBar(std::FILE* stream, bool enabled, std::string label)
      : m_stream(stream), m_enabled(enabled), m_label(std::move(label)) {
    if (m_label.size() > 40) m_label = "..." + m_label.substr(m_label.size() - 37);
  }
  ~ProgressBar() { Clear(); }
  ProgressBar(const ProgressBar&) = delete;
  ProgressBar& operator=(const ProgressBar&) = delete;

  void Update(std::int64_t position, std::int64_t total) {
    if (!m_enabled) return;
    if (position <= 0 || total <= 0) return;  // the render's clears: keep the bar until done
    const int percent = static_cast<int>(std::min<std::int64_t>(100, position * 100 / total));
    if (percent == m_percent) return;
    m_percent = percent;
    const int filled = percent * kBarWidth / 100;
    std::fprintf(m_stream, "\r%s [%s%s] %3d%%", m_label.c_str(), std::string(filled, '#').c_str(),
                 std::string(kBarWidth - filled, '.').c_str(), percent);
    std::fflush(m_stream);
    m_shown = true;
  }
  void Say(const std::string& text) {
    if (!m_enabled) return;
    std::fprintf(m_stream, "\r%s %s\033[K", m_label.c_str(), text.c_str());
    std::fflush(m_stream);
    m_shown = true;
  }
  void Clear() {
    if (!m_shown) return;
    std::fputs("\r\033[K", m_stream);
    std::fflush(m_stream);
    m_shown = false;
    m_percent = -1;
  }

 private:
  std::FILE* m_stream;
  bool m_enabled;
  std::string m_label;
  int m_percent = -1;
  bool m_shown = false;
};

// One drawing loaded and planned: what --dry-run prints and a conversion renders.
struct Plan {
  Tjwcin reader;
  std::uintmax_t drawing_bytes = 0;
  DrawingPaper paper;
  SelectionBox box;
  OutputGeometry geometry;
  RenderCost cost;
  fs::path output;
  bool create_folder = false;  // the -d folder does not exist yet
};

class Converter {
 public:
  Converter(const ConvertOptions& options, const Settings& settings, const ConvertStreams& streams)
      : m_options(options), m_settings(settings), m_streams(streams) {}

  int Run() {
    bool all_done = true;
    for (std::size_t i = 0; i < m_options.drawings.size(); ++i) {
      const std::string& drawing = m_options.drawings[i];
      std::string error;
      bool done = false;
      try {
        if (m_options.info) {
          if (i > 0 && !m_options.json) std::fputs("\n", m_streams.out);
          done = Info(drawing, &error);
        } else {
          done = Convert(drawing, &error);
        }
      } catch (const std::exception& e) {
        error = e.what();
      }
      if (!done) {
        all_done = false;
        FlushOut();
        std::fprintf(m_streams.err, "pelmora-convert: %s: %s\n", drawing.c_str(), error.c_str());
        std::fflush(m_streams.err);
      }
    }
    FlushOut();
    if (!OutputWritten(m_streams, m_out_error)) return 1;
    return all_done ? 0 : 1;
  }

 private:
  // Reads the drawing through one descriptor opened without blocking, so a named
  // pipe or a device is refused instead of waited on; tests the signature (as
  // the window's open command does) and loads.
  bool Load(const std::string& drawing, Tjwcin& reader, DrawingFile* file, std::string* error) {
    if (!ReadDrawingFile(drawing, file, error)) return false;
    if (!JwcHasSignature(file->bytes)) {
      *error = "not a JW_CAD drawing (JW_CADのファイルではありません。)";
      return false;
    }
    if (reader.JwcLoadBytes(file->bytes) != 0) {
      *error = "cannot read the drawing: " + reader.LastError();
      return false;
    }
    return true;
  }

  bool Prepare(const std::string& drawing, Plan& plan, std::string* error) {
    DrawingFile file;
    if (!Load(drawing, plan.reader, &file, error)) return false;
    plan.drawing_bytes = file.bytes.size();
    const auto paper = PaperOf(plan.reader, error);
    if (!paper) return false;
    plan.paper = *paper;
    plan.box = RegionBox(m_options.region, plan.paper);
    plan.geometry = ComputeOutputGeometry(plan.box, plan.paper.pixels_per_mm, m_settings.dpi,
                                          plan.paper.window_width);
    if (!plan.geometry.valid) {
      *error = "the region " + BoxText(plan.box) + " at " + std::to_string(m_settings.dpi) +
               " dpi is too large to place";
      return false;
    }
    if (!plan.geometry.Renderable()) {
      *error = "the region " + BoxText(plan.box) + " is " + std::to_string(plan.geometry.Wmm) +
               " x " + std::to_string(plan.geometry.Hmm) + " mm, " +
               std::to_string(plan.geometry.width) + " x " + std::to_string(plan.geometry.height) +
               " pixels: it must be at least half a millimetre and one pixel each way";
      return false;
    }
    plan.cost = ComputeRenderCost(plan.geometry.width, plan.geometry.height, m_settings.ColorMode);
    if (!plan.cost.valid || !plan.cost.fits_file) {
      *error = "the image of " + std::to_string(plan.geometry.width) + " x " +
               std::to_string(plan.geometry.height) + " pixels would make a file of " +
               FormatBytes(plan.cost.file_bytes) + ", beyond the 4 GiB a BMP file can hold";
      return false;
    }
    plan.output = OutputPathFor(drawing, m_options);
    return CheckOutput(drawing, plan.output, &plan.create_folder, error);
  }

  // Refuses outputs that would destroy something: an existing file without -f,
  // the drawing itself, or the output of an earlier drawing of this run. A
  // missing -d folder is made when the first file is written into it.
  bool CheckOutput(const fs::path& drawing, const fs::path& output, bool* create_folder,
                   std::string* error) {
    std::error_code ec;
    const fs::path same = SameFileKey(output);
    if (same == SameFileKey(drawing)) {
      *error = "the output " + output.string() + " is the drawing itself";
      return false;
    }
    if (!KnownFormat(output)) {
      *error = "the output " + output.string() + " has the extension '" +
               output.extension().string() + "'; only .bmp files are written";
      return false;
    }
    if (m_outputs.count(same) != 0) {
      *error = "the output " + output.string() + " is also the output of an earlier drawing";
      return false;
    }
    const fs::path folder = output.has_parent_path() ? output.parent_path() : fs::path(".");
    *create_folder = false;
    if (!fs::is_directory(folder, ec)) {
      if (!m_options.output_dir || fs::exists(fs::symlink_status(folder, ec))) {
        *error = "the folder " + folder.string() + " does not exist";
        return false;
      }
      *create_folder = true;
    }
    if (fs::is_directory(output, ec)) {
      *error = "the output " + output.string() + " is a folder";
      return false;
    }
    if (!m_options.force && fs::exists(fs::symlink_status(output, ec))) {
      *error = output.string() + " exists; use -f to replace it";
      return false;
    }
    m_outputs.insert(same);
    return true;
  }

  bool Convert(const std::string& drawing, std::string* error) {
    auto plan = std::make_unique<Plan>();
    if (!Prepare(drawing, *plan, error)) return false;
    const OutputGeometry& g = plan->geometry;
    if (m_options.dry_run) {
      // Memory: the image in its final format, the writer's buffer and the drawing.
      std::fprintf(m_streams.out,
                   "%s: %d x %d px, %d x %d mm at %d dpi, %d bit -> %s: file %s, memory %s%s\n",
                   drawing.c_str(), g.width, g.height, g.Wmm, g.Hmm, m_settings.dpi,
                   m_settings.ColorMode, plan->output.c_str(),
                   FormatBytes(plan->cost.file_bytes).c_str(),
                   FormatBytes(plan->cost.memory_bytes + plan->drawing_bytes).c_str(),
                   plan->create_folder ? " (the folder will be created)" : "");
      return true;
    }

    std::array<std::uint8_t, 256> layers{};
    std::array<std::uint8_t, 16> groups{};
    for (int l = 0; l < 256; ++l) {
      layers[static_cast<std::size_t>(l)] = m_options.show_all || plan->reader.JwcViewLayer(l) == 1;
    }
    for (int g16 = 0; g16 < 16; ++g16) {
      groups[static_cast<std::size_t>(g16)] =
          m_options.show_all || plan->reader.JwcViewGroupe(g16) == 1;
    }

    ProgressBar bar(m_streams.err, m_streams.progress_bar, fs::path(drawing).filename().string());
    const fs::path output = plan->output;
    const bool create_folder = plan->create_folder;
    RenderContext context;
    context.reader = &plan->reader;
    context.settings = &m_settings;
    context.LayerVisible = &layers;
    context.GroupVisible = &groups;
    context.PixelsPerMm = plan->paper.pixels_per_mm;
    context.progress = [&bar](std::int64_t position, std::int64_t total) {
      bar.Update(position, total);
    };
    context.delivery = [&](const Bitmap& image, std::string* why) {
      // The file may have appeared while the drawing was rendered.
      std::error_code ec;
      if (!m_options.force && fs::exists(fs::symlink_status(output, ec))) {
        *why = output.string() + " exists; use -f to replace it";
        return false;
      }
      if (create_folder) {
        fs::create_directories(output.parent_path(), ec);
        if (ec) {
          *why = "cannot create the folder " + output.parent_path().string() + ": " + ec.message();
          return false;
        }
      }
      bar.Say("writing " + output.string());
      const BmpWriteResult result = WriteBmpFile(image, m_settings.dpi, output.string());
      bar.Clear();
      if (!result.ok()) *why = result.reason + " (" + result.Message() + ")";
      return result.ok();
    };
    std::string why;
    context.error = &why;
    const int done =
        DrawImage(context, g.width, g.height, g.originX, g.originY, g.scale, kRenderFile);
    bar.Clear();
    if (done != 1) {
      *error = why;
      return false;
    }
    if (!m_options.quiet) {
      std::fprintf(m_streams.out, "%s -> %s (%d x %d px, %d bit, %d dpi)\n", drawing.c_str(),
                   output.c_str(), g.width, g.height, m_settings.ColorMode, m_settings.dpi);
      FlushOut();
    }
    return true;
  }

  bool Info(const std::string& drawing, std::string* error) {
    Tjwcin reader;
    DrawingFile file;
    if (!Load(drawing, reader, &file, error)) return false;
    const DrawingSummary summary =
        SummarizeDrawing(reader, fs::path(drawing).filename().string(), file.modified);
    const FontReport font = Fonts(reader);
    if (m_options.json) {
      Json json = SummaryJson(summary);
      Json substitutions = Json::array();
      for (const FontSubstitution& s : font.substitutions) {
        substitutions.push_back(
            {{"requested", s.requested},
             {"used", s.used},
             {"kind",
              s.kind == FontSubstitution::Kind::kReplaced ? "replaced" : "missing_characters"}});
      }
      json["font"] = {{"name", m_settings.FontName},
                      {"drawn_with", font.family},
                      {"substitutions", std::move(substitutions)}};
      std::fputs((JsonLine(json) + "\n").c_str(), m_streams.out);
    } else {
      std::string text = SummaryText(summary);
      text += "Font:         " + m_settings.FontName + " -> " +
              (font.family.empty() ? std::string("(no font installed)") : font.family) + "\n";
      for (const FontSubstitution& s : font.substitutions) {
        if (s.kind == FontSubstitution::Kind::kReplaced) {
          text += "  " + s.requested + " is not installed: texts are drawn with " + s.used + "\n";
        } else {
          text += "  characters " + s.requested + " lacks are drawn with " + s.used + "\n";
        }
      }
      std::fputs(text.c_str(), m_streams.out);
    }
    return true;
  }

  struct FontReport {
    std::string family;
    std::vector<FontSubstitution> substitutions;
  };

  // The family FontName draws with, and what the drawing's texts need of other
  // families: each text is laid through the rasterizer on a 1 × 1 image, which
  // looks up every character and records each stand-in.
  FontReport Fonts(const Tjwcin& reader) {
    FontRasterizer& rasterizer = DefaultTextRasterizer();
    const std::string face = FontFaceBytes(m_settings.FontName);
    FontReport report;
    report.family = rasterizer.FamilyFor(face);
    rasterizer.ClearSubstitutions();
    auto image = Bitmap::Create(1, 1, 24);
    Canvas canvas(*image);
    canvas.SetTextRasterizer(&rasterizer);
    LogFont font;
    font.height = -12;
    font.face_name = face;
    canvas.SetFont(font);
    canvas.TextOut(0, 0, "0");  // the face itself, even without texts
    TJwcText text;
    for (std::int32_t i = 0; i < reader.JwcTextCount(); ++i) {
      reader.JwcTextData(i, text);
      canvas.TextOut(0, 0, text.Text);
    }
    report.substitutions = rasterizer.Substitutions();
    rasterizer.ClearSubstitutions();
    return report;
  }

  static std::string BoxText(const SelectionBox& b) {
    char text[80];
    std::snprintf(text, sizeof text, "(%d, %d)-(%d, %d)", b.x1, b.y1, b.x2, b.y2);
    return text;
  }

  // Flushes streams.out and keeps the reason of its first failure for the end.
  void FlushOut() {
    errno = 0;
    if (std::fflush(m_streams.out) != 0 && m_out_error == 0) m_out_error = errno != 0 ? errno : EIO;
  }

  const ConvertOptions& m_options;
  const Settings& m_settings;
  const ConvertStreams& m_streams;
  int m_out_error = 0;  // errno of the first failed write to streams.out
  std::set<fs::path> m_outputs;
};

}  // namespace

fs::path OutputPathFor(const fs::path& drawing, const ConvertOptions& options) {
  if (options.output) return fs::path(*options.output);
  fs::path name = drawing.filename();
  name.replace_extension(".bmp");
  if (options.output_dir) return fs::path(*options.output_dir) / name;
  return drawing.parent_path() / name;
}

std::optional<DrawingPaper> PaperOf(const Tjwcin& reader, std::string* error) {
  const auto paper = PaperForCode(reader.JwcPaperSize());
  if (!paper) {
    if (error != nullptr) {
      *error = "the paper code " + std::to_string(reader.JwcPaperSize()) +
               " is not one of 0..4 (A0..A4), so the paper's size is unknown";
    }
    return std::nullopt;
  }
  if (reader.JwcWindowWidth() <= 0) {
    if (error != nullptr) {
      *error = "the paper is " + std::to_string(reader.JwcWindowWidth()) +
               " drawing units wide; nothing can be placed on it";
    }
    return std::nullopt;
  }
  DrawingPaper result;
  result.paper = *paper;
  result.window_width = reader.JwcWindowWidth();
  result.pixels_per_mm =
      static_cast<float>(static_cast<long double>(result.window_width) / paper->width_mm);
  return result;
}

SelectionBox RegionBox(const RegionChoice& region, const DrawingPaper& paper) {
  auto preview_pixels = [&](int mm) {
    const long double pixels = std::nearbyint(static_cast<long double>(mm) * paper.pixels_per_mm);
    return static_cast<int>(std::clamp<long double>(pixels, -2147483648.0L, 2147483647.0L));
  };
  switch (region.kind) {
    case RegionChoice::Kind::kBox:
      return region.box;
    case RegionChoice::Kind::kSize:
      return {0, 0, preview_pixels(region.width_mm), preview_pixels(region.height_mm)};
    case RegionChoice::Kind::kWhole:
      break;
  }
  return {0, 0, preview_pixels(paper.paper.width_mm), preview_pixels(paper.paper.height_mm)};
}

bool OutputWritten(const ConvertStreams& streams, int earlier_error) {
  errno = 0;
  const bool flushed = std::fflush(streams.out) == 0;
  if (flushed && std::ferror(streams.out) == 0) return true;
  const int why = earlier_error != 0 ? earlier_error : errno;
  std::fprintf(streams.err, "pelmora-convert: cannot write to standard output: %s\n",
               why != 0 ? std::generic_category().message(why).c_str() : "write error");
  std::fflush(streams.err);
  return false;
}

int RunConverter(const ConvertOptions& options, const Settings& settings,
                 const ConvertStreams& streams) {
  return Converter(options, settings, streams).Run();
}

}  // namespace pelmora
