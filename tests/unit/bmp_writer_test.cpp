// Bitmap files: header numbers, bytes read back by Qt's own decoder, and
// failures that must leave the user's files alone.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QBuffer>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QStringList>
#include <QTemporaryDir>
#include <cstdint>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "output/bmp_writer.h"
#include "platform/raster/bitmap.h"

namespace pelmora {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

std::uint32_t U32At(const std::vector<std::uint8_t>& b, std::size_t at) {
  return static_cast<std::uint32_t>(b.at(at) | (b.at(at + 1) << 8) | (b.at(at + 2) << 16)) |
         (static_cast<std::uint32_t>(b.at(at + 3)) << 24);
}
std::uint32_t U16At(const std::vector<std::uint8_t>& b, std::size_t at) {
  return static_cast<std::uint32_t>(b.at(at) | (b.at(at + 1) << 8));
}

std::vector<std::uint8_t> Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// Every pixel a different-looking value, table entries all distinct.
std::unique_ptr<Bitmap> Patterned(int width, int height, int bits) {
  auto image = Bitmap::Create(width, height, bits);
  if (bits == 4) {
    std::vector<Colour> table;
    for (int i = 0; i < 16; ++i) table.push_back(Rgb(i * 16, 255 - i * 16, (i * 53) & 255));
    image->SetColourTable(table);
  } else if (bits == 8) {
    std::vector<Colour> table;
    for (int i = 0; i < 256; ++i) table.push_back(Rgb(i, (i * 7) & 255, 255 - i));
    image->SetColourTable(table);
  }
  std::uint32_t seed = 12345;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      seed = seed * 1103515245u + 12345u;
      const std::uint32_t v = seed >> 8;
      image->SetValue(x, y, bits <= 8 ? v % (1u << bits) : v & ((1u << bits) - 1));
    }
  }
  return image;
}

QImage Decode(const std::vector<std::uint8_t>& bytes) {
  QByteArray data(reinterpret_cast<const char*>(bytes.data()), static_cast<int>(bytes.size()));
  QBuffer buffer(&data);
  QImageReader reader(&buffer, "bmp");
  QImage image = reader.read();
  EXPECT_FALSE(image.isNull()) << reader.errorString().toStdString();
  return image;
}

// Compares what Qt decodes with what the bitmap holds, pixel by pixel. A 5-6-5
// pixel is compared in its stored precision: decoders widen the fields differently.
void ExpectSamePixels(const QImage& decoded, const Bitmap& image) {
  ASSERT_EQ(decoded.width(), image.Width());
  ASSERT_EQ(decoded.height(), image.Height());
  for (int y = 0; y < image.Height(); ++y) {
    for (int x = 0; x < image.Width(); ++x) {
      const QRgb got = decoded.pixel(x, y);
      const Colour want = image.ColourAt(x, y);
      if (image.BitsPerPixel() == 16) {
        const std::uint32_t v = image.ValueAt(x, y);
        ASSERT_EQ(static_cast<std::uint32_t>(qRed(got)) >> 3, (v >> 11) & 31) << x << "," << y;
        ASSERT_EQ(static_cast<std::uint32_t>(qGreen(got)) >> 2, (v >> 5) & 63) << x << "," << y;
        ASSERT_EQ(static_cast<std::uint32_t>(qBlue(got)) >> 3, v & 31) << x << "," << y;
      } else {
        ASSERT_EQ(qRed(got), RedOf(want)) << x << "," << y;
        ASSERT_EQ(qGreen(got), GreenOf(want)) << x << "," << y;
        ASSERT_EQ(qBlue(got), BlueOf(want)) << x << "," << y;
      }
    }
  }
}

// Runs `body` where file permissions apply: in a child process as the user
// "nobody" when the tests run as root (root ignores them), else right here.
int AsUnprivileged(const std::function<int()>& body) {
  if (geteuid() != 0) return body();
  const pid_t pid = fork();
  if (pid == 0) {
    if (setgid(65534) != 0 || setuid(65534) != 0) _exit(100);
    _exit(body());
  }
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid) return 101;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 102;
}

