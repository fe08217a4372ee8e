// pelmora-convert's command line and conversions, driven in-process: parsing,
// settings order, output names, regions, and whole runs checked with Qt's decoder.
#include <gtest/gtest.h>

#include <QImage>
#include <QImageReader>
#include <QString>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "cli/convert.h"
#include "cli/options.h"
#include "render/summary_format.h"
#include "tests/support/jwc_writer.h"

namespace pelmora {
namespace {

namespace fs = std::filesystem;

std::optional<ConvertOptions> Parse(std::vector<std::string> args, std::string* error = nullptr) {
  std::string ignored;
  return ParseCommandLine(args, error != nullptr ? error : &ignored);
}

TEST(CliOptions, ValuesInEverySpelling) {
  const auto o = Parse({"--dpi=300", "--depth", "8", "-fq", "-oout.bmp", "--set", "Color1=255",
                        "--set=WriteDPI=0", "--show-all", "--defaults", "plan.jwc"});
  ASSERT_TRUE(o);
  EXPECT_EQ(o->dpi, 300);
  EXPECT_EQ(o->depth, 8);
  EXPECT_TRUE(o->force && o->quiet && o->show_all && o->defaults);
  EXPECT_EQ(o->output, "out.bmp");
  EXPECT_EQ(o->assignments, (std::vector<std::string>{"Color1=255", "WriteDPI=0"}));
  EXPECT_EQ(o->drawings, std::vector<std::string>{"plan.jwc"});

  const auto d = Parse({"-d", "out", "a.jwc", "--", "-b.jwc", "--info"});
  ASSERT_TRUE(d);
  EXPECT_EQ(d->output_dir, "out");
  EXPECT_EQ(d->drawings, (std::vector<std::string>{"a.jwc", "-b.jwc", "--info"}));
  EXPECT_FALSE(d->info);
}

TEST(CliOptions, GnuAbbreviationsAndEndOfOptions) {
  const auto o = Parse(
      {"plan.jwc", "--dry", "--def", "--dp=72", "--output-d", "out", "--q", "--", "--dry-run"});
  ASSERT_TRUE(o);
  EXPECT_TRUE(o->dry_run && o->defaults && o->quiet);
  EXPECT_EQ(o->dpi, 72);
  EXPECT_EQ(o->output_dir, "out");
  EXPECT_EQ(o->drawings, (std::vector<std::string>{"plan.jwc", "--dry-run"}));
  // "-" is a drawing (standard input), not an option; its output needs a name.
  const auto dash = Parse({"-", "-q", "-o", "a.png"});
  ASSERT_TRUE(dash);
  EXPECT_EQ(dash->drawings, std::vector<std::string>{"-"});
  EXPECT_TRUE(dash->quiet);
  EXPECT_FALSE(Parse({"-", "-q"}));

  std::string error;
  EXPECT_FALSE(Parse({"--d", "x.jwc"}, &error));
  EXPECT_EQ(error, "option '--d' is ambiguous");
  EXPECT_FALSE(Parse({"--de=1", "x.jwc"}, &error));
  EXPECT_EQ(error, "option '--de' is ambiguous");
  EXPECT_FALSE(Parse({"x.jwc", "--dp"}, &error));
  EXPECT_EQ(error, "--dpi needs a value") << "an abbreviation is named in full";
  EXPECT_FALSE(Parse({"--quiet=yes", "x.jwc"}, &error));
  EXPECT_EQ(error, "--quiet takes no value");
  EXPECT_FALSE(Parse({"-qz", "x.jwc"}, &error));
  EXPECT_EQ(error, "unknown option '-z'");
  // A second parse starts afresh (getopt keeps its place in globals).
  EXPECT_TRUE(Parse({"-fq", "x.jwc"}));
  EXPECT_TRUE(Parse({"-fq", "x.jwc"}));
}

TEST(CliOptions, ShowAndHideApplyInOrderAfterTheViewStates) {
  const auto o =
      Parse({"--hide", "*", "--show", "2-3,0-e", "--show", "1-*", "--hide", "1-4", "x.jwc"});
  ASSERT_TRUE(o);
  ASSERT_EQ(o->visibility.size(), 5u);
  EXPECT_EQ(o->visibility[1], (VisibilityChange{true, 2, 3}));
  EXPECT_EQ(o->visibility[2], (VisibilityChange{true, 0, 14}));
  std::array<std::uint8_t, 256> layers;
  std::array<std::uint8_t, 16> groups;
  layers.fill(1);
  groups.fill(1);
  ApplyVisibility(*o, layers, groups);
  std::vector<int> shown;
  for (int l = 0; l < 256; ++l) {
    if (layers[static_cast<std::size_t>(l)] == 1 && groups[static_cast<std::size_t>(l >> 4)] == 1) {
      shown.push_back(l);
    }
  }
  std::vector<int> want = {0x0E};
  for (int l = 0x10; l < 0x20; ++l) {
    if (l != 0x14) want.push_back(l);
  }
  want.push_back(0x23);
  EXPECT_EQ(shown, want);

  // --show-all first, whatever the order on the command line.
  const auto all = Parse({"--hide", "0-*", "--show-all", "x.jwc"});
  ASSERT_TRUE(all);
  layers.fill(0);
  groups.fill(0);
  ApplyVisibility(*all, layers, groups);
  EXPECT_EQ(groups[0], 0);
  EXPECT_EQ(groups[1], 1);
  EXPECT_EQ(layers[0x15], 1);
}

TEST(CliOptions, Regions) {
  auto o = Parse({"--paper", "a4p", "x.jwc"});
  ASSERT_TRUE(o);
  EXPECT_EQ(o->region.kind, RegionChoice::Kind::kSize);
  EXPECT_EQ(o->region.width_mm, 210);
  EXPECT_EQ(o->region.height_mm, 297);
  o = Parse({"--paper", "whole", "x.jwc"});
  ASSERT_TRUE(o);
  EXPECT_EQ(o->region.kind, RegionChoice::Kind::kWhole);
  o = Parse({"--size", "100X50", "x.jwc"});
  ASSERT_TRUE(o);
  EXPECT_EQ(o->region.width_mm, 100);
  EXPECT_EQ(o->region.height_mm, 50);
  o = Parse({"--box", "-5,0,300,210", "x.jwc"});
  ASSERT_TRUE(o);
  EXPECT_EQ(o->region.kind, RegionChoice::Kind::kBox);
  EXPECT_EQ(o->region.box.x1, -5);
  EXPECT_EQ(o->region.box.y2, 210);
  o = Parse({"x.jwc"});
  ASSERT_TRUE(o);
  EXPECT_EQ(o->region.kind, RegionChoice::Kind::kWhole) << "the whole paper by default";
}

TEST(CliOptions, BadCommandLinesSayWhy) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{}, "no drawing"},
      {{"--frobnicate", "x.jwc"}, "unknown option '--frobnicate'"},
      {{"-z", "x.jwc"}, "unknown option '-z'"},
      {{"--dpi", "0", "x.jwc"}, "1 to 600"},
      {{"--dpi", "601", "x.jwc"}, "1 to 600"},
      {{"--dpi", " 72", "x.jwc"}, "1 to 600"},
      {{"--depth", "2", "x.jwc"}, "1, 4, 8, 16 or 24"},
      {{"--paper", "A5", "x.jwc"}, "--paper takes"},
      {{"--paper", "A4", "--size", "10x10", "x.jwc"}, "exclude each other"},
      {{"--size", "0x10", "x.jwc"}, "--size takes"},
      {{"--size", "10", "x.jwc"}, "--size takes"},
      {{"--box", "1,2,3", "x.jwc"}, "--box takes"},
      {{"--box", "9,0,3,4", "x.jwc"}, "must not exceed"},
      {{"--set", "Colour1=5", "x.jwc"}, "Colour1"},
      {{"--set", "Color1=red", "x.jwc"}, "Color1"},
      {{"--set", "ColorMode=9", "x.jwc"}, "ColorMode"},
      {{"--set", "Color1", "x.jwc"}, "Color1"},
      {{"-o", "a.bmp", "a.jwc", "b.jwc"}, "one drawing"},
      {{"-o", "a.bmp", "-d", "out", "a.jwc"}, "exclude each other"},
      {{"--json", "--dry-run", "a.jwc"}, "--json goes with --info or a conversion"},
      {{"--show", "2-G", "a.jwc"}, "--show takes a comma list"},
      {{"--hide", "2-3,", "a.jwc"}, "--hide takes a comma list"},
      {{"--hide", "23", "a.jwc"}, "--hide takes a comma list"},
      {{"--split", "pages", "a.jwc"}, "--split takes groups or layers"},
      {{"-j", "-1", "a.jwc"}, "-j takes a whole number"},
      {{"--threads", "0", "a.jwc"}, "--threads takes"},
      {{"--format", "gif", "a.jwc"}, "--format takes"},
      {{"-o", "a.png", "--format", "tiff", "a.jwc"}, "another format"},
      {{"-f", "-n", "a.jwc"}, "-f and -n exclude each other"},
      {{"--thumbnail", "128", "a.jwc"}, "INPUT OUTPUT"},
      {{"-o", "-", "--json", "a.jwc"}, "-o - writes the image alone"},
      {{"--info", "--dry-run", "a.jwc"}, "exclude each other"},
      {{"a.jwc", "--dpi"}, "--dpi needs a value"},
      {{"a.jwc", "-o"}, "-o needs a value"},
      {{"--force=1", "a.jwc"}, "takes no value"},
      {{"-o", "a.bmp", "--info", "a.jwc"}, "does not go with --info"},
      {{"--dry-run", "-o", "a.bmp", "a.jwc"}, "does not go with --dry-run"},
      {{"--vector", "a.jwc"}, "bmp files are images"},
      {{"--vector", "-o", "a.PNG", "a.jwc"}, "png files are images"},
      {{"--raster", "--format", "svg", "a.jwc"}, "svg files are vector documents only"},
      {{"--vector", "--raster", "--format", "pdf", "a.jwc"}, "exclude each other"},
      {{"--keep-hidden", "--format", "pdf", "--raster", "a.jwc"}, "goes with vector output"},
  };
  for (const auto& [args, expected] : cases) {
    std::string error;
    EXPECT_FALSE(Parse(args, &error)) << expected;
    EXPECT_NE(error.find(expected), std::string::npos)
        << "'" << error << "' lacks '" << expected << "'";
  }
  // Help and version need nothing else.
  EXPECT_TRUE(Parse({"--help"}));
  EXPECT_TRUE(Parse({"--version", "--json"}));
}

