// The encoder interface lives with the image types, below the renderer that
// feeds it; the encoders include it from here.
#pragma once

#include "platform/raster/image_encoder.h"  // IWYU pragma: export