TEST(BmpLayout, A4At300DpiAtEveryDepth) {
  struct Row {
    int bits;
    std::uint64_t stride, image_size, file_size;
    std::uint32_t off_bits, colours;
  };
  const Row rows[] = {
      {1, 440, 1091200, 1091262, 62, 2},      {4, 1756, 4354880, 4354998, 118, 16},
      {8, 3508, 8699840, 8700918, 1078, 256}, {16, 7016, 17399680, 17399746, 66, 0},
      {24, 10524, 26099520, 26099574, 54, 0},
  };
  for (const Row& row : rows) {
    const auto layout = BmpLayoutFor(3508, 2480, row.bits);
    ASSERT_TRUE(layout);
    EXPECT_EQ(layout->stride, row.stride) << row.bits;
    EXPECT_EQ(layout->image_size, row.image_size) << row.bits;
    EXPECT_EQ(layout->file_size, row.file_size) << row.bits;
    EXPECT_EQ(layout->off_bits, row.off_bits) << row.bits;
    EXPECT_EQ(layout->colours_used, row.colours) << row.bits;
    EXPECT_TRUE(layout->fits);
  }
  EXPECT_FALSE(BmpLayoutFor(10, 10, 32));
  EXPECT_FALSE(BmpLayoutFor(-1, 10, 24));
  // 40000 × 40000 at 24 bits is 4.8 GB: beyond the format's 32-bit sizes.
  EXPECT_FALSE(BmpLayoutFor(40000, 40000, 24)->fits);
}

TEST(BmpLayout, PixelsPerMetreRoundsHalvesToEven) {
  std::vector<int> values;
  for (int dpi : {36, 72, 100, 144, 180, 300, 360}) values.push_back(PixelsPerMetre(dpi));
  EXPECT_THAT(values, ElementsAre(1417, 2835, 3937, 5669, 7087, 11811, 14173));
  // dpi × 39.37 ends in exactly .5 for these: the even neighbour wins.
  EXPECT_EQ(PixelsPerMetre(50), 1968);
  EXPECT_EQ(PixelsPerMetre(150), 5906);
  EXPECT_EQ(PixelsPerMetre(250), 9842);
  EXPECT_EQ(PixelsPerMetre(0), 0);
  EXPECT_EQ(PixelsPerMetre(2147483647), 2147483647);  // held within the field
}

TEST(BmpEncode, HeaderFieldsOfTheA4Example) {
  for (int bits : {1, 24}) {
    const auto image = Bitmap::Create(3508, 2480, bits);
    std::vector<std::uint8_t> bytes;
    std::string error;
    ASSERT_TRUE(EncodeBmp(*image, 300, &bytes, &error)) << error;
    const auto layout = BmpLayoutFor(3508, 2480, bits);
    ASSERT_EQ(bytes.size(), layout->file_size);
    EXPECT_EQ(bytes[0], 'B');
    EXPECT_EQ(bytes[1], 'M');
    EXPECT_EQ(U32At(bytes, 2), layout->file_size);  // bfSize
    EXPECT_EQ(U32At(bytes, 6), 0u);                 // bfReserved1, bfReserved2
    EXPECT_EQ(U32At(bytes, 10), layout->off_bits);  // bfOffBits
    EXPECT_EQ(U32At(bytes, 14), 40u);               // biSize
    EXPECT_EQ(U32At(bytes, 18), 3508u);             // biWidth
    EXPECT_EQ(U32At(bytes, 22), 2480u);             // biHeight
    EXPECT_EQ(U16At(bytes, 26), 1u);                // biPlanes
    EXPECT_EQ(U16At(bytes, 28), static_cast<std::uint32_t>(bits));
    EXPECT_EQ(U32At(bytes, 30), 0u);  // BI_RGB
    EXPECT_EQ(U32At(bytes, 34), layout->image_size);
    EXPECT_EQ(U32At(bytes, 38), 11811u);
    EXPECT_EQ(U32At(bytes, 42), 11811u);
    EXPECT_EQ(U32At(bytes, 46), bits == 1 ? 2u : 0u);  // biClrUsed
    EXPECT_EQ(U32At(bytes, 50), 0u);                   // biClrImportant
  }
}