// Which outputs are vector documents: -o's extension before --format, PDF
// unless --raster.
TEST(CliOptions, VectorOrImage) {
  const std::vector<std::pair<std::vector<std::string>, bool>> cases = {
      {{"a.jwc"}, false},
      {{"--format", "pdf", "a.jwc"}, true},
      {{"--format", "pdf", "--raster", "a.jwc"}, false},
      {{"-o", "x.Svg", "a.jwc"}, true},
      {{"-o", "x.dxf", "--vector", "a.jwc"}, true},
      {{"-o", "-", "--format", "dxf", "a.jwc"}, true},
      {{"-o", "x.tif", "a.jwc"}, false},
  };
  for (const auto& [args, vector] : cases) {
    std::string line;
    for (const std::string& word : args) line += word + " ";
    const auto o = Parse(args);
    ASSERT_TRUE(o) << line;
    EXPECT_EQ(WritesVector(*o), vector) << line;
  }
}

TEST(CliOptions, SettingsApplyInOrderWithDpiAndDepthLast) {
  auto o = Parse({"--set", "dpi=100", "--set", "dpi=150", "--set", "ColorMode=1", "x.jwc"});
  ASSERT_TRUE(o);
  std::string error;
  auto s = EffectiveSettings(*o, Settings(), &error);
  ASSERT_TRUE(s) << error;
  EXPECT_EQ(s->dpi, 150);
  EXPECT_EQ(s->ColorMode, 1);

  o = Parse({"--dpi", "72", "--depth", "16", "--set", "dpi=300", "--set", "ColorMode=2", "x.jwc"});
  ASSERT_TRUE(o);
  s = EffectiveSettings(*o, Settings(), &error);
  ASSERT_TRUE(s);
  EXPECT_EQ(s->dpi, 72);
  EXPECT_EQ(s->ColorMode, 16);

  // Saved settings are taken as stored; a resolution no render can use is refused.
  Settings saved;
  saved.dpi = 0;
  o = Parse({"x.jwc"});
  EXPECT_FALSE(EffectiveSettings(*o, saved, &error));
  EXPECT_NE(error.find("0 dpi"), std::string::npos) << error;
  o = Parse({"--dpi", "600", "x.jwc"});
  EXPECT_TRUE(EffectiveSettings(*o, saved, &error));
}

