#include "cli/convert.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <exception>
#include <map>
#include <set>
#include <system_error>
#include <thread>

#include "drawing/printf.h"
#include "drawing/summary.h"
#include "output/file_encoder.h"
#include "output/image_format.h"
#include "platform/fonts/font_rasterizer.h"
#include "platform/fonts/shift_jis.h"
#include "render/draw_image.h"
#include "render/summary_format.h"
#include "render/vector_walk.h"
#include "vector/vector_file.h"

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

// A drawing's size and date, as its descriptor told them.
struct DrawingFile {
  std::uint64_t size = 0;
  std::time_t modified = 0;
};

// A file manager runs the thumbnailer on whatever lands in a folder; DOS-era
// drawings are a few MB at most, so anything beyond this is refused unread.
constexpr std::uint64_t kThumbnailInputLimit = std::uint64_t{64} << 20;

std::string FileKind(mode_t mode) {
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISFIFO(mode)) return "a named pipe";
  if (S_ISSOCK(mode)) return "a socket";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
  return "not a regular file";
}

// Reads up to `size` bytes; fewer only at the end of the input.
ssize_t ReadFully(int fd, std::byte* data, std::size_t size, int* error) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t got = ::read(fd, data + done, size - done);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      *error = errno;
      return -1;
    }
    if (got == 0) break;
    done += static_cast<std::size_t>(got);
  }
  return static_cast<ssize_t>(done);
}

// `text` safe to print on a terminal, as `ls -b` shows names: control
// characters and bytes that are no UTF-8 escaped, so that a file name cannot
// drive the terminal.
std::string Shown(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  auto octal = [&](unsigned char byte) { out += Printf("\\%03o", unsigned{byte}); };
  for (std::size_t i = 0; i < text.size();) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte < 0x80) {
      if (byte >= 0x07 && byte <= 0x0D) {
        out += '\\';
        out += "abtnvfr"[byte - 0x07];
      } else if (byte < 0x20 || byte == 0x7F) {
        octal(byte);
      } else {
        out += static_cast<char>(byte);
      }
      ++i;
      continue;
    }
    // A whole UTF-8 sequence of a printable character, or each byte escaped.
    const std::size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC2 ? 2 : 0;
    bool valid = length > 0 && i + length <= text.size();
    std::uint32_t code = length == 2 ? byte & 0x1Fu : length == 3 ? byte & 0x0Fu : byte & 0x07u;
    for (std::size_t k = 1; valid && k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      valid = (next & 0xC0) == 0x80;
      code = (code << 6) | (next & 0x3Fu);
    }
    const std::uint32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    valid = valid && code >= smallest[length] && code <= 0x10FFFF &&
            !(code >= 0xD800 && code <= 0xDFFF) && !(code >= 0x80 && code <= 0x9F);
    if (valid) {
      out.append(text.substr(i, length));
      i += length;
    } else {
      octal(byte);
      ++i;
    }
  }
  return out;
}

const char kNoDrawing[] = "not a JW_CAD drawing (JW_CADのファイルではありません。)";

bool IsUtf8(std::string_view text) {
  try {
    (void)Json(std::string(text)).dump();  // strict: throws on a bad sequence
    return true;
  } catch (const Json::type_error&) {
    return false;
  }
}

std::string Base64(std::string_view bytes) {
  static constexpr char kDigits[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    std::uint32_t group = 0;
    const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
    for (std::size_t k = 0; k < 3; ++k) {
      group = (group << 8) | (k < n ? static_cast<unsigned char>(bytes[i + k]) : 0u);
    }
    for (std::size_t k = 0; k < 4; ++k) {
      out += k <= n ? kDigits[(group >> (18 - 6 * k)) & 0x3F] : '=';
    }
  }
  return out;
}

// JSON strings are UTF-8, file names any bytes: a name that is no UTF-8 keeps
// its readable field (bad bytes as U+FFFD) and gets KEY_base64 with its bytes.
void AddNameBytes(Json& object) {
  for (const char* key : {"file", "input", "output"}) {
    if (!object.contains(key) || !object[key].is_string()) continue;
    const std::string& name = object[key].get_ref<const std::string&>();
    if (!IsUtf8(name)) object[std::string(key) + "_base64"] = Base64(name);
  }
}

