#include "drawing/jwcunit.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cassert>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <system_error>

#include "drawing/byte_reader.h"

namespace pelmora {

namespace {

// Fixed head of the file (byte offsets).
constexpr std::size_t kVariantByte = 22;    // 'f' selects the real variant
constexpr std::size_t kHeaderText = 200;    // comma-separated header fields
constexpr std::size_t kStylePens = 1709;    // int16[11]
constexpr std::size_t kStyleWidths = 1731;  // int16[11], tenths of a millimetre
constexpr std::size_t kStyleHeights = 1753;
constexpr std::size_t kStyleSpacings = 1775;
constexpr std::size_t kGroupScales = 1797;  // int16[16] or float32[16]
constexpr std::size_t kStateBlockInteger = 1829;
constexpr std::size_t kStateBlockReal = 1861;
constexpr std::size_t kStateBlockSize = 560;  // search and view tables, 16 spare bytes

constexpr std::size_t kLineSize = 22;
constexpr std::size_t kArcSize = 32;
constexpr std::size_t kTextSize = 24;
constexpr std::size_t kDotSize = 12;
constexpr std::size_t kLayerNameSize = 8;
constexpr std::size_t kGroupNameSize = 16;
constexpr std::size_t kNamesSize = 256 * kLayerNameSize + 16 * kGroupNameSize;  // 2304

constexpr std::size_t kTextStyles = kJwcTextStyleCount;
constexpr std::size_t kTextLimit = 255;  // bytes of a text handed out

// Header fields the reader converts.
constexpr int kFieldLines = 0, kFieldArcs = 1, kFieldTexts = 2, kFieldDots = 3;
constexpr int kFieldPaper = 11, kFieldPlotterX = 14, kFieldPlotterY = 15, kFieldWidth = 30;

// The field as it stands in the file, escaped and cut short for a message.
std::string Quoted(std::string_view text) {
  constexpr std::size_t kShown = 40;
  std::string out = "\"";
  for (char c : text.substr(0, kShown)) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte >= 0x7F || c == '"' || c == '\\') {
      static constexpr char kHex[] = "0123456789ABCDEF";
      out += "\\x";
      out += kHex[byte >> 4];
      out += kHex[byte & 0xF];
    } else {
      out += c;
    }
  }
  return out + (text.size() > kShown ? "\"..." : "\"");
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// An optional sign and decimal digits, within the 32-bit range.
std::int32_t ParseInteger(std::string_view text, std::uint64_t offset, std::string_view name) {
  std::string_view digits = text;
  if (!digits.empty() && (digits.front() == '+' || digits.front() == '-')) digits.remove_prefix(1);
  const bool all_digits =
      !digits.empty() && digits.find_first_not_of("0123456789") == std::string_view::npos;
  if (!all_digits) {
    throw FormatError(offset,
                      "header field " + std::string(name) + " is not an integer: " + Quoted(text));
  }
  // from_chars takes a minus sign but no plus sign.
  const std::string_view number = text.front() == '+' ? digits : text;
  std::int32_t value = 0;
  const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
  if (error != std::errc() || end != number.data() + number.size()) {
    throw FormatError(offset, "header field " + std::string(name) +
                                  " is outside the 32-bit range: " + Quoted(text));
  }
  return value;
}

// A decimal real with '.' as its point, whatever the user's locale. Formed at
// extended precision and rounded once to float32, as stored.
float ParseReal(std::string_view text, std::uint64_t offset, std::string_view name) {
  std::string_view number = text;
  bool negative = false;
  if (!number.empty() && (number.front() == '+' || number.front() == '-')) {
    negative = number.front() == '-';
    number.remove_prefix(1);
  }
  // from_chars would also take "inf", "nan" and a second sign.
  const bool starts_well =
      !number.empty() && (IsDigit(number.front()) ||
                          (number.front() == '.' && number.size() > 1 && IsDigit(number[1])));
  long double value = 0;
  if (starts_well) {
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value,
                                              std::chars_format::general);
    if (error == std::errc() && end == number.data() + number.size()) {
      const long double limit = std::numeric_limits<float>::max();
      if (std::fabs(value) <= limit) return static_cast<float>(negative ? -value : value);
      throw FormatError(offset, "header field " + std::string(name) +
                                    " is outside the float range: " + Quoted(text));
    }
    if (error == std::errc::result_out_of_range) {
      throw FormatError(offset, "header field " + std::string(name) +
                                    " is outside the float range: " + Quoted(text));
    }
  }
  throw FormatError(offset,
                    "header field " + std::string(name) + " is not a number: " + Quoted(text));
}