TEST(CliOutput, NamesFollowTheDrawing) {
  ConvertOptions o;
  EXPECT_EQ(OutputPathFor("dir/plan.jwc", o), fs::path("dir/plan.bmp"));
  EXPECT_EQ(OutputPathFor("a.b.jwc", o), fs::path("a.b.bmp"));
  EXPECT_EQ(OutputPathFor("/x/plan", o), fs::path("/x/plan.bmp"));
  o.output_dir = "out";
  EXPECT_EQ(OutputPathFor("dir/plan.JWC", o), fs::path("out/plan.bmp"));
  o.output_dir.reset();
  o.output = "given.name";
  EXPECT_EQ(OutputPathFor("dir/plan.jwc", o), fs::path("given.name"));
}

TEST(CliRegion, WholePaperPresetsAndBoxes) {
  Tjwcin reader;
  ASSERT_EQ(reader.JwcLoadBytes(JwcWriter().Paper(3).WindowWidth(1680).Bytes()), 0);
  std::string error;
  const auto paper = PaperOf(reader, &error);
  ASSERT_TRUE(paper) << error;
  EXPECT_EQ(paper->pixels_per_mm, 4.0f);
  RegionChoice region;
  auto box = RegionBox(region, *paper);
  EXPECT_EQ((std::array{box.x1, box.y1, box.x2, box.y2}), (std::array{0, 0, 1680, 1188}));
  region.kind = RegionChoice::Kind::kSize;
  region.width_mm = 210;
  region.height_mm = 297;
  box = RegionBox(region, *paper);
  EXPECT_EQ((std::array{box.x1, box.y1, box.x2, box.y2}), (std::array{0, 0, 840, 1188}));

  // A paper code beyond A4 has no size to place a region on.
  ASSERT_EQ(reader.JwcLoadBytes(JwcWriter().Paper(7).Bytes()), 0);
  EXPECT_FALSE(PaperOf(reader, &error));
  EXPECT_NE(error.find("paper code 7"), std::string::npos);
}