TEST(BmpEncode, OneBitTableAndSixteenBitMasks) {
  auto mono = Bitmap::Create(8, 2, 1);
  std::vector<std::uint8_t> bytes;
  ASSERT_TRUE(EncodeBmp(*mono, 72, &bytes));
  EXPECT_EQ(U32At(bytes, 38), 2835u);
  EXPECT_EQ(U32At(bytes, 42), 2835u);
  EXPECT_THAT(std::vector<std::uint8_t>(bytes.begin() + 54, bytes.begin() + 62),
              ElementsAre(0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0x00));

  auto deep = Bitmap::Create(3, 1, 16);
  ASSERT_TRUE(EncodeBmp(*deep, 72, &bytes));
  EXPECT_EQ(U32At(bytes, 30), 3u);  // BI_BITFIELDS
  EXPECT_EQ(U32At(bytes, 54), 0xF800u);
  EXPECT_EQ(U32At(bytes, 58), 0x07E0u);
  EXPECT_EQ(U32At(bytes, 62), 0x001Fu);
  EXPECT_EQ(U32At(bytes, 10), 66u);
}

TEST(BmpEncode, ColourTableIsBlueFirstAndPaddedToItsCount) {
  auto image = Bitmap::Create(2, 2, 8);
  image->SetColourTable({Rgb(0x11, 0x22, 0x33), Rgb(0xAA, 0xBB, 0xCC)});
  image->SetValue(1, 0, 1);
  std::vector<std::uint8_t> bytes;
  ASSERT_TRUE(EncodeBmp(*image, 96, &bytes));
  EXPECT_EQ(U32At(bytes, 46), 256u);
  EXPECT_EQ(U32At(bytes, 10), 1078u);
  EXPECT_THAT(std::vector<std::uint8_t>(bytes.begin() + 54, bytes.begin() + 62),
              ElementsAre(0x33, 0x22, 0x11, 0x00, 0xCC, 0xBB, 0xAA, 0x00));
  for (std::size_t i = 62; i < 1078; ++i) ASSERT_EQ(bytes[i], 0) << i;
  const QImage decoded = Decode(bytes);
  EXPECT_EQ(decoded.pixel(1, 0), qRgb(0xAA, 0xBB, 0xCC));
  EXPECT_EQ(decoded.pixel(0, 1), qRgb(0x11, 0x22, 0x33));
}

TEST(BmpEncode, QtReadsEveryDepthPixelForPixel) {
  // Widths that end mid-byte and mid-word at every depth; rows come out
  // bottom-up, which a mirrored picture would betray.
  for (int bits : {1, 4, 8, 16, 24}) {
    for (int width : {1, 13, 33}) {
      SCOPED_TRACE(std::to_string(bits) + " bits, width " + std::to_string(width));
      const auto image = Patterned(width, 7, bits);
      std::vector<std::uint8_t> bytes;
      std::string error;
      ASSERT_TRUE(EncodeBmp(*image, 300, &bytes, &error)) << error;
      ASSERT_EQ(bytes.size(), BmpLayoutFor(width, 7, bits)->file_size);
      ExpectSamePixels(Decode(bytes), *image);
    }
  }
}

TEST(BmpEncode, BitsPastTheLastPixelAreZero) {
  for (int bits : {1, 4, 8, 16, 24}) {
    SCOPED_TRACE(bits);
    const int width = 5;
    auto image = Patterned(width, 3, bits);
    // Garbage in every bit after the last pixel of each row.
    const std::size_t used_bits = static_cast<std::size_t>(width * bits);
    for (int y = 0; y < 3; ++y) {
      std::uint8_t* row = image->Row(y);
      if (used_bits % 8) row[used_bits / 8] |= static_cast<std::uint8_t>(0xFF >> (used_bits % 8));
      for (std::size_t i = (used_bits + 7) / 8; i < image->Stride(); ++i) row[i] = 0xA5;
    }
    std::vector<std::uint8_t> bytes;
    ASSERT_TRUE(EncodeBmp(*image, 36, &bytes));
    const auto layout = *BmpLayoutFor(width, 3, bits);
    for (int file_row = 0; file_row < 3; ++file_row) {
      const std::uint8_t* row = bytes.data() + layout.off_bits + file_row * layout.stride;
      if (used_bits % 8) {
        EXPECT_EQ(row[used_bits / 8] & (0xFF >> (used_bits % 8)), 0) << file_row;
      }
      for (std::size_t i = (used_bits + 7) / 8; i < layout.stride; ++i) {
        EXPECT_EQ(row[i], 0) << file_row << " byte " << i;
      }
    }
    ExpectSamePixels(Decode(bytes), *image);
  }
}

