// The output side: format names, the BMP encoder fed in bands, the delivery's
// refusals and races, interrupted writers, standard output, and PNG read back
// by Qt's decoder.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QBuffer>
#include <QByteArray>
#include <QDir>
#include <QImage>
#include <QImageReader>
#include <QStringList>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdint>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "output/bmp_writer.h"
#include "output/file_encoder.h"
#include "output/image_format.h"
#include "output/output_file.h"
#include "platform/raster/bitmap.h"

namespace pelmora {
namespace {

using ::testing::HasSubstr;

std::vector<std::uint8_t> Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

std::unique_ptr<Bitmap> Noise(int width, int height, int bits) {
  auto image = Bitmap::Create(width, height, bits);
  if (bits == 4 || bits == 8) {
    std::vector<Colour> table;
    for (int i = 0; i < (1 << bits); ++i) table.push_back(Rgb(i * 13, 255 - i, (i * 71) & 255));
    image->SetColourTable(table);
  }
  std::uint32_t seed = 99;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      seed = seed * 1103515245u + 12345u;
      const std::uint32_t v = seed >> 8;
      image->SetValue(x, y, bits <= 8 ? v % (1u << bits) : v & ((1u << bits) - 1));
    }
  }
  return image;
}

ImageShape ShapeOf(const Bitmap& image, int dpi = 72) {
  return {image.Width(), image.Height(), image.BitsPerPixel(), image.ColourTable(), dpi};
}

std::unique_ptr<Bitmap> Band(const Bitmap& image, int first, int rows) {
  auto band = Bitmap::Create(image.Width(), rows, image.BitsPerPixel());
  band->SetColourTable(image.ColourTable());
  for (int y = 0; y < rows; ++y) std::copy_n(image.Row(first + y), image.Stride(), band->Row(y));
  return band;
}

// Writes `image` through `encoder` in bands of `band_height` rows.
bool WriteBands(ImageEncoder& encoder, const Bitmap& image, int band_height, std::string* error) {
  if (!encoder.Begin(ShapeOf(image), error)) return false;
  for (int first = 0; first < image.Height(); first += band_height) {
    const auto band = Band(image, first, std::min(band_height, image.Height() - first));
    if (!encoder.WriteRows(first, *band, error)) return false;
  }
  return encoder.Finish(error);
}

TEST(ImageFormat, NamesAndExtensions) {
  EXPECT_EQ(FormatFromName("plan.bmp"), ImageFormat::kBmp);
  EXPECT_EQ(FormatFromName("dir.png/PLAN.PNG"), ImageFormat::kPng);
  EXPECT_EQ(FormatFromName("a.b.Tif"), ImageFormat::kTiff);
  EXPECT_EQ(FormatFromName("a.tiff"), ImageFormat::kTiff);
  EXPECT_EQ(FormatFromName("x/a.pdf"), ImageFormat::kPdf);
  EXPECT_EQ(FormatFromName("plan.jpg"), std::nullopt);
  EXPECT_EQ(FormatFromName("plan"), std::nullopt);
  EXPECT_EQ(FormatFromName("out.d/plan"), std::nullopt);
  EXPECT_EQ(FormatFromName(".png"), std::nullopt);  // a hidden name, not an extension
  EXPECT_FALSE(HasExtension("out.d/plan"));
  EXPECT_TRUE(HasExtension("plan.jwc"));
  for (const ImageFormat f :
       {ImageFormat::kBmp, ImageFormat::kPng, ImageFormat::kTiff, ImageFormat::kPdf}) {
    EXPECT_EQ(FormatFromString(FormatName(f)), f);
    EXPECT_EQ(FormatFromName("x" + std::string(FormatExtension(f))), f);
  }
  EXPECT_EQ(FormatFromString("TIF"), ImageFormat::kTiff);
  EXPECT_EQ(FormatFromString("gif"), std::nullopt);
  EXPECT_EQ(KnownFileSize(ImageFormat::kBmp, 3508, 2480, 24), 26099574u);
  EXPECT_EQ(KnownFileSize(ImageFormat::kPng, 3508, 2480, 24), std::nullopt);
  EXPECT_EQ(KnownFileSize(ImageFormat::kBmp, 40000, 40000, 24), std::nullopt);
  EXPECT_FALSE(SizeKnownInAdvance(ImageFormat::kTiff));
}

class OutputTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }
  void TearDown() override { UseNamedTemporaryFilesForTesting(false); }
  std::string Path(const std::string& name) const {
    return m_dir.filePath(QString::fromStdString(name)).toStdString();
  }
  QStringList Entries() const {
    return QDir(m_dir.path())
        .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System);
  }
  QTemporaryDir m_dir;
};

TEST_F(OutputTest, BmpInBandsEqualsTheWholeImage) {
  for (int bits : {1, 4, 8, 16, 24}) {
    const auto image = Noise(37, 23, bits);
    std::vector<std::uint8_t> whole;
    ASSERT_TRUE(EncodeBmp(*image, 72, &whole));
    for (int band_height : {1, 7, 23}) {
      SCOPED_TRACE(std::to_string(bits) + " bits, bands of " + std::to_string(band_height));
      FileEncoder encoder(ImageFormat::kBmp, Path("banded.bmp"), {.replace = true});
      std::string error;
      ASSERT_TRUE(WriteBands(encoder, *image, band_height, &error)) << error;
      EXPECT_EQ(Slurp(Path("banded.bmp")), whole);
    }
  }
}

TEST_F(OutputTest, BandsOutOfOrderFailAndLeaveNoFile) {
  const auto image = Noise(16, 10, 24);
  WriteText(Path("old.bmp"), "old");
  for (const ImageFormat format :
       {ImageFormat::kBmp, ImageFormat::kPng, ImageFormat::kTiff, ImageFormat::kPdf}) {
    SCOPED_TRACE(std::string(FormatName(format)));
    FileEncoder encoder(format, Path("old.bmp"), {.replace = true});
    std::string error;
    ASSERT_TRUE(encoder.Begin(ShapeOf(*image), &error)) << error;
    ASSERT_TRUE(encoder.WriteRows(0, *Band(*image, 0, 4), &error));
    EXPECT_FALSE(encoder.WriteRows(5, *Band(*image, 5, 5), &error));  // row 4 skipped
    EXPECT_THAT(error, HasSubstr("out of order"));
    EXPECT_EQ(encoder.Status().error, OutputError::kWriteFailed);
    EXPECT_FALSE(encoder.Finish(&error));
    FileEncoder short_one(format, Path("old.bmp"), {.replace = true});
    ASSERT_TRUE(short_one.Begin(ShapeOf(*image), &error));
    ASSERT_TRUE(short_one.WriteRows(0, *Band(*image, 0, 9), &error));
    EXPECT_FALSE(short_one.Finish(&error));  // a row is missing
    EXPECT_THAT(error, HasSubstr("9 of 10"));
  }
  EXPECT_EQ(Slurp(Path("old.bmp")).size(), 3u);
  EXPECT_EQ(Entries(), QStringList{"old.bmp"});
}