// A run of the converter in a private folder, its two streams captured.
class CliRun : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() /
          ("pelmora-cli-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
           "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
    settings.dpi = 72;
    settings.WriteDPI = false;
    settings.BackColor = Rgb(255, 255, 255);
    settings.Color1 = Rgb(0, 0, 255);
  }
  void TearDown() override { fs::remove_all(dir); }

  // A4 paper, 297 units wide (1 unit per mm); a red line along y = 100 on
  // layer 0x21, whose view state is `view`.
  fs::path Drawing(const std::string& name, std::uint8_t view = 1) {
    const fs::path path = dir / name;
    fs::create_directories(path.parent_path());
    JwcWriter()
        .Paper(4)
        .WindowWidth(297)
        .LayerView(0x21, view)
        .AddLine({.X1 = 10,
                  .Y1 = 100,
                  .X2 = 200,
                  .Y2 = 100,
                  .LineType = 1,
                  .PenColor = 1,
                  .Layer = 0x21})
        .WriteFile(path);
    return path;
  }

  int Run(std::vector<std::string> args) {
    std::string error;
    const auto options = ParseCommandLine(args, &error);
    EXPECT_TRUE(options) << error;
    if (!options) return 2;
    const auto effective = EffectiveSettings(*options, settings, &error);
    EXPECT_TRUE(effective) << error;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> out(std::tmpfile(), std::fclose);
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> err(std::tmpfile(), std::fclose);
    ConvertStreams streams{out.get(), err.get(), false};
    const int status = RunConverter(*options, *effective, streams);
    stdout_text = Slurp(out.get());
    stderr_text = Slurp(err.get());
    return status;
  }

  static std::string Slurp(std::FILE* f) {
    std::fflush(f);
    std::rewind(f);
    std::string text;
    char buffer[4096];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, got);
    return text;
  }

  static QImage Decode(const fs::path& file) {
    QImageReader reader(QString::fromStdString(file.string()), "bmp");
    return reader.read();
  }

  static std::string Bytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  fs::path dir;
  Settings settings;
  std::string stdout_text, stderr_text;
};