struct HeaderFields {
  std::optional<std::int32_t> counts[4];
  std::optional<std::int32_t> paper_code;
  std::optional<std::int32_t> window_width;
  std::optional<float> plotter_x, plotter_y;
};

// Field syntax: a field runs to the next ',' or NUL, which is consumed; the text
// ends where the next field would begin with a space or NUL.
HeaderFields ScanHeaderText(ByteReader& in) {
  HeaderFields fields;
  constexpr std::string_view kCountNames[] = {"0 (line count)", "1 (arc count)", "2 (text count)",
                                              "3 (dot count)"};
  for (std::uint64_t number = 0;; ++number) {
    if (in.AtEnd()) throw FormatError(in.Offset(), "the header text has no terminator");
    const std::uint8_t first = in.PeekU8();
    if (first == ' ' || first == 0) break;
    const std::uint64_t offset = in.Offset();
    const auto bytes =
        in.ReadUntil([](std::uint8_t b) { return b == ',' || b == 0; }, "the header text");
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    switch (number) {
      case kFieldLines:
      case kFieldArcs:
      case kFieldTexts:
      case kFieldDots: {
        const std::int32_t count = ParseInteger(text, offset, kCountNames[number]);
        if (count < 0) {
          throw FormatError(offset, "header field " + std::string(kCountNames[number]) +
                                        " is negative: " + Quoted(text));
        }
        fields.counts[number] = count;
        break;
      }
      case kFieldPaper:
        fields.paper_code = ParseInteger(text, offset, "11 (paper code)");
        break;
      case kFieldPlotterX:
        fields.plotter_x = ParseReal(text, offset, "14 (plotter X)");
        break;
      case kFieldPlotterY:
        fields.plotter_y = ParseReal(text, offset, "15 (plotter Y)");
        break;
      case kFieldWidth: {
        const std::int32_t width = ParseInteger(text, offset, "30 (WindowWidth)");
        if (width <= 0) {
          throw FormatError(offset,
                            "header field 30 (WindowWidth) must be positive: " + Quoted(text));
        }
        fields.window_width = width;
        break;
      }
      default:
        break;
    }
  }
  const std::uint64_t end = in.Offset();
  for (int i = 0; i < 4; ++i) {
    if (!fields.counts[i]) {
      throw FormatError(end, "the header text lacks field " + std::string(kCountNames[i]));
    }
  }
  if (!fields.paper_code) throw FormatError(end, "the header text lacks field 11 (paper code)");
  if (!fields.window_width) {
    throw FormatError(end, "the header text lacks field 30 (WindowWidth)");
  }
  // Fields are positional: with field 30 there, 14 and 15 were converted too.
  assert(fields.plotter_x && fields.plotter_y);
  return fields;
}

// int16 tenths of a millimetre (or ten-thousandths, 16.16 degrees) to float32,
// divided at extended precision and rounded once.
float Scaled(std::int32_t stored, long double divisor) {
  return static_cast<float>(static_cast<long double>(stored) / divisor);
}

std::vector<std::byte> Copy(std::span<const std::byte> bytes) {
  return std::vector<std::byte>(bytes.begin(), bytes.end());
}

// A file is read from its start, this much first (the head and usually the
// whole drawing), then as far as its counts and strings reach; a read ends at
// most this far, or an eighth of what was read, past the drawing.
constexpr std::uint64_t kFirstRead = 64 * 1024;