std::string NamedJsonLine(Json object) {
  AddNameBytes(object);
  return JsonLine(object);
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

// Makes the output's folder (a -d tree being mirrored) only when the first band
// is ready, so that a drawing refused before rendering leaves no folder.
class FolderMakingEncoder final : public ImageEncoder {
 public:
  FolderMakingEncoder(ImageEncoder& inner, fs::path folder, const bool* stop = nullptr)
      : m_inner(inner), m_folder(std::move(folder)), m_stop(stop) {}
  bool Begin(const ImageShape& shape, std::string* error) override {
    if (Stopped(error)) return false;
    std::error_code ec;
    if (!m_folder.empty()) fs::create_directories(m_folder, ec);
    if (ec) {
      *error = "cannot create the folder " + m_folder.string() + ": " + ec.message();
      return false;
    }
    return m_inner.Begin(shape, error);
  }
  bool WriteRows(int first_row, const Bitmap& rows, std::string* error) override {
    return !Stopped(error) && m_inner.WriteRows(first_row, rows, error);
  }
  bool Finish(std::string* error) override { return !Stopped(error) && m_inner.Finish(error); }

 private:
  bool Stopped(std::string* error) const {
    if (m_stop == nullptr || !*m_stop) return false;
    *error = "cancelled";
    return true;
  }

  ImageEncoder& m_inner;
  fs::path m_folder;
  const bool* m_stop;
};

// One drawing to do, as planned before any is done.
struct Job {
  std::string drawing;  // as given or as found below a given folder
  fs::path output;      // its output name (before --split's suffixes)
  bool found = false;   // found by -r: a file that is no drawing is skipped, not failed
  std::string refusal;  // decided while planning (an output taken by an earlier drawing)
};

enum class Outcome : int { kDone = 0, kFailed = 1, kSkipped = 2 };

// What one drawing printed and how it ended; printed in the drawings' order.
struct JobResult {
  Outcome outcome = Outcome::kFailed;
  std::string out;  // for streams.out
  std::string err;  // for streams.err
};

// One drawing loaded and planned: what --dry-run prints and a conversion renders.
struct Plan {
  Tjwcin reader;
  std::uintmax_t drawing_bytes = 0;
  DrawingPaper paper;
  SelectionBox box;
  OutputGeometry geometry;
  RenderCost cost;
};

// One output of a drawing: the whole visible drawing or, with --split, one
// group or layer of it.
struct Part {
  fs::path output;
  std::array<std::uint8_t, 256> layers{};
  std::array<std::uint8_t, 16> groups{};
};

bool LowerExtensionIs(const fs::path& file, std::string_view extension) {
  std::string lower = file.extension().string();
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower == extension;
}

// Entries of `folder` in byte order of their names, so that runs are reproducible.
std::vector<fs::directory_entry> SortedEntries(const fs::path& folder, std::string* error) {
  std::vector<fs::directory_entry> entries;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    entries.push_back(*it);
  }
  if (ec) *error = "cannot read the folder " + folder.string() + ": " + ec.message();
  std::sort(entries.begin(), entries.end(), [](const auto& x, const auto& y) {
    return x.path().filename().native() < y.path().filename().native();
  });
  return entries;
}

class Converter {
 public:
  Converter(const ConvertOptions& options, const Settings& settings, const ConvertStreams& streams)
      : m_options(options), m_settings(settings), m_streams(streams) {
    m_format = ChosenFormat();
    m_vector = WritesVector(m_options);
  }

  int Run() {
    if (m_options.thumbnail) {
      std::string error;
      if (Thumbnail(&error)) return 0;
      std::fprintf(m_streams.err, "pelmora-convert: %s\n",
                   Shown(m_options.drawings[0] + ": " + error).c_str());
      return 1;
    }
    const auto started = std::chrono::steady_clock::now();
    std::vector<Job> jobs;
    std::vector<JobResult> early;  // folders that could not be read
    if (!PlanJobs(&jobs, &early)) return 2;
    for (const JobResult& result : early) Emit(result);
    int counts[3] = {0, static_cast<int>(early.size()), 0};
    const bool batch = jobs.size() + early.size() > 1;
    const int parallel = std::min<int>(Parallel(), static_cast<int>(jobs.size()));
    auto finished = [&](const JobResult& result) {
      Emit(result);
      ++counts[static_cast<int>(result.outcome)];
    };
    if (parallel <= 1 || m_options.info || m_options.dry_run) {
      for (std::size_t i = 0; i < jobs.size(); ++i) {
        if (batch) CountBar(i, jobs.size());
        finished(RunJob(jobs[i], m_streams.progress_bar));
      }
    } else {
      RunInChildren(jobs, parallel, finished);
    }
    ClearCountBar();
    const bool converting = !m_options.info && !m_options.dry_run;
    if (batch && converting) {
      const double seconds =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
      std::fprintf(m_streams.err, "%d converted, %d failed, %d skipped in %.1f s\n", counts[0],
                   counts[1], counts[2], seconds);
      std::fflush(m_streams.err);
    }
    FlushOut();
    if (!OutputWritten(m_streams, m_out_error)) return 1;
    return counts[1] == 0 ? 0 : 1;
  }

 private:
  // The format of every output: -o's extension, else --format, else BMP.
  ImageFormat ChosenFormat() const { return pelmora::ChosenFormat(m_options); }

  int Parallel() const {
    if (m_options.jobs > 0) return m_options.jobs;
    return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  }

  // Expands folders (with -r) into their drawings and gives each its output
  // name; an output that an earlier drawing already takes is refused here, in
  // the drawings' order, so that the outcome never depends on -j.
  bool PlanJobs(std::vector<Job>* jobs, std::vector<JobResult>* early) {
    for (const std::string& input : m_options.drawings) {
      std::error_code ec;
      if (m_options.recursive && fs::is_directory(input, ec)) {
        Walk(fs::path(input), fs::path(), jobs, early);
      } else {
        Job job;
        job.drawing = input;
        job.output = OutputPathFor(input, m_options, fs::path());
        jobs->push_back(std::move(job));
      }
    }
    if (m_options.output && jobs->size() > 1) {
      std::fprintf(m_streams.err,
                   "pelmora-convert: -o names the output of one drawing; %zu were found: use -d\n",
                   jobs->size());
      return false;
    }
    std::set<fs::path> taken;
    for (Job& job : *jobs) {
      if (m_options.info || job.output == kStandardOutput) continue;
      if (!taken.insert(SameFileKey(job.output)).second) {
        job.refusal =
            "the output " + job.output.string() + " is also the output of an earlier drawing";
      }
    }
    return true;
  }

