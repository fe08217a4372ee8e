// The names of a drawing's layers and groups as tool tips, in the converter's
// --info form ("2-3 「壁」"): the quick panel's buttons and the layer dialog's
// thumbnails.
#pragma once

#include <QString>

namespace pelmora {

class Tjwcin;

// layer: the layer byte (group × 16 + layer); group: 0..15.
QString LayerTip(const Tjwcin& reader, int layer);
QString GroupTip(const Tjwcin& reader, int group);

}  // namespace pelmora