// Thrown by Decode over leading bytes of a file that end before the drawing
// does: the number of leading bytes to read before trying again.
struct ShortImage {
  std::uint64_t wanted;
};

}  // namespace

struct Tjwcin::Drawing {
  // Text strings in text-record order, whole (JwcTextData cuts to 255 bytes).
  std::vector<std::string> TextStrings;
  std::int32_t LineCount = 0, ArcCount = 0, TextCount = 0, DotCount = 0;
  // Raw name bytes, NULs and spaces included; empty (all NUL) when fresh.
  std::array<std::array<char, kLayerNameSize>, 256> LayerNames{};
  std::array<std::array<char, kGroupNameSize>, 16> GroupNames{};
  bool HasNames = false;  // a fresh reader's names are empty strings
  std::array<float, 16> GroupScales{};
  std::array<std::uint8_t, 256> LayerSearch{};
  std::array<std::uint8_t, 16> GroupSearch{};
  std::array<std::uint8_t, 256> LayerView{};
  std::array<std::uint8_t, 16> GroupView{};
  std::array<TJwcTextStyle, kTextStyles> TextStyles{};
  bool IsReal = false;
  float PlotterX = 0, PlotterY = 0;
  std::int32_t PaperCode = 0;
  std::int32_t PaperSizeMm = 0;  // width of the paper; kept when a later code is unknown
  std::int32_t WindowWidth = 0;  // drawing units across the paper's width
  // The records exactly as stored (22, 32, 24 and 12 bytes each); each buffer's
  // size is its byte count. An empty reader holds 10-byte placeholders.
  std::vector<std::byte> LineBuf = std::vector<std::byte>(10);
  std::vector<std::byte> ArcBuf = std::vector<std::byte>(10);
  std::vector<std::byte> TextBuf = std::vector<std::byte>(10);
  std::vector<std::byte> DotBuf = std::vector<std::byte>(10);

  // Decodes `image`, the first bytes of a file of `file_size` bytes, into a
  // fresh drawing; only the paper width carries over from `previous`, kept when
  // the new paper code is not 0..4. Throws ShortImage when `image` ends before
  // the drawing does but the file goes on.
  static std::shared_ptr<const Drawing> Decode(std::span<const std::byte> image,
                                               std::uint64_t file_size, const Drawing& previous);

  // Extended-precision factor of read mode 1, rounded once to float32.
  float ModeOneFactor(std::uint8_t layer) const {
    const long double mm_per_unit =
        static_cast<long double>(PaperSizeMm) / static_cast<long double>(WindowWidth);
    return static_cast<float>(mm_per_unit * static_cast<long double>(GroupScales[layer >> 4]));
  }
};