TEST_F(CliRun, ConvertsTheWholePaperAndQtReadsIt) {
  const fs::path drawing = Drawing("plan.jwc");
  ASSERT_EQ(Run({"--depth", "8", drawing.string()}), 0) << stderr_text;
  const fs::path bmp = dir / "plan.bmp";
  const QImage image = Decode(bmp);
  ASSERT_FALSE(image.isNull());
  // 297 × 210 mm at 72 dpi.
  EXPECT_EQ(image.width(), 842);
  EXPECT_EQ(image.height(), 595);
  EXPECT_EQ(image.dotsPerMeterX(), 2835);
  // y 100 of 210 mm lands on row 595 - round(100 × 72 / 25.4) = 312.
  EXPECT_EQ(image.pixel(100, 312) & 0xFFFFFF, 0x0000FFu) << "Color1 blue";
  EXPECT_EQ(image.pixel(100, 300) & 0xFFFFFF, 0xFFFFFFu);
  EXPECT_NE(stdout_text.find("plan.bmp"), std::string::npos) << stdout_text;
  EXPECT_TRUE(stderr_text.empty()) << stderr_text;
}

TEST_F(CliRun, ViewStatesHideLayersUnlessShowAll) {
  const fs::path drawing = Drawing("hidden.jwc", 2);
  ASSERT_EQ(Run({"--paper", "A4", drawing.string()}), 0) << stderr_text;
  EXPECT_EQ(Decode(dir / "hidden.bmp").pixel(100, 312) & 0xFFFFFF, 0xFFFFFFu);
  ASSERT_EQ(Run({"-f", "--show-all", drawing.string()}), 0) << stderr_text;
  EXPECT_EQ(Decode(dir / "hidden.bmp").pixel(100, 312) & 0xFFFFFF, 0x0000FFu);
}

TEST_F(CliRun, ExistingFilesNeedForce) {
  const fs::path drawing = Drawing("plan.jwc");
  const fs::path bmp = dir / "plan.bmp";
  { std::ofstream(bmp) << "keep me"; }
  EXPECT_EQ(Run({drawing.string()}), 1);
  EXPECT_EQ(Bytes(bmp), "keep me");
  EXPECT_NE(stderr_text.find(drawing.string() + ": "), std::string::npos) << stderr_text;
  EXPECT_NE(stderr_text.find("-f"), std::string::npos) << stderr_text;
  EXPECT_EQ(Run({"-f", drawing.string()}), 0) << stderr_text;
  EXPECT_FALSE(Decode(bmp).isNull());
}

TEST_F(CliRun, OneBadDrawingDoesNotStopTheOthers) {
  const fs::path a = Drawing("a.jwc");
  const fs::path b = dir / "broken.jwc";
  { std::ofstream(b) << "jw_cad(c)data......." << std::string(100, 'x'); }
  const fs::path c = dir / "text.jwc";
  { std::ofstream(c) << "just some words, no drawing at all"; }
  const fs::path d = Drawing("d.jwc");
  const fs::path out = dir / "out";
  fs::create_directory(out);
  EXPECT_EQ(Run({"-d", out.string(), a.string(), b.string(), c.string(),
                 (dir / "gone.jwc").string(), d.string()}),
            1);
  EXPECT_TRUE(fs::exists(out / "a.bmp"));
  EXPECT_TRUE(fs::exists(out / "d.bmp"));
  EXPECT_FALSE(fs::exists(out / "broken.bmp"));
  EXPECT_FALSE(fs::exists(out / "text.bmp"));
  EXPECT_EQ(std::distance(fs::directory_iterator(out), fs::directory_iterator()), 2)
      << "no temporary files left";
  for (const fs::path& bad : {b, c, dir / "gone.jwc"}) {
    EXPECT_NE(stderr_text.find(bad.string() + ": "), std::string::npos) << stderr_text;
  }
  EXPECT_NE(stderr_text.find("not a JW_CAD drawing"), std::string::npos) << stderr_text;
}