TEST(BmpEncode, RefusesWhatTheFormatCannotHold) {
  std::vector<std::uint8_t> bytes;
  std::string error;
  auto empty = Bitmap::Create(0, 10, 24);
  EXPECT_FALSE(EncodeBmp(*empty, 72, &bytes, &error));
  EXPECT_THAT(error, HasSubstr("empty"));
}

class BmpFileTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }
  std::string Path(const std::string& name) const {
    return m_dir.filePath(QString::fromStdString(name)).toStdString();
  }
  QStringList Entries() const {
    return QDir(m_dir.path())
        .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System);
  }
  QTemporaryDir m_dir;
};

TEST_F(BmpFileTest, FileHoldsTheEncodedBytesEveryTime) {
  const auto image = Patterned(37, 11, 4);
  const std::string path = Path("plan.bmp");
  ASSERT_TRUE(WriteBmpFile(*image, 144, path).ok());
  const auto first = Slurp(path);
  ASSERT_TRUE(WriteBmpFile(*image, 144, path).ok());  // replaces the file
  EXPECT_EQ(Slurp(path), first);
  std::vector<std::uint8_t> encoded;
  ASSERT_TRUE(EncodeBmp(*image, 144, &encoded));
  EXPECT_EQ(first, encoded);
  EXPECT_EQ(Entries(), QStringList{"plan.bmp"}) << "no temporary file is left";

  QImageReader reader(QString::fromStdString(path));
  const QImage decoded = reader.read();
  ASSERT_FALSE(decoded.isNull()) << reader.errorString().toStdString();
  ExpectSamePixels(decoded, *image);
  EXPECT_EQ(decoded.dotsPerMeterX(), 5669);
}

TEST_F(BmpFileTest, LargeRowsGoOutInPieces) {
  // A row longer than the write chunk takes the other path through the writer.
  const int width = static_cast<int>(kBmpWriteChunk / 3) + 17;
  const auto image = Patterned(width, 3, 24);
  const std::string path = Path("wide.bmp");
  ASSERT_TRUE(WriteBmpFile(*image, 72, path).ok());
  std::vector<std::uint8_t> encoded;
  ASSERT_TRUE(EncodeBmp(*image, 72, &encoded));
  EXPECT_EQ(Slurp(path), encoded);
}