std::shared_ptr<const Tjwcin::Drawing> Tjwcin::Drawing::Decode(std::span<const std::byte> image,
                                                               std::uint64_t file_size,
                                                               const Drawing& previous) {
  assert(image.size() <= file_size);
  const bool whole = image.size() == file_size;
  constexpr std::uint64_t kLongestHead = kStateBlockReal + kStateBlockSize;
  if (!whole && image.size() < kLongestHead) throw ShortImage{std::min(file_size, kLongestHead)};
  auto drawing = std::make_shared<Drawing>();
  Drawing& d = *drawing;
  d.PaperSizeMm = previous.PaperSizeMm;

  ByteReader in(image, "the fixed head");
  if (image.size() <= kVariantByte) {
    throw FormatError(image.size(), "the file is shorter than its fixed head (" +
                                        std::to_string(image.size()) + " bytes)");
  }
  in.Seek(kVariantByte);
  d.IsReal = in.ReadU8() == 'f';
  const std::size_t state_block = d.IsReal ? kStateBlockReal : kStateBlockInteger;
  const std::size_t entities = state_block + kStateBlockSize;
  if (image.size() < entities) {
    throw FormatError(image.size(), "the file is shorter than its fixed head (" +
                                        std::to_string(image.size()) + " of " +
                                        std::to_string(entities) + " bytes)");
  }

  // The text styles follow the header text: a text running into them is no
  // header text, and bounding it keeps a file of any length from being scanned.
  ByteReader header_text(image.first(kStylePens), "the fixed head");
  header_text.Seek(kHeaderText);
  const HeaderFields header = ScanHeaderText(header_text);
  d.LineCount = *header.counts[0];
  d.ArcCount = *header.counts[1];
  d.TextCount = *header.counts[2];
  d.DotCount = *header.counts[3];
  d.PaperCode = *header.paper_code;
  d.WindowWidth = *header.window_width;
  d.PlotterX = header.plotter_x.value_or(0.0f);
  d.PlotterY = header.plotter_y.value_or(0.0f);
  if (d.PaperCode >= 0 && d.PaperCode < static_cast<std::int32_t>(kJwcSheets.size()))
    d.PaperSizeMm = kJwcSheets[static_cast<std::size_t>(d.PaperCode)].width_mm;

  for (std::size_t i = 0; i < kTextStyles; ++i) {
    TJwcTextStyle& style = d.TextStyles[i];
    in.Seek(kStylePens + 2 * i);
    style.PenColor = in.ReadI16();
    in.Seek(kStyleWidths + 2 * i);
    style.Width = Scaled(in.ReadI16(), 10);
    in.Seek(kStyleHeights + 2 * i);
    style.Height = Scaled(in.ReadI16(), 10);
    in.Seek(kStyleSpacings + 2 * i);
    style.Spacing = Scaled(in.ReadI16(), 10);
  }

  in.Seek(kGroupScales);
  for (float& scale : d.GroupScales) scale = d.IsReal ? in.ReadF32() : in.ReadI16();

  in.Seek(state_block);
  for (auto& state : d.GroupSearch) state = in.ReadU8();
  for (auto& state : d.LayerSearch) state = in.ReadU8();
  for (auto& state : d.GroupView) state = in.ReadU8();
  for (auto& state : d.LayerView) state = in.ReadU8();

  // The tail. Check first, in 64 bits, that the counts can fit in the file at
  // all (every string takes at least its NUL), so that no count sizes an
  // allocation or a read.
  in.Seek(entities);
  const std::uint64_t minimum = kLineSize * std::uint64_t(d.LineCount) +
                                kArcSize * std::uint64_t(d.ArcCount) +
                                (kTextSize + 1) * std::uint64_t(d.TextCount) +
                                kDotSize * std::uint64_t(d.DotCount) + kNamesSize;
  if (minimum > file_size - entities) {
    throw FormatError(in.Offset(),
                      "the counts (" + std::to_string(d.LineCount) + " lines, " +
                          std::to_string(d.ArcCount) + " arcs, " + std::to_string(d.TextCount) +
                          " texts, " + std::to_string(d.DotCount) + " dots) need at least " +
                          std::to_string(minimum) + " bytes after the head, the file has " +
                          std::to_string(file_size - entities));
  }
  if (!whole && minimum > in.Remaining()) throw ShortImage{entities + minimum};
  d.LineBuf = Copy(in.ReadBytes(kLineSize * std::uint64_t(d.LineCount), "the line records"));
  d.ArcBuf = Copy(in.ReadBytes(kArcSize * std::uint64_t(d.ArcCount), "the arc records"));
  d.TextBuf = Copy(in.ReadBytes(kTextSize * std::uint64_t(d.TextCount), "the text records"));
  d.TextStrings.reserve(static_cast<std::size_t>(d.TextCount));
  for (std::int32_t i = 0; i < d.TextCount; ++i) {
    if (!whole && std::memchr(image.data() + in.Offset(), 0, in.Remaining()) == nullptr) {
      // Strings longer than the bytes read so far: at least what the remaining
      // strings, dots and names need, and a step more, as far as the file goes.
      const std::uint64_t needed = image.size() + 1 + std::uint64_t(d.TextCount - i - 1) +
                                   kDotSize * std::uint64_t(d.DotCount) + kNamesSize;
      const std::uint64_t step = std::max<std::uint64_t>(kFirstRead, image.size() / 8);
      throw ShortImage{std::min(file_size, std::max(needed, image.size() + step))};
    }
    d.TextStrings.emplace_back(in.ReadCString("a text string"));
  }
  const std::uint64_t end = in.Offset() + kDotSize * std::uint64_t(d.DotCount) + kNamesSize;
  if (!whole && end > image.size()) throw ShortImage{std::min(file_size, end)};
  d.DotBuf = Copy(in.ReadBytes(kDotSize * std::uint64_t(d.DotCount), "the dot records"));
  const auto layer_names = in.ReadBytes(sizeof d.LayerNames, "the layer names");
  std::memcpy(d.LayerNames.data(), layer_names.data(), layer_names.size());
  const auto group_names = in.ReadBytes(sizeof d.GroupNames, "the group names");
  std::memcpy(d.GroupNames.data(), group_names.data(), group_names.size());
  d.HasNames = true;
  static_assert(sizeof d.LayerNames + sizeof d.GroupNames == kNamesSize);
  return drawing;
}