TEST_F(CliRun, TwoDrawingsOfTheSameNameDoNotOverwriteEachOther) {
  fs::create_directory(dir / "x");
  fs::create_directory(dir / "y");
  const fs::path a = Drawing("x/plan.jwc");
  const fs::path b = Drawing("y/plan.jwc");
  EXPECT_EQ(Run({"-f", "-d", dir.string(), a.string(), b.string()}), 1);
  EXPECT_NE(stderr_text.find("earlier drawing"), std::string::npos) << stderr_text;
  EXPECT_EQ(Run({"-f", "-o", a.string(), a.string()}), 1) << "never over the drawing";
  EXPECT_NE(stderr_text.find("drawing itself"), std::string::npos) << stderr_text;
  EXPECT_FALSE(Decode(dir / "plan.bmp").isNull());
}

// Every spelling of one output file is the same output: a relative -d folder
// that does not exist yet, "..", an absolute path, a symbolic link to the folder.
TEST_F(CliRun, AnOutputIsCaughtInEverySpelling) {
  const fs::path a = Drawing("tree/a/plan.jwc");
  const fs::path b = Drawing("tree/b/plan.jwc");
  fs::create_directory_symlink(dir / "tree" / "a", dir / "link");
  const fs::path previous = fs::current_path();
  fs::current_path(dir);
  struct Back {
    fs::path to;
    ~Back() { fs::current_path(to); }
  } back{previous};

  EXPECT_EQ(Run({"-f", "-d", "out", "tree/a/plan.jwc", "tree/b/plan.jwc"}), 1);
  EXPECT_NE(stderr_text.find("tree/b/plan.jwc: the output out/plan.bmp is also the output of an "
                             "earlier drawing"),
            std::string::npos)
      << stderr_text;
  EXPECT_TRUE(fs::exists(dir / "out" / "plan.bmp"));
  for (const std::string& second :
       {(dir / "tree/a/plan.jwc").string(), std::string("tree/b/../a/plan.jwc"),
        std::string("link/plan.jwc"), std::string("./tree//a/plan.jwc")}) {
    EXPECT_EQ(Run({"-f", "tree/a/plan.jwc", second}), 1) << second;
    EXPECT_NE(stderr_text.find(second + ": the output"), std::string::npos) << stderr_text;
    EXPECT_NE(stderr_text.find("earlier drawing"), std::string::npos) << stderr_text;
  }
  EXPECT_EQ(Run({"-f", "-o", "link/plan.jwc", "tree/a/plan.jwc"}), 1);
  EXPECT_NE(stderr_text.find("the drawing itself"), std::string::npos) << stderr_text;
  (void)a, (void)b;
}

TEST_F(CliRun, OnlyKnownFormatsAreWritten) {
  const fs::path drawing = Drawing("plan.jwc");
  for (const char* name : {"plan.gif", "plan.b", "plan.jwc.txt"}) {
    EXPECT_EQ(Run({"-o", (dir / name).string(), drawing.string()}), 1) << name;
    EXPECT_NE(stderr_text.find("only .bmp, .png, .tif, .tiff, .pdf, .svg and .dxf are written"),
              std::string::npos)
        << stderr_text;
    EXPECT_FALSE(fs::exists(dir / name)) << name;
  }
  EXPECT_EQ(Run({"-o", (dir / "upper.BMP").string(), drawing.string()}), 0) << stderr_text;
  EXPECT_EQ(Run({"-o", (dir / "bare").string(), drawing.string()}), 0) << stderr_text;
  EXPECT_FALSE(Decode(dir / "bare").isNull()) << "a name without an extension is a BMP";
}

TEST_F(CliRun, TinyRegionsAndMissingFoldersAreRefusedBeforeWriting) {
  const fs::path drawing = Drawing("plan.jwc");
  EXPECT_EQ(Run({"--box", "0,0,0,40", drawing.string()}), 1);
  EXPECT_NE(stderr_text.find("half a millimetre"), std::string::npos) << stderr_text;
  EXPECT_EQ(Run({"-o", (dir / "no" / "such.bmp").string(), drawing.string()}), 1);
  EXPECT_NE(stderr_text.find("does not exist"), std::string::npos) << stderr_text;
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
}