TEST_F(BmpFileTest, ExistingFileKeepsItsPermissionsAndLinksAreFollowed) {
  const auto image = Patterned(4, 4, 24);
  const std::string real = Path("real.bmp");
  WriteText(real, "old");
  ASSERT_EQ(chmod(real.c_str(), 0640), 0);
  const std::string link = Path("link.bmp");
  ASSERT_EQ(symlink(real.c_str(), link.c_str()), 0);
  ASSERT_TRUE(WriteBmpFile(*image, 72, link).ok());
  struct stat info {};
  ASSERT_EQ(lstat(link.c_str(), &info), 0);
  EXPECT_TRUE(S_ISLNK(info.st_mode)) << "the link stays a link";
  ASSERT_EQ(stat(real.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
  EXPECT_EQ(Slurp(real).size(), BmpLayoutFor(4, 4, 24)->file_size);
}

TEST_F(BmpFileTest, MissingFolderCannotBeCreated) {
  const auto image = Patterned(4, 4, 1);
  const std::string path = Path("no/such/folder/out.bmp");
  const BmpWriteResult result = WriteBmpFile(*image, 72, path);
  EXPECT_EQ(result.error, BmpError::kCannotCreate);
  EXPECT_EQ(result.Message(), "ファイル " + path + " を作成できません");
  EXPECT_THAT(result.reason, HasSubstr("No such file"));
}

TEST_F(BmpFileTest, FolderInThePlaceOfTheFile) {
  const auto image = Patterned(4, 4, 8);
  const std::string path = Path("taken.bmp");
  ASSERT_TRUE(QDir(m_dir.path()).mkdir("taken.bmp"));
  const BmpWriteResult result = WriteBmpFile(*image, 72, path);
  EXPECT_EQ(result.error, BmpError::kCannotCreate);
  EXPECT_TRUE(QFileInfo(QString::fromStdString(path)).isDir());
  EXPECT_EQ(Entries(), QStringList{"taken.bmp"});
}

TEST_F(BmpFileTest, ReadOnlyFolderAndReadOnlyFile) {
  const auto image = Patterned(4, 4, 24);
  const std::string kept = Path("kept.bmp");
  const std::string locked = Path("locked.bmp");
  WriteText(kept, "the user's file");
  WriteText(locked, "read-only");
  ASSERT_EQ(chmod(kept.c_str(), 0666), 0);
  ASSERT_EQ(chmod(locked.c_str(), 0444), 0);
  // The folder is closed to writing: neither a new file nor a replacement.
  ASSERT_EQ(chmod(m_dir.path().toLocal8Bit().constData(), 0555), 0);
  const int in_closed_folder = AsUnprivileged([&] {
    const auto a = WriteBmpFile(*image, 72, kept);
    const auto b = WriteBmpFile(*image, 72, Path("new.bmp"));
    return (a.error == BmpError::kCannotCreate ? 0 : 1) |
           (b.error == BmpError::kCannotCreate ? 0 : 2);
  });
  EXPECT_EQ(in_closed_folder, 0);
  // In a writable folder a read-only file is still not replaced.
  ASSERT_EQ(chmod(m_dir.path().toLocal8Bit().constData(), 0777), 0);
  const int over_read_only = AsUnprivileged([&] {
    const auto result = WriteBmpFile(*image, 72, locked);
    return result.error == BmpError::kCannotCreate ? 0 : 1;
  });
  ASSERT_EQ(chmod(m_dir.path().toLocal8Bit().constData(), 0700), 0);
  EXPECT_EQ(over_read_only, 0);
  EXPECT_EQ(Slurp(kept), std::vector<std::uint8_t>({'t', 'h', 'e', ' ', 'u', 's', 'e', 'r', '\'',
                                                    's', ' ', 'f', 'i', 'l', 'e'}));
  EXPECT_EQ(Slurp(locked).size(), 9u);
  EXPECT_EQ(Entries(), (QStringList{"kept.bmp", "locked.bmp"}));
}

TEST_F(BmpFileTest, ShortWriteLeavesTheOldFileAndNoTrace) {
  // The file-size limit makes the kernel refuse the write past 4096 bytes, as a
  // full disk would.
  const auto image = Patterned(200, 200, 24);
  const std::string path = Path("drawing.bmp");
  WriteText(path, "previous picture");
  struct sigaction ignore {
  }, previous{};
  ignore.sa_handler = SIG_IGN;
  ASSERT_EQ(sigaction(SIGXFSZ, &ignore, &previous), 0);
  rlimit old_limit{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old_limit), 0);
  rlimit limit = old_limit;
  limit.rlim_cur = 4096;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
  const BmpWriteResult result = WriteBmpFile(*image, 72, path);
  setrlimit(RLIMIT_FSIZE, &old_limit);
  sigaction(SIGXFSZ, &previous, nullptr);

  EXPECT_EQ(result.error, BmpError::kWriteFailed);
  EXPECT_FALSE(result.ok());
  EXPECT_EQ(result.Message(), "保存出来ませんでした。");
  EXPECT_THAT(result.reason, HasSubstr("too large"));  // EFBIG: "File too large"
  EXPECT_EQ(Slurp(path).size(), 16u);
  EXPECT_EQ(Entries(), QStringList{"drawing.bmp"});
}

TEST_F(BmpFileTest, EmptyImageTouchesNoFile) {
  const auto image = Bitmap::Create(12, 0, 24);
  const std::string path = Path("keep.bmp");
  WriteText(path, "keep");
  const BmpWriteResult result = WriteBmpFile(*image, 72, path);
  EXPECT_EQ(result.error, BmpError::kWriteFailed);
  EXPECT_EQ(Slurp(path).size(), 4u);
  EXPECT_EQ(Entries(), QStringList{"keep.bmp"});
}

}  // namespace
}  // namespace pelmora