bool JwcHasSignature(std::span<const std::byte> head) {
  if (head.size() < kJwcSignature.size()) return false;
  return std::memcmp(head.data(), kJwcSignature.data(), kJwcSignature.size()) == 0;
}

bool JwcFileHasSignature(const std::filesystem::path& file) {
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0)
    throw std::system_error(errno, std::generic_category(), "cannot open " + file.string());
  // The open command reads exactly this much; a shorter file is no drawing.
  std::array<std::byte, 40> head{};
  std::size_t done = 0;
  int error = 0;
  while (done < head.size()) {
    const ssize_t got = ::read(fd, head.data() + done, head.size() - done);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) error = errno;
    if (got <= 0) break;
    done += static_cast<std::size_t>(got);
  }
  ::close(fd);
  if (error != 0)
    throw std::system_error(error, std::generic_category(), "cannot read " + file.string());
  return done == head.size() && JwcHasSignature(head);
}

Tjwcin::Tjwcin() : m_drawing(std::make_shared<const Drawing>()) {}

std::int32_t Tjwcin::JwcLoadBytes(std::span<const std::byte> image) {
  try {
    m_drawing = Drawing::Decode(image, image.size(), *m_drawing);
    m_last_error.clear();
    return 0;
  } catch (const FormatError& error) {
    m_last_error = std::string(error.what()) + " (byte " + std::to_string(error.Offset()) + ")";
  } catch (const std::bad_alloc&) {
    m_last_error = "not enough memory for the drawing";
  }
  return 1;
}

std::int32_t Tjwcin::JwcLoadFile(const std::filesystem::path& file_name) {
  const int fd = ::open(file_name.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    throw std::system_error(errno, std::generic_category(), "cannot open " + file_name.string());
  }
  const auto previous = m_drawing;  // a close that fails leaves the reader as it was
  std::int32_t result = 1;
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    m_last_error = "cannot query the file size: " + std::generic_category().message(errno);
  } else if (S_ISDIR(info.st_mode)) {
    m_last_error = "cannot read the file: " + std::generic_category().message(EISDIR);
  } else {
    result = JwcLoadDescriptor(fd, static_cast<std::uint64_t>(info.st_size));
  }
  if (::close(fd) != 0 && result == 0) {
    m_last_error = "cannot close the file: " + std::generic_category().message(errno);
    m_drawing = previous;
    return 1;
  }
  return result;
}

