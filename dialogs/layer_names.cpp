#include "dialogs/layer_names.h"

#include <string>

#include "drawing/jwcunit.h"
#include "drawing/summary.h"
#include "render/summary_format.h"

namespace pelmora {
namespace {

QString Tip(const std::string& id, const std::string& stored) {
  const std::string name = Cp932ToUtf8Lossy(TrimStoredName(stored));
  return QString::fromStdString(name.empty() ? id : id + " 「" + name + "」");
}

}  // namespace

QString LayerTip(const Tjwcin& reader, int layer) {
  std::string stored;
  reader.JwcLayerName(layer & 255, stored);
  return Tip(LayerId(static_cast<std::uint8_t>(layer & 255)), stored);
}

QString GroupTip(const Tjwcin& reader, int group) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string stored;
  reader.JwcGroupeName(group & 15, stored);
  return Tip(std::string(1, kHex[group & 15]), stored);
}

}  // namespace pelmora
