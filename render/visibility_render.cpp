#include "render/visibility_render.h"

#include "render/draw_image.h"
#include "render/render_pass.h"

namespace pelmora {

LayerMask GroupMask(int group) {
  LayerMask mask{};
  for (int layer = 0; layer < 256; ++layer)
    mask[static_cast<std::size_t>(layer)] = layer / 16 == group ? 1 : 0;
  return mask;
}

std::array<std::unique_ptr<Bitmap>, 16> DrawLayerImages(const Tjwcin& reader,
                                                        const Settings& settings,
                                                        const LayerMask& drawn, int width,
                                                        int height, int originX, int originY,
                                                        float scale) {
  std::array<std::unique_ptr<Bitmap>, 16> images;
  std::array<Bitmap*, 16> bitmaps{};
  for (std::size_t k = 0; k < images.size(); ++k) {
    images[k] = Bitmap::Create(width, height, 24);
    if (!images[k]) images[k] = Bitmap::Create(0, 0, 24);
    bitmaps[k] = images[k].get();
  }
  // The mask alone decides: no group is hidden.
  std::array<std::uint8_t, 16> every_group;
  every_group.fill(1);
  RenderContext context;
  context.reader = &reader;
  context.settings = &settings;
  context.LayerVisible = &drawn;
  context.GroupVisible = &every_group;
  const RenderTick no_tick;
  RenderPass(context, RenderTargets(bitmaps, kImagePerLayer), RenderBand{width, height, 0}, scale,
             originX, originY, kRenderPreview, RenderRules::kThumbnail, nullptr, no_tick);
  return images;
}

}  // namespace pelmora