// Memory follows the drawing, not the file: the head first, then only as far as
// the counts and the strings reach; a count the file cannot hold is refused
// before anything is allocated for it.
std::int32_t Tjwcin::JwcLoadDescriptor(int fd, std::uint64_t file_size) {
  std::vector<std::byte> image;
  std::uint64_t wanted = std::min(file_size, kFirstRead);
  try {
    for (;;) {
      const std::size_t done = image.size();
      image.resize(static_cast<std::size_t>(wanted));
      for (std::size_t at = done; at < image.size();) {
        const ssize_t got = ::pread(fd, image.data() + at, image.size() - at, off_t(at));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
          m_last_error = "cannot read the file: " + std::generic_category().message(errno);
          return 1;
        }
        if (got == 0) {
          m_last_error = "the file became shorter while it was read (" + std::to_string(at) +
                         " of " + std::to_string(file_size) + " bytes)";
          return 1;
        }
        at += static_cast<std::size_t>(got);
      }
      try {
        m_drawing = Drawing::Decode(image, file_size, *m_drawing);
        m_last_error.clear();
        return 0;
      } catch (const ShortImage& more) {
        assert(more.wanted > image.size() && more.wanted <= file_size);
        wanted = more.wanted;
      }
    }
  } catch (const FormatError& error) {
    m_last_error = std::string(error.what()) + " (byte " + std::to_string(error.Offset()) + ")";
  } catch (const std::bad_alloc&) {
    m_last_error = "not enough memory for the drawing";
  }
  return 1;
}

void Tjwcin::JwcReadMode(std::int32_t mode) {
  m_read_mode = mode;
}

void Tjwcin::JwcLineData(std::int32_t index, TJwcLine& line) const {
  const Drawing& d = *m_drawing;
  assert(index >= 0 && index < d.LineCount);
  ByteReader in(d.LineBuf, "the line records");
  in.Seek(kLineSize * std::uint64_t(index));
  ByteReader record = in.Sub(kLineSize, "a line record");
  line.X1 = record.ReadF32();
  line.Y1 = record.ReadF32();
  line.X2 = record.ReadF32();
  line.Y2 = record.ReadF32();
  line.LineType = record.ReadU8();
  line.PenColor = record.ReadU8();
  line.Layer = record.ReadU8();
  for (auto& spare : line.Spare) spare = record.ReadU8();
  if (m_read_mode == 1) {
    const float f = d.ModeOneFactor(line.Layer);
    line.X1 *= f;
    line.Y1 *= f;
    line.X2 *= f;
    line.Y2 *= f;
  }
}

void Tjwcin::JwcArcData(std::int32_t index, TJwcArc& arc) const {
  const Drawing& d = *m_drawing;
  assert(index >= 0 && index < d.ArcCount);
  ByteReader in(d.ArcBuf, "the arc records");
  in.Seek(kArcSize * std::uint64_t(index));
  ByteReader record = in.Sub(kArcSize, "an arc record");
  arc.CenterX = record.ReadF32();
  arc.CenterY = record.ReadF32();
  arc.Radius = record.ReadF32();
  arc.Flatness = Scaled(record.ReadI16(), 10000);
  arc.StartAngle = Scaled(record.ReadI32(), 65536);
  arc.EndAngle = Scaled(record.ReadI32(), 65536);
  arc.Tilt = Scaled(record.ReadI32(), 65536);
  arc.LineType = record.ReadU8();
  arc.PenColor = record.ReadU8();
  arc.Layer = record.ReadU8();
  for (auto& spare : arc.Spare) spare = record.ReadU8();
  if (m_read_mode == 1) {
    const float f = d.ModeOneFactor(arc.Layer);
    arc.CenterX *= f;
    arc.CenterY *= f;
    arc.Radius *= f;
  }
}

void Tjwcin::JwcTextData(std::int32_t index, TJwcText& text) const {
  const Drawing& d = *m_drawing;
  if (index < 0 || static_cast<std::size_t>(index) >= d.TextStrings.size()) {
    throw std::out_of_range("text index " + std::to_string(index) + " has no string (" +
                            std::to_string(d.TextStrings.size()) + " texts)");
  }
  ByteReader in(d.TextBuf, "the text records");
  in.Seek(kTextSize * std::uint64_t(index));
  ByteReader record = in.Sub(kTextSize, "a text record");
  text.X1 = record.ReadF32();
  text.Y1 = record.ReadF32();
  text.X2 = record.ReadF32();
  text.Y2 = record.ReadF32();
  record.Skip(4);
  text.Style = record.ReadU8();
  text.Layer = record.ReadU8();
  text.Flags = record.ReadU8();
  text.Spare = record.ReadU8();
  const std::string& stored = d.TextStrings[static_cast<std::size_t>(index)];
  text.Text.assign(stored, 0, kTextLimit);
  if (m_read_mode == 1) {
    const float f = d.ModeOneFactor(text.Layer);
    text.X1 *= f;
    text.Y1 *= f;
    text.X2 *= f;
    text.Y2 *= f;
  }
}