TEST_F(CliRun, DryRunPrintsTheCostAndWritesNothing) {
  const fs::path drawing = Drawing("plan.jwc");
  ASSERT_EQ(Run({"--dry-run", "--dpi", "300", "--depth", "24", "--paper", "A4", drawing.string()}),
            0);
  EXPECT_FALSE(fs::exists(dir / "plan.bmp"));
  // 297 × 210 mm at 300 dpi: 3508 × 2480 pixels, a file of 26099574 bytes.
  EXPECT_NE(stdout_text.find("3508 x 2480 px"), std::string::npos) << stdout_text;
  EXPECT_NE(stdout_text.find("297 x 210 mm"), std::string::npos) << stdout_text;
  EXPECT_NE(stdout_text.find("file 26099574 bytes"), std::string::npos) << stdout_text;
  EXPECT_NE(stdout_text.find("memory "), std::string::npos) << stdout_text;
}

TEST_F(CliRun, InfoAddsTheFont) {
  const fs::path drawing = Drawing("plan.jwc");
  ASSERT_EQ(Run({"--info", "--json", drawing.string(), drawing.string()}), 0) << stderr_text;
  EXPECT_EQ(std::count(stdout_text.begin(), stdout_text.end(), '\n'), 2);
  EXPECT_NE(stdout_text.find("\"font\":{\"name\":\"ＭＳ ゴシック\",\"drawn_with\":\""),
            std::string::npos)
      << stdout_text;
  EXPECT_EQ(stdout_text.back(), '\n');
  EXPECT_EQ(stdout_text[stdout_text.size() - 2], '}');
  ASSERT_EQ(Run({"--info", drawing.string()}), 0);
  EXPECT_NE(stdout_text.find("Font:         ＭＳ ゴシック -> "), std::string::npos) << stdout_text;
  EXPECT_FALSE(fs::exists(dir / "plan.bmp"));
}

TEST_F(CliRun, InfoJsonDecodesNamesAndAlwaysParses) {
  const fs::path drawing = dir / "named.jwc";
  JwcWriter()
      .Paper(4)
      .WindowWidth(297)
      .LayerName(0x21, Cp932("壁") + "\xFF" + std::string(5, '\0'))  // a byte that is no character
      .LayerName(0x3F, Cp932("寸法") + "\x82 " + std::string(2, ' '))  // a pair that is none
      .LayerName(0x45, std::string(8, ' '))                            // spaces: no name
      .GroupName(2, Cp932("平面図") + std::string(10, '\0'))
      .AddLine({.X1 = 10, .Y1 = 100, .X2 = 200, .Y2 = 100, .LineType = 1, .Layer = 0x21})
      .AddLine({.X1 = 10, .Y1 = 90, .X2 = 200, .Y2 = 90, .LineType = 1, .Layer = 0x50})
      .WriteFile(drawing);
  settings.FontName =
      "\x82\xa0"
      "bad";  // not UTF-8, as a hand-edited --set gives it
  ASSERT_EQ(Run({"--info", "--json", drawing.string()}), 0) << stderr_text;
  const Json json = Json::parse(stdout_text);  // throws on bytes that are not UTF-8
  std::map<std::string, std::string> layers;
  for (const Json& l : json["layers"]) layers[l["id"]] = l["name"];
  EXPECT_EQ(layers, (std::map<std::string, std::string>{
                        {"2-1", "壁\uFFFD"}, {"3-F", "寸法\uFFFD"}, {"5-0", ""}}));
  std::map<std::string, std::string> groups;
  for (const Json& g : json["groups"]) groups[g["id"]] = g["name"];
  EXPECT_EQ(groups,
            (std::map<std::string, std::string>{{"2-*", "平面図"}, {"3-*", ""}, {"5-*", ""}}));
  EXPECT_EQ(json["font"]["name"], "\uFFFD\uFFFDbad");

  ASSERT_EQ(Run({"--info", drawing.string()}), 0) << stderr_text;
  EXPECT_NE(
      stdout_text.find("layer 2-1 shown        lines 1, arcs 0, texts 0, dots 0 「壁\uFFFD」\n"),
      std::string::npos)
      << stdout_text;
  EXPECT_NE(stdout_text.find("「平面図」"), std::string::npos) << stdout_text;
}

}  // namespace
}  // namespace pelmora