  // Every .jwc below `root` / `below`; links to folders are not followed (no loops).
  void Walk(const fs::path& root, const fs::path& below, std::vector<Job>* jobs,
            std::vector<JobResult>* early) {
    std::string error;
    const auto entries = SortedEntries(root / below, &error);
    if (!error.empty()) {
      early->push_back({Outcome::kFailed, "", "pelmora-convert: " + error + "\n"});
      return;
    }
    for (const fs::directory_entry& entry : entries) {
      std::error_code ec;
      const fs::file_status own = entry.symlink_status(ec);
      const fs::path name = entry.path().filename();
      if (fs::is_directory(own)) {
        Walk(root, below / name, jobs, early);
      } else if (LowerExtensionIs(name, ".jwc") && !fs::is_directory(entry.status(ec))) {
        Job job;
        job.drawing = (root / below / name).string();
        job.output = OutputPathFor(job.drawing, m_options, below);
        job.found = true;
        jobs->push_back(std::move(job));
      }
    }
  }

  // Runs up to `parallel` drawings at once, each in a process of its own (so
  // that it converts exactly as if alone: no state is shared with the others),
  // and hands their results to `finished` in the drawings' order.
  template <class Finished>
  void RunInChildren(const std::vector<Job>& jobs, int parallel, Finished finished) {
    std::fflush(m_streams.out);
    std::fflush(m_streams.err);
    struct Running {
      std::FILE* file = nullptr;
      std::size_t index = 0;
    };
    std::map<pid_t, Running> running;
    std::map<std::size_t, JobResult> done;
    std::size_t next = 0, emitted = 0;
    while (emitted < jobs.size()) {
      while (next < jobs.size() && running.size() < static_cast<std::size_t>(parallel)) {
        std::FILE* file = std::tmpfile();
        const pid_t pid = file != nullptr ? ::fork() : -1;
        if (pid == 0) _exit(ChildJob(jobs[next], file));
        if (pid < 0) {
          if (file != nullptr) std::fclose(file);
          done[next] = RunJob(jobs[next], false);  // no process to spare: do it here
        } else {
          running[pid] = {file, next};
        }
        ++next;
      }
      if (!running.empty() && done.count(emitted) == 0) {
        int status = 0;
        const pid_t pid = ::waitpid(-1, &status, 0);
        const auto it = running.find(pid);
        if (it == running.end()) continue;
        done[it->second.index] = ReadChildResult(jobs[it->second.index], it->second.file, status);
        std::fclose(it->second.file);
        running.erase(it);
      }
      for (auto it = done.find(emitted); it != done.end(); it = done.find(emitted)) {
        CountBar(emitted, jobs.size());
        finished(it->second);
        done.erase(it);
        ++emitted;
      }
    }
  }

  int ChildJob(const Job& job, std::FILE* file) {
    JobResult result;
    try {
      result = RunJob(job, false);
    } catch (const std::exception& e) {
      result.err = Failure(job, e.what());
    }
    const std::uint64_t sizes[3] = {static_cast<std::uint64_t>(result.outcome), result.out.size(),
                                    result.err.size()};
    const bool ok =
        std::fwrite(sizes, sizeof sizes, 1, file) == 1 &&
        std::fwrite(result.out.data(), 1, result.out.size(), file) == result.out.size() &&
        std::fwrite(result.err.data(), 1, result.err.size(), file) == result.err.size() &&
        std::fflush(file) == 0;
    return ok ? 0 : 3;
  }

  JobResult ReadChildResult(const Job& job, std::FILE* file, int status) {
    JobResult result;
    std::uint64_t sizes[3] = {};
    std::rewind(file);
    const bool ok = WIFEXITED(status) && WEXITSTATUS(status) == 0 &&
                    std::fread(sizes, sizeof sizes, 1, file) == 1 && sizes[0] <= 2 &&
                    sizes[1] < (1u << 30) && sizes[2] < (1u << 30);
    if (!ok) {
      result.err = Failure(
          job, WIFSIGNALED(status)
                   ? "the conversion was killed by signal " + std::to_string(WTERMSIG(status))
                   : std::string("the conversion ended without a result"));
      return result;
    }
    result.outcome = static_cast<Outcome>(sizes[0]);
    result.out.resize(sizes[1]);
    result.err.resize(sizes[2]);
    if (std::fread(result.out.data(), 1, sizes[1], file) != sizes[1] ||
        std::fread(result.err.data(), 1, sizes[2], file) != sizes[2]) {
      result =
          JobResult{Outcome::kFailed, "", Failure(job, "the conversion's report was cut short")};
    }
    return result;
  }

  static std::string Failure(const Job& job, const std::string& why) {
    return "pelmora-convert: " + Shown(job.drawing + ": " + why) + "\n";
  }