TEST_F(OutputTest, OnlyRegularFilesMayBeReplaced) {
  const std::string fifo = Path("fifo"), device = Path("null"), socket_path = Path("socket");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0666), 0);
  const bool have_device = mknod(device.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;
  const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::snprintf(address.sun_path, sizeof(address.sun_path), "%s", socket_path.c_str());
  ASSERT_EQ(bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
  ASSERT_EQ(symlink("nowhere", Path("dangling").c_str()), 0);
  ASSERT_EQ(symlink(Path("loop-b").c_str(), Path("loop-a").c_str()), 0);
  ASSERT_EQ(symlink(Path("loop-a").c_str(), Path("loop-b").c_str()), 0);
  ASSERT_EQ(symlink(fifo.c_str(), Path("to-fifo").c_str()), 0);
  ASSERT_TRUE(QDir(m_dir.path()).mkdir("folder"));

  struct Case {
    std::string path, reason;
  };
  std::vector<Case> cases = {
      {fifo, "named pipe"},
      {socket_path, "socket"},
      {Path("dangling"), "dangling"},
      {Path("loop-a"), "loop"},
      {Path("to-fifo"), "link to a named pipe"},
      {Path("folder"), "folder"},
      {"/dev/null", "character device"},
  };
  if (have_device) cases.push_back({device, "character device"});
  for (const Case& c : cases) {
    for (bool replace : {false, true}) {
      SCOPED_TRACE(c.path + (replace ? " with replace" : ""));
      const OutputStatus check = CheckOutputTarget(c.path, replace);
      EXPECT_EQ(check.error, OutputError::kCannotCreate);
      EXPECT_THAT(check.reason, HasSubstr(c.reason));
      // The encoder refuses too, before it writes anything.
      OutputStatus status;
      EXPECT_EQ(CreateFileEncoder(ImageFormat::kBmp, c.path, {.replace = replace}, &status),
                nullptr);
      EXPECT_EQ(WriteBmpFile(*Noise(4, 4, 1), 72, c.path).error, OutputError::kCannotCreate);
    }
  }
  ::close(sock);
  struct stat info {};
  ASSERT_EQ(lstat("/dev/null", &info), 0);
  EXPECT_TRUE(S_ISCHR(info.st_mode));
  ASSERT_EQ(lstat(fifo.c_str(), &info), 0);
  EXPECT_TRUE(S_ISFIFO(info.st_mode));
  ASSERT_EQ(lstat(Path("dangling").c_str(), &info), 0);
  EXPECT_TRUE(S_ISLNK(info.st_mode));
  EXPECT_EQ(CheckOutputTarget(Path("new.bmp"), false).error, OutputError::kNone);
  EXPECT_EQ(CheckOutputTarget("", true).error, OutputError::kCannotCreate);
}

TEST_F(OutputTest, ReadOnlyFileIsRefusedEvenToRoot) {
  const std::string locked = Path("locked.bmp");
  WriteText(locked, "keep");
  ASSERT_EQ(chmod(locked.c_str(), 0444), 0);
  const OutputStatus check = CheckOutputTarget(locked, true);
  EXPECT_EQ(check.error, OutputError::kCannotCreate);
  EXPECT_THAT(check.reason, HasSubstr("read-only"));
  EXPECT_EQ(WriteBmpFile(*Noise(4, 4, 24), 72, locked).error, OutputError::kCannotCreate);
  EXPECT_EQ(Slurp(locked).size(), 4u);
  ASSERT_EQ(symlink(locked.c_str(), Path("link").c_str()), 0);
  EXPECT_EQ(CheckOutputTarget(Path("link"), true).error, OutputError::kCannotCreate);
}

TEST_F(OutputTest, ExistingFileWithoutReplaceIsExists) {
  WriteText(Path("plan.png"), "mine");
  ASSERT_EQ(symlink(Path("plan.png").c_str(), Path("link.png").c_str()), 0);
  for (const char* name : {"plan.png", "link.png"}) {
    const OutputStatus check = CheckOutputTarget(Path(name), false);
    EXPECT_EQ(check.error, OutputError::kExists);
    EXPECT_THAT(check.reason, HasSubstr("exists"));
    EXPECT_EQ(CheckOutputTarget(Path(name), true).error, OutputError::kNone);
  }
}

// Two writers of one new name without replace: whichever delivers first wins,
// the other is told the name exists, and the winner's bytes stay.
TEST_F(OutputTest, RacingWritersWithoutReplaceExactlyOneWins) {
  for (bool named : {false, true}) {
    SCOPED_TRACE(named ? "named temporary file" : "unnamed temporary file");
    UseNamedTemporaryFilesForTesting(named);
    const std::string path = Path(named ? "race-named.bmp" : "race.bmp");
    const auto first = Noise(9, 5, 24), second = Noise(9, 6, 24);
    FileEncoder a(ImageFormat::kBmp, path, {}), b(ImageFormat::kBmp, path, {});
    std::string error;
    ASSERT_TRUE(a.Begin(ShapeOf(*first), &error)) << error;
    ASSERT_TRUE(b.Begin(ShapeOf(*second), &error)) << error;
    ASSERT_TRUE(a.WriteRows(0, *first, &error));
    ASSERT_TRUE(b.WriteRows(0, *second, &error));
    ASSERT_TRUE(a.Finish(&error)) << error;
    EXPECT_FALSE(b.Finish(&error));
    EXPECT_EQ(b.Status().error, OutputError::kExists);
    EXPECT_THAT(error, HasSubstr("exists"));
    std::vector<std::uint8_t> want;
    ASSERT_TRUE(EncodeBmp(*first, 72, &want));
    EXPECT_EQ(Slurp(path), want);
  }
  EXPECT_EQ(Entries(), (QStringList{"race-named.bmp", "race.bmp"}));
}

TEST_F(OutputTest, TargetThatTurnsIntoAPipeWhileWritingIsLeftAlone) {
  for (bool named : {false, true}) {
    UseNamedTemporaryFilesForTesting(named);
    const std::string path = Path("turns.bmp");
    const auto image = Noise(5, 5, 8);
    FileEncoder encoder(ImageFormat::kBmp, path, {.replace = true});
    std::string error;
    ASSERT_TRUE(encoder.Begin(ShapeOf(*image), &error));
    ASSERT_TRUE(encoder.WriteRows(0, *image, &error));
    ASSERT_EQ(mkfifo(path.c_str(), 0666), 0);
    EXPECT_FALSE(encoder.Finish(&error));
    EXPECT_THAT(error, HasSubstr("named pipe"));
    struct stat info {};
    ASSERT_EQ(lstat(path.c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
    EXPECT_EQ(Entries(), QStringList{"turns.bmp"});
    ASSERT_EQ(unlink(path.c_str()), 0);
  }
}

TEST_F(OutputTest, NewFilesFollowTheUmaskReplacedFilesKeepTheirMode) {
  const mode_t previous = umask(027);
  for (bool named : {false, true}) {
    UseNamedTemporaryFilesForTesting(named);
    const std::string fresh = Path(named ? "new-named.bmp" : "new.bmp");
    ASSERT_TRUE(WriteBmpFile(*Noise(3, 3, 24), 72, fresh).ok());
    struct stat info {};
    ASSERT_EQ(stat(fresh.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u) << named;
    const std::string kept = Path("kept.bmp");
    WriteText(kept, "x");
    ASSERT_EQ(chmod(kept.c_str(), 0604), 0);
    ASSERT_TRUE(WriteBmpFile(*Noise(3, 3, 24), 72, kept).ok());
    ASSERT_EQ(stat(kept.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0604u) << named;
  }
  umask(previous);
}

// A child writes a large image band by band and is killed after its first band;
// `kill_with` is SIGKILL (nothing can clean up) or a signal the handler catches.
void KillWriterMidway(const std::string& path, int kill_with, bool named) {
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::close(ready[0]);
    UseNamedTemporaryFilesForTesting(named);
    const auto band = Bitmap::Create(4000, 100, 24);
    FileEncoder encoder(ImageFormat::kBmp, path, {});
    std::string error;
    if (!encoder.Begin({4000, 10000, 24, {}, 72}, &error)) _exit(3);
    for (int first = 0; first < 10000; first += 100) {
      if (!encoder.WriteRows(first, *band, &error)) _exit(4);
      if (first == 0 && ::write(ready[1], "x", 1) != 1) _exit(5);
      usleep(100000);
    }
    _exit(6);  // not reached within the test's patience
  }
  ::close(ready[1]);
  char byte = 0;
  ASSERT_EQ(::read(ready[0], &byte, 1), 1);
  ::close(ready[0]);
  ASSERT_EQ(kill(child, kill_with), 0);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status)) << status;
  EXPECT_EQ(WTERMSIG(status), kill_with);
}

TEST_F(OutputTest, KilledWriterLeavesNoTemporaryFile) {
  WriteText(Path("old.bmp"), "old");
  KillWriterMidway(Path("new.bmp"), SIGKILL, false);
  EXPECT_EQ(Entries(), QStringList{"old.bmp"});
  for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(signal_number);
    KillWriterMidway(Path("new.bmp"), signal_number, true);
    EXPECT_EQ(Entries(), QStringList{"old.bmp"});
  }
}

// Runs `body` in a child whose standard output is `fd`; its exit status.
int WithStandardOutput(int fd, const std::function<int()>& body) {
  const pid_t child = fork();
  if (child == 0) {
    if (dup2(fd, STDOUT_FILENO) < 0) _exit(100);
    _exit(body());
  }
  int status = 0;
  if (child < 0 || waitpid(child, &status, 0) != child) return 101;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 200 + WTERMSIG(status);
}

TEST_F(OutputTest, StandardOutputGetsTheFileAndItsFailuresAreReported) {
  const auto image = Noise(31, 17, 4);
  std::vector<std::uint8_t> want;
  ASSERT_TRUE(EncodeBmp(*image, 72, &want));
  const auto write_stdout = [&](const char* expected_reason) {
    FileEncoder encoder(ImageFormat::kBmp, kStandardOutput, {});
    std::string error;
    const bool ok = WriteBands(encoder, *image, 5, &error);
    if (!expected_reason) return ok ? 0 : 1;
    return !ok && encoder.Status().error == OutputError::kWriteFailed &&
                   error.find(expected_reason) != std::string::npos
               ? 0
               : 1;
  };
  const int fd = ::open(Path("captured").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(WithStandardOutput(fd, [&] { return write_stdout(nullptr); }), 0);
  ::close(fd);
  EXPECT_EQ(Slurp(Path("captured")), want);

  int reader_gone[2];
  ASSERT_EQ(pipe(reader_gone), 0);
  ::close(reader_gone[0]);
  EXPECT_EQ(WithStandardOutput(reader_gone[1], [&] { return write_stdout("Broken pipe"); }), 0);
  ::close(reader_gone[1]);

  const int full = ::open("/dev/full", O_WRONLY);
  if (full >= 0) {
    EXPECT_EQ(WithStandardOutput(full, [&] { return write_stdout("No space"); }), 0);
    ::close(full);
  }
  EXPECT_EQ(Entries(), QStringList{"captured"});
}

QImage DecodePng(const std::string& path) {
  QImageReader reader(QString::fromStdString(path), "png");
  QImage image = reader.read();
  EXPECT_FALSE(image.isNull()) << reader.errorString().toStdString();
  return image;
}

TEST_F(OutputTest, QtReadsThePngIndicesTableAndResolution) {
  for (int bits : {1, 4, 8, 16, 24}) {
    SCOPED_TRACE(bits);
    const auto image = Noise(29, 11, bits);
    FileEncoder encoder(ImageFormat::kPng, Path("p.png"), {.replace = true});
    std::string error;
    ASSERT_TRUE(WriteBands(encoder, *image, 4, &error)) << error;
    const QImage png = DecodePng(Path("p.png"));
    ASSERT_EQ(png.width(), 29);
    ASSERT_EQ(png.height(), 11);
    EXPECT_EQ(png.dotsPerMeterX(), 2835);
    if (bits <= 8) {
      const QList<QRgb> table = png.colorTable();
      ASSERT_EQ(table.size(), 1 << bits);
      for (int i = 0; i < table.size(); ++i) {
        EXPECT_EQ(table[i], qRgb(RedOf(image->ColourTable()[i]), GreenOf(image->ColourTable()[i]),
                                 BlueOf(image->ColourTable()[i])))
            << i;
      }
    }
    for (int y = 0; y < 11; ++y) {
      for (int x = 0; x < 29; ++x) {
        if (bits <= 8) {
          ASSERT_EQ(static_cast<std::uint32_t>(png.pixelIndex(x, y)), image->ValueAt(x, y));
          continue;
        }
        const QRgb got = png.pixel(x, y);
        if (bits == 24) {
          const Colour c = image->ColourAt(x, y);
          ASSERT_EQ(got, qRgb(RedOf(c), GreenOf(c), BlueOf(c)));
        } else {
          // Each field widened by repeating its top bits: full white stays white.
          const std::uint32_t v = image->ValueAt(x, y);
          const int r = (v >> 11) & 31, g = (v >> 5) & 63, b = v & 31;
          ASSERT_EQ(got, qRgb((r << 3) | (r >> 2), (g << 2) | (g >> 4), (b << 3) | (b >> 2)));
        }
      }
    }
  }
}

}  // namespace
}  // namespace pelmora