void Tjwcin::JwcDotData(std::int32_t index, TJwcDot& dot) const {
  const Drawing& d = *m_drawing;
  assert(index >= 0 && index < d.DotCount);
  ByteReader in(d.DotBuf, "the dot records");
  in.Seek(kDotSize * std::uint64_t(index));
  ByteReader record = in.Sub(kDotSize, "a dot record");
  dot.X = record.ReadF32();
  dot.Y = record.ReadF32();
  dot.Layer = record.ReadU8();
  dot.PenColor = record.ReadU8();
  for (auto& spare : dot.Spare) spare = record.ReadU8();
  if (m_read_mode == 1) {
    const float f = d.ModeOneFactor(dot.Layer);
    dot.X *= f;
    dot.Y *= f;
  }
}

std::int32_t Tjwcin::JwcLineCount() const {
  return m_drawing->LineCount;
}
std::int32_t Tjwcin::JwcArcCount() const {
  return m_drawing->ArcCount;
}
std::int32_t Tjwcin::JwcTextCount() const {
  return m_drawing->TextCount;
}
std::int32_t Tjwcin::JwcDotCount() const {
  return m_drawing->DotCount;
}

void Tjwcin::JwcLayerName(std::int32_t index, std::string& name) const {
  assert(index >= 0 && index < 256);
  const auto& stored = m_drawing->LayerNames[static_cast<std::size_t>(index)];
  name.assign(stored.data(), m_drawing->HasNames ? stored.size() : 0);
}

void Tjwcin::JwcGroupeName(std::int32_t index, std::string& name) const {
  assert(index >= 0 && index < 16);
  const auto& stored = m_drawing->GroupNames[static_cast<std::size_t>(index)];
  name.assign(stored.data(), m_drawing->HasNames ? stored.size() : 0);
}

double Tjwcin::JwcGroupeScale(std::int32_t index) const {
  assert(index >= 0 && index < 16);
  return m_drawing->GroupScales[static_cast<std::size_t>(index)];
}

std::uint8_t Tjwcin::JwcSearchLayer(std::int32_t index) const {
  assert(index >= 0 && index < 256);
  return m_drawing->LayerSearch[static_cast<std::size_t>(index)];
}

std::uint8_t Tjwcin::JwcSearchGroupe(std::int32_t index) const {
  assert(index >= 0 && index < 16);
  return m_drawing->GroupSearch[static_cast<std::size_t>(index)];
}

std::uint8_t Tjwcin::JwcViewLayer(std::int32_t index) const {
  assert(index >= 0 && index < 256);
  return m_drawing->LayerView[static_cast<std::size_t>(index)];
}

std::uint8_t Tjwcin::JwcViewGroupe(std::int32_t index) const {
  assert(index >= 0 && index < 16);
  return m_drawing->GroupView[static_cast<std::size_t>(index)];
}

void Tjwcin::JwcTextStyle(std::int32_t index, TJwcTextStyle& style) const {
  assert(index >= 0 && index < static_cast<std::int32_t>(kTextStyles));
  style = m_drawing->TextStyles[static_cast<std::size_t>(index)];
}

bool Tjwcin::JwcIsReal() const {
  return m_drawing->IsReal;
}
double Tjwcin::JwcPlotterX() const {
  return m_drawing->PlotterX;
}
double Tjwcin::JwcPlotterY() const {
  return m_drawing->PlotterY;
}
std::int32_t Tjwcin::JwcPaperSize() const {
  return m_drawing->PaperCode;
}
std::int32_t Tjwcin::JwcPaperSizemm() const {
  return m_drawing->PaperSizeMm;
}
std::int32_t Tjwcin::JwcWindowWidth() const {
  return m_drawing->WindowWidth;
}

}  // namespace pelmora