  JobResult RunJob(const Job& job, bool bar) {
    JobResult result;
    std::string error;
    bool done = false;
    if (!job.refusal.empty()) {
      error = job.refusal;
    } else {
      try {
        if (m_options.info) {
          done = Info(job, &result, &error);
        } else {
          done = Convert(job, bar, &result, &error);
        }
      } catch (const std::exception& e) {
        error = e.what();
      }
    }
    if (done) return result;
    if (m_options.json && m_options.info) {
      // One object for every input, so that a script reading a line per drawing keeps count.
      result.out += NamedJsonLine({{"file", fs::path(job.drawing).filename().string()},
                                   {"input", job.drawing},
                                   {"error", error}}) +
                    "\n";
    }
    if (result.outcome == Outcome::kSkipped) return result;
    result.outcome = Outcome::kFailed;
    result.err += Failure(job, error);
    if (m_options.json && !m_options.info) {
      Json report = {{"input", job.drawing}, {"status", "failed"}, {"error", error}};
      result.out += NamedJsonLine(report) + "\n";
    }
    return result;
  }

  // Prints one drawing's messages: its standard output, then its errors.
  void Emit(const JobResult& result) {
    if (m_options.info && !m_options.json && !result.out.empty() && m_info_printed++ > 0) {
      std::fputs("\n", m_streams.out);
    }
    if (!result.out.empty()) {
      std::fputs(result.out.c_str(), m_streams.out);
      FlushOut();
    }
    if (!result.err.empty()) {
      ClearCountBar();
      std::fputs(result.err.c_str(), m_streams.err);
      std::fflush(m_streams.err);
    }
  }

  // "[12/500]" on a terminal, ahead of each drawing of a batch.
  void CountBar(std::size_t index, std::size_t total) {
    if (!m_streams.progress_bar) return;
    std::fprintf(m_streams.err, "\r[%zu/%zu]\033[K", index + 1, total);
    std::fflush(m_streams.err);
    m_count_shown = true;
  }
  void ClearCountBar() {
    if (!m_count_shown) return;
    std::fputs("\r\033[K", m_streams.err);
    std::fflush(m_streams.err);
    m_count_shown = false;
  }

  // Opens the drawing without blocking, so a named pipe or a device is refused
  // instead of waited on; tests the signature from the first bytes (as the
  // window's open command does) before anything else is read, then loads only
  // what the header describes. "-" is standard input.
  bool Load(const Job& job, Tjwcin& reader, DrawingFile* file, JobResult* result,
            std::string* error) {
    const bool from_stdin = job.drawing == kStandardOutput;
    const int fd =
        from_stdin ? STDIN_FILENO : ::open(job.drawing.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
      *error = std::generic_category().message(errno);
      return false;
    }
    const bool loaded = LoadFrom(fd, from_stdin, job, reader, file, result, error);
    if (!from_stdin) ::close(fd);
    return loaded;
  }

