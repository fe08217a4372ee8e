// band_convert DRAWING.jwc OUT.bmp DPI DEPTH THREADS [BAND_ROWS]: the whole
// paper of a drawing, with the default settings and the drawing's own view
// states, rendered in bands into a BMP file through the output file encoder (bench/convert-vs-dd.sh
// times it as a whole process). Prints nothing on success.
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "drawing/jwcunit.h"
#include "output/file_encoder.h"
#include "render/draw_image.h"
#include "render/geometry.h"

int main(int argc, char** argv) {
  using namespace pelmora;
  if (argc < 6) {
    std::fprintf(stderr, "usage: %s DRAWING.jwc OUT.bmp DPI DEPTH THREADS [BAND_ROWS]\n", argv[0]);
    return 2;
  }
  Tjwcin reader;
  if (reader.JwcLoadFile(argv[1]) != 0) {
    std::fprintf(stderr, "%s: %s\n", argv[1], reader.LastError().c_str());
    return 1;
  }
  Settings settings;
  settings.dpi = std::atoi(argv[3]);
  settings.ColorMode = std::atoi(argv[4]);
  BandOptions options;
  options.threads = std::atoi(argv[5]);
  if (argc > 6) options.band_height = std::atoi(argv[6]);

  const auto paper = PaperForCode(reader.JwcPaperSize());
  if (!paper) {
    std::fprintf(stderr, "%s: unknown paper\n", argv[1]);
    return 1;
  }
  const int window_width = reader.JwcWindowWidth();
  const auto pixels_per_mm =
      static_cast<float>(static_cast<long double>(window_width) / paper->width_mm);
  const SelectionBox box{
      0, 0,
      static_cast<int>(std::nearbyint(static_cast<long double>(paper->width_mm) * pixels_per_mm)),
      static_cast<int>(std::nearbyint(static_cast<long double>(paper->height_mm) * pixels_per_mm))};
  const OutputGeometry g = ComputeOutputGeometry(box, pixels_per_mm, settings.dpi, window_width);

  std::array<std::uint8_t, 256> layers{};
  std::array<std::uint8_t, 16> groups{};
  for (int l = 0; l < 256; ++l) layers[static_cast<std::size_t>(l)] = reader.JwcViewLayer(l) == 1;
  for (int k = 0; k < 16; ++k) groups[static_cast<std::size_t>(k)] = reader.JwcViewGroupe(k) == 1;
  std::string error;
  RenderContext context;
  context.reader = &reader;
  context.settings = &settings;
  context.LayerVisible = &layers;
  context.GroupVisible = &groups;
  context.PixelsPerMm = pixels_per_mm;
  context.error = &error;
  FileEncoder writer(ImageFormat::kBmp, argv[2], {.replace = true});
  if (DrawImageBands(context, g.width, g.height, g.originX, g.originY, g.scale, writer, options) !=
      1) {
    std::fprintf(stderr, "%s: %s\n", argv[2], error.c_str());
    return 1;
  }
  return 0;
}