  bool LoadFrom(int fd, bool from_stdin, const Job& job, Tjwcin& reader, DrawingFile* file,
                JobResult* result, std::string* error) {
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
      *error = "cannot query the file: " + std::generic_category().message(errno);
      return false;
    }
    const bool regular = S_ISREG(info.st_mode);
    if (!regular && !(from_stdin && S_ISFIFO(info.st_mode))) {
      *error = "not a regular file (" + FileKind(info.st_mode) + "); only drawing files are read";
      if (S_ISDIR(info.st_mode)) *error += " (use -r to convert the drawings in it)";
      return false;
    }
    file->modified = info.st_mtim.tv_sec;
    file->size = regular ? static_cast<std::uint64_t>(info.st_size) : 0;
    if (m_options.thumbnail && regular && file->size > kThumbnailInputLimit) {
      *error = "the file is " + FormatBytes(file->size) +
               ", more than the 64 MiB a thumbnail is made from";
      return false;
    }
    std::array<std::byte, 40> head{};
    int read_error = 0;
    const ssize_t got = regular ? ::pread(fd, head.data(), head.size(), 0)
                                : ReadFully(fd, head.data(), head.size(), &read_error);
    if (got < 0) {
      *error = "cannot read the file: " +
               std::generic_category().message(read_error != 0 ? read_error : errno);
      return false;
    }
    if (static_cast<std::size_t>(got) < head.size() || !JwcHasSignature(head)) {
      *error = kNoDrawing;
      if (job.found) {
        // Found in a folder: reported and counted, but no failure of the batch.
        result->outcome = Outcome::kSkipped;
        result->err += "pelmora-convert: " + Shown(job.drawing) + ": skipped: " + *error + "\n";
      }
      return false;
    }
    std::int32_t status = 1;
    if (regular) {
      status = reader.JwcLoadDescriptor(fd, file->size);
    } else {
      // A pipe cannot be read twice or at offsets: the whole stream, after the head.
      std::vector<std::byte> bytes(head.begin(), head.end());
      std::array<std::byte, 65536> chunk;
      for (;;) {
        const ssize_t n = ReadFully(fd, chunk.data(), chunk.size(), &read_error);
        if (n < 0) {
          *error = "cannot read standard input: " + std::generic_category().message(read_error);
          return false;
        }
        bytes.insert(bytes.end(), chunk.begin(), chunk.begin() + n);
        if (static_cast<std::size_t>(n) < chunk.size()) break;
      }
      file->size = bytes.size();
      status = reader.JwcLoadBytes(bytes);
    }
    if (status != 0) {
      *error = "cannot read the drawing: " + reader.LastError();
      return false;
    }
    return true;
  }

  bool Prepare(const Job& job, Plan& plan, JobResult* result, std::string* error) {
    DrawingFile file;
    if (!Load(job, plan.reader, &file, result, error)) return false;
    plan.drawing_bytes = file.size;
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
    const std::string beyond =
        FormatLimitProblem(m_format, plan.geometry.width, plan.geometry.height, m_settings.dpi);
    if (!beyond.empty()) {
      *error = beyond;
      return false;
    }
    plan.cost = ComputeRenderCost(plan.geometry.width, plan.geometry.height, m_settings.ColorMode);
    if (!plan.cost.valid || (m_format == ImageFormat::kBmp && !plan.cost.fits_file)) {
      *error = "the image of " + std::to_string(plan.geometry.width) + " x " +
               std::to_string(plan.geometry.height) + " pixels would make a file of " +
               FormatBytes(plan.cost.file_bytes) + ", beyond the 4 GiB a BMP file can hold";
      return false;
    }
    return true;
  }

  // Refuses outputs that would destroy something or cannot be written: the
  // drawing itself, an unknown format, a missing folder (a -d folder is made when
  // the first file goes into it), a folder, a device or pipe, an existing file
  // without -f. With -n an existing output is skipped. Decided before rendering.
  enum class Check { kOk, kSkip, kRefuse };
  Check CheckOutput(const Job& job, const fs::path& output, bool* create_folder,
                    std::string* error) {
    *create_folder = false;
    if (output == kStandardOutput) {
      const OutputStatus status = CheckOutputTarget(kStandardOutput, true);
      if (!status.ok()) *error = status.reason;
      return status.ok() ? Check::kOk : Check::kRefuse;
    }
    if (SameFileKey(output) == SameFileKey(job.drawing)) {
      *error = "the output " + output.string() + " is the drawing itself";
      return Check::kRefuse;
    }
    if (HasExtension(output.string()) && !FormatFromName(output.string())) {
      *error = "the output " + output.string() + " has the extension '" +
               output.extension().string() +
               "'; only .bmp, .png, .tif, .tiff, .pdf, .svg and .dxf are written";
      return Check::kRefuse;
    }
    std::error_code ec;
    const fs::path folder = output.has_parent_path() ? output.parent_path() : fs::path(".");
    if (!fs::is_directory(folder, ec)) {
      if (fs::exists(fs::status(folder, ec))) {
        *error = folder.string() + " is not a folder";
        return Check::kRefuse;
      }
      if (!m_options.output_dir || fs::exists(fs::symlink_status(folder, ec))) {
        *error = "the folder " + folder.string() + " does not exist";
        return Check::kRefuse;
      }
      *create_folder = true;
      return Check::kOk;
    }
    if (fs::is_directory(output, ec)) {
      *error = "the output " + output.string() + " is a folder";
      return Check::kRefuse;
    }
    if (!m_options.force && fs::exists(fs::symlink_status(output, ec))) {
      if (m_options.skip_existing) return Check::kSkip;
      *error = output.string() + " exists; use -f to replace it or -n to skip it";
      return Check::kRefuse;
    }
    const OutputStatus status = CheckOutputTarget(output.string(), m_options.force);
    if (!status.ok()) {
      *error = status.reason;
      return Check::kRefuse;
    }
    return Check::kOk;
  }

  // The outputs of a drawing: one, or with --split one per group or layer that
  // holds entities drawn with the visibility in force.
  std::vector<Part> Parts(const Job& job, const Tjwcin& reader) {
    Part whole;
    whole.output = job.output;
    for (int l = 0; l < 256; ++l)
      whole.layers[static_cast<std::size_t>(l)] = reader.JwcViewLayer(l) == 1;
    for (int g = 0; g < 16; ++g)
      whole.groups[static_cast<std::size_t>(g)] = reader.JwcViewGroupe(g) == 1;
    ApplyVisibility(m_options, whole.layers, whole.groups);
    if (m_options.split == SplitBy::kNone) return {whole};
    const DrawingSummary summary = SummarizeDrawing(reader, "", 0);
    std::vector<Part> parts;
    for (const LayerSummary& layer : summary.layers) {
      const std::size_t l = layer.layer, g = l >> 4;
      const bool entities = std::int64_t{layer.lines} + layer.arcs + layer.texts + layer.dots > 0;
      if (!entities || whole.layers[l] != 1 || whole.groups[g] != 1) continue;
      const bool by_group = m_options.split == SplitBy::kGroups;
      if (by_group && !parts.empty() && parts.back().groups[g] == 1) continue;  // group listed
      Part part;
      if (by_group) {
        part.layers = whole.layers;
        part.groups[g] = 1;
      } else {
        part.layers[l] = 1;
        part.groups[g] = 1;
      }
      char suffix[16];
      if (by_group) {
        std::snprintf(suffix, sizeof suffix, ".g%X", unsigned(g));
      } else {
        std::snprintf(suffix, sizeof suffix, ".g%X-%X", unsigned(g), unsigned(l & 0xF));
      }
      part.output = job.output;
      part.output.replace_filename(job.output.stem().string() + suffix +
                                   job.output.extension().string());
      parts.push_back(std::move(part));
    }
    return parts;
  }

  bool Convert(const Job& job, bool show_bar, JobResult* result, std::string* error) {
    const auto started = std::chrono::steady_clock::now();
    auto plan = std::make_unique<Plan>();
    if (!Prepare(job, *plan, result, error)) return false;
    const OutputGeometry& g = plan->geometry;
    const std::vector<Part> parts = Parts(job, plan->reader);
    std::vector<bool> create(parts.size());
    std::vector<bool> skip(parts.size());
    std::size_t skipped = 0;
    for (std::size_t i = 0; i < parts.size(); ++i) {
      bool create_folder = false;
      const Check check = CheckOutput(job, parts[i].output, &create_folder, error);
      if (check == Check::kRefuse) return false;
      create[i] = create_folder;
      skip[i] = check == Check::kSkip;
      skipped += skip[i];
    }
    if (m_options.dry_run && m_vector) {
      for (std::size_t i = 0; i < parts.size(); ++i) {
        result->out += Printf("%s: %d x %d mm at %d dpi, vector -> %s%s%s\n",
                              Shown(job.drawing).c_str(), g.Wmm, g.Hmm, m_settings.dpi,
                              Shown(parts[i].output.string()).c_str(),
                              create[i] ? " (the folder will be created)" : "",
                              skip[i] ? " (exists: skipped)" : "");
      }
      result->outcome = skipped == parts.size() ? Outcome::kSkipped : Outcome::kDone;
      return true;
    }
    if (m_options.dry_run) {
      const auto size = KnownFileSize(m_format, g.width, g.height, m_settings.ColorMode);
      for (std::size_t i = 0; i < parts.size(); ++i) {
        // Memory: the image in its final format, the writer's buffer and the drawing.
        result->out += Printf(
            "%s: %d x %d px, %d x %d mm at %d dpi, %d bit -> %s: file %s, memory %s%s%s\n",
            Shown(job.drawing).c_str(), g.width, g.height, g.Wmm, g.Hmm, m_settings.dpi,
            m_settings.ColorMode, Shown(parts[i].output.string()).c_str(),
            size ? FormatBytes(*size).c_str() : "compressed",
            FormatBytes(plan->cost.memory_bytes + plan->drawing_bytes).c_str(),
            create[i] ? " (the folder will be created)" : "", skip[i] ? " (exists: skipped)" : "");
      }
      result->outcome = skipped == parts.size() ? Outcome::kSkipped : Outcome::kDone;
      return true;
    }
    if (skipped == parts.size()) {
      result->outcome = Outcome::kSkipped;
      if (!m_options.quiet && !m_options.json) {
        result->err += "pelmora-convert: " + Shown(job.drawing) +
                       ": skipped: " + Shown(parts[0].output.string()) +
                       (parts.size() > 1 ? " and the other outputs exist\n" : " exists\n");
      }
      if (m_options.json) {
        result->out +=
            NamedJsonLine(
                {{"input", job.drawing}, {"status", "skipped"}, {"reason", "the output exists"}}) +
            "\n";
      }
      return true;
    }

    std::vector<FontSubstitution> used_fonts;
    Json outputs = Json::array();
    std::uint64_t total_bytes = 0;
    for (std::size_t i = 0; i < parts.size(); ++i) {
      if (skip[i]) continue;
      std::uint64_t bytes = 0;
      std::vector<FontSubstitution> fonts;
      if (!Render(job, *plan, parts[i], create[i], show_bar, &bytes, &fonts, error)) return false;
      if (used_fonts.empty()) used_fonts = std::move(fonts);
      total_bytes += bytes;
      outputs.push_back({{"output", parts[i].output.string()}, {"bytes", bytes}});
      if (!m_options.quiet && !m_options.json) {
        const std::string line =
            m_vector ? Printf("%s -> %s (vector, %d x %d mm, %d dpi)\n", Shown(job.drawing).c_str(),
                              Shown(parts[i].output.string()).c_str(), g.Wmm, g.Hmm,
                              m_settings.dpi)
                     : Printf("%s -> %s (%d x %d px, %d bit, %d dpi)\n", Shown(job.drawing).c_str(),
                              Shown(parts[i].output.string()).c_str(), g.width, g.height,
                              m_settings.ColorMode, m_settings.dpi);
        // With -o - standard output holds the image alone.
        (parts[i].output == kStandardOutput ? result->err : result->out) += line;
      }
    }
    result->outcome = Outcome::kDone;
    if (m_options.json) {
      Json substitutions = Json::array();
      for (const FontSubstitution& s : used_fonts) {
        substitutions.push_back(
            {{"requested", s.requested},
             {"used", s.used},
             {"kind",
              s.kind == FontSubstitution::Kind::kReplaced ? "replaced" : "missing_characters"}});
      }
      const double seconds =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
      Json report = {{"input", job.drawing},
                     {"status", "converted"},
                     {"output", parts.size() == 1 ? Json(parts[0].output.string()) : Json()},
                     {"outputs", std::move(outputs)},
                     {"format", std::string(FormatName(m_format))},
                     {"vector", m_vector},
                     {"width", g.width},
                     {"height", g.height},
                     {"dpi", m_settings.dpi},
                     {"depth", m_settings.ColorMode},
                     {"bytes", total_bytes},
                     {"seconds", std::round(seconds * 1000) / 1000},
                     {"font_substitutions", std::move(substitutions)}};
      result->out += NamedJsonLine(report) + "\n";
    }
    return true;
  }

  // Renders one output in bands straight into the format's encoder.
  bool Render(const Job& job, const Plan& plan, const Part& part, bool create_folder, bool show_bar,
              std::uint64_t* bytes, std::vector<FontSubstitution>* substitutions,
              std::string* error) {
    const OutputGeometry& g = plan.geometry;
    ProgressBar bar(m_streams.err, show_bar, Shown(fs::path(job.drawing).filename().string()));
    const fs::path& output = part.output;
    RenderContext context;
    context.reader = &plan.reader;
    context.settings = &m_settings;
    context.LayerVisible = &part.layers;
    context.GroupVisible = &part.groups;
    context.PixelsPerMm = plan.paper.pixels_per_mm;
    bool stop = false;
    context.progress = [&](std::int64_t position, std::int64_t total) {
      bar.Update(position, total);
      if (m_streams.progress && !m_streams.progress(position, total)) stop = true;
    };
    std::string why;
    context.error = &why;
    if (m_vector) return RenderVector(context, g, output, create_folder, bytes, error);
    FileEncoder file(m_format, output.string(),
                     OutputOptions{.replace = m_options.force,
                                   .compression = m_options.compression,
                                   .threads = RenderThreads()});
    FolderMakingEncoder encoder(file, create_folder ? output.parent_path() : fs::path(), &stop);
    BandOptions bands;
    bands.threads = RenderThreads();
    bands.substitutions = substitutions;
    const int done =
        DrawImageBands(context, g.width, g.height, g.originX, g.originY, g.scale, encoder, bands);
    bar.Clear();
    if (done != 1) {
      const OutputStatus& status = file.Status();
      if (status.error == OutputError::kExists) {
        *error = output.string() + " exists; use -f to replace it or -n to skip it";
      } else if (!status.ok()) {
        *error = (status.reason.empty() ? why : status.reason) + " (" + status.Message() + ")";
      } else {
        *error = why;
      }
      return false;
    }
    std::error_code ec;
    if (output != kStandardOutput) *bytes = fs::file_size(output, ec);
    return true;
  }

  // The vector document of one output: the walk straight into the format's writer.
  bool RenderVector(const RenderContext& context, const OutputGeometry& g, const fs::path& output,
                    bool create_folder, std::uint64_t* bytes, std::string* error) {
    std::error_code ec;
    if (create_folder) fs::create_directories(output.parent_path(), ec);
    if (ec) {
      *error = "cannot create the folder " + output.parent_path().string() + ": " + ec.message();
      return false;
    }
    VectorWriterOptions writer;
    writer.outline_text = m_options.outline_text;
    writer.dxf_utf8 = m_options.dxf_utf8;
    VectorFile file(m_format, output.string(), OutputOptions{.replace = m_options.force}, writer);
    const int done = file.Open(context.error) ? DrawVector(context, g.width, g.height, g.originX,
                                                           g.originY, g.scale, file,
                                                           {.keep_hidden = m_options.keep_hidden})
                                              : 0;
    if (done != 1) {
      const OutputStatus& status = file.Status();
      if (status.error == OutputError::kExists) {
        *error = output.string() + " exists; use -f to replace it or -n to skip it";
      } else if (!status.ok()) {
        *error = (status.reason.empty() ? *context.error : status.reason) + " (" +
                 status.Message() + ")";
      } else {
        *error = *context.error;
      }
      return false;
    }
    if (output != kStandardOutput) *bytes = fs::file_size(output, ec);
    return true;
  }

  // --threads, or the cores shared among the drawings converted at once.
  int RenderThreads() const {
    if (m_options.threads) return *m_options.threads;
    const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    return std::max(1, cores / std::max(1, m_options.jobs == 0 ? cores : m_options.jobs));
  }

  // The whole paper drawn black on white at twice the thumbnail's size (1 bit:
  // every pen black, whatever the saved colours, which read poorly on white;
  // dots as single pixels),
  // then each thumbnail pixel the average of the pixels it covers: thin lines
  // stay visible as grey instead of vanishing between samples. The longer side
  // is exactly `size` pixels.
  bool Thumbnail(std::string* error) {
    constexpr int kOversample = 2;
    const int size = *m_options.thumbnail;
    Job job;
    job.drawing = m_options.drawings[0];
    Tjwcin reader;
    DrawingFile file;
    JobResult ignored;
    if (!Load(job, reader, &file, &ignored, error)) return false;
    const auto paper = PaperOf(reader, error);
    if (!paper) return false;
    Settings settings = m_settings;
    settings.ColorMode = 1;
    settings.WriteDPI = false;
    settings.Dot = 1;  // discs of Dot pixels would cover a few-dpi image
    const int long_mm = std::max(paper->paper.width_mm, paper->paper.height_mm);
    settings.dpi =
        std::clamp(static_cast<int>(std::ceil(kOversample * size * 25.4 / long_mm)), 1, 600);
    const SelectionBox box = RegionBox(RegionChoice{}, *paper);
    const OutputGeometry g =
        ComputeOutputGeometry(box, paper->pixels_per_mm, settings.dpi, paper->window_width);
    if (!g.valid || !g.Renderable()) {
      *error = "the paper cannot be placed at " + std::to_string(settings.dpi) + " dpi";
      return false;
    }
    std::array<std::uint8_t, 256> layers{};
    std::array<std::uint8_t, 16> groups{};
    for (int l = 0; l < 256; ++l) layers[static_cast<std::size_t>(l)] = reader.JwcViewLayer(l) == 1;
    for (int k = 0; k < 16; ++k) groups[static_cast<std::size_t>(k)] = reader.JwcViewGroupe(k) == 1;
    RenderContext context;
    context.reader = &reader;
    context.settings = &settings;
    context.LayerVisible = &layers;
    context.GroupVisible = &groups;
    context.PixelsPerMm = paper->pixels_per_mm;
    context.delivery = [&](const Bitmap& image, std::string* why) {
      const auto small = Shrink(image, size, why);
      if (!small) return false;
      // The caller made the file and may read it through the descriptor it holds.
      FileEncoder encoder(ImageFormat::kPng, m_options.drawings[1],
                          OutputOptions{.replace = true, .in_place = true});
      const ImageShape shape{small->Width(), small->Height(), 24, {}, settings.dpi};
      return encoder.Begin(shape, why) && encoder.WriteRows(0, *small, why) && encoder.Finish(why);
    };
    std::string why;
    context.error = &why;
    if (DrawImage(context, g.width, g.height, g.originX, g.originY, g.scale, kRenderFile) == 1) {
      return true;
    }
    *error = why;
    return false;
  }

  // `image` scaled down so that its longer side is `size`, each pixel the mean
  // of the source pixels it covers, at 24 bits.
  static std::unique_ptr<Bitmap> Shrink(const Bitmap& image, int size, std::string* error) {
    const int w = image.Width(), h = image.Height();
    const double scale = std::min(1.0, static_cast<double>(size) / std::max(w, h));
    const int tw = std::max(1, static_cast<int>(std::lround(w * scale)));
    const int th = std::max(1, static_cast<int>(std::lround(h * scale)));
    auto small = Bitmap::Create(tw, th, 24, error);
    if (!small) return nullptr;
    for (int y = 0; y < th; ++y) {
      const int y0 = static_cast<int>(std::int64_t{y} * h / th);
      const int y1 = std::max(y0 + 1, static_cast<int>(std::int64_t{y + 1} * h / th));
      for (int x = 0; x < tw; ++x) {
        const int x0 = static_cast<int>(std::int64_t{x} * w / tw);
        const int x1 = std::max(x0 + 1, static_cast<int>(std::int64_t{x + 1} * w / tw));
        std::int64_t sum[3] = {};
        for (int sy = y0; sy < y1; ++sy) {
          for (int sx = x0; sx < x1; ++sx) {
            const Colour c = image.ColourAt(sx, sy);
            sum[0] += RedOf(c), sum[1] += GreenOf(c), sum[2] += BlueOf(c);
          }
        }
        const std::int64_t n = std::int64_t{x1 - x0} * (y1 - y0);
        const Colour mean =
            Rgb(static_cast<int>((sum[0] + n / 2) / n), static_cast<int>((sum[1] + n / 2) / n),
                static_cast<int>((sum[2] + n / 2) / n));
        small->SetValue(x, y, small->ValueFor(mean));
      }
    }
    return small;
  }

  bool Info(const Job& job, JobResult* result, std::string* error) {
    Tjwcin reader;
    DrawingFile file;
    if (!Load(job, reader, &file, result, error)) return false;
    const DrawingSummary summary =
        SummarizeDrawing(reader, fs::path(job.drawing).filename().string(), file.modified);
    const FontReport font = Fonts(reader);
    result->outcome = Outcome::kDone;
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
      json["outputs"] = {{"vector", {"pdf", "svg", "dxf"}},
                         {"image", {"bmp", "png", "tiff", "pdf"}}};
      json["input"] = job.drawing;
      result->out += NamedJsonLine(json) + "\n";
      return true;
    }
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
    // The groups and layers above are those of the vector documents.
    text += "Outputs:      vector pdf, svg, dxf (a layer per group and layer); image bmp, png, "
            "tiff, pdf --raster\n";
    result->out += text;
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
  ImageFormat m_format = ImageFormat::kBmp;
  bool m_vector = false;  // the outputs are vector documents
  int m_out_error = 0;  // errno of the first failed write to streams.out
  int m_info_printed = 0;
  bool m_count_shown = false;
};

}  // namespace

fs::path OutputPathFor(const fs::path& drawing, const ConvertOptions& options,
                       const fs::path& below) {
  if (options.output) return fs::path(*options.output);
  ImageFormat format = options.format.value_or(ImageFormat::kBmp);
  // Standard input has no name of its own.
  fs::path name = drawing == kStandardOutput ? fs::path("stdin") : drawing.filename();
  name.replace_extension(std::string(FormatExtension(format)));
  if (options.output_dir) return fs::path(*options.output_dir) / below / name;
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
