#include "render/summary_format.h"

#include "drawing/printf.h"
#include "platform/fonts/shift_jis.h"

namespace pelmora {

namespace {

std::string ViewText(std::uint8_t view) {
  return view == 1 ? "shown" : Printf("hidden (%u)", unsigned{view});
}

// " 「壁」" after a layer or group line, nothing for an unnamed one.
std::string NameText(const std::string& name) {
  return name.empty() ? std::string() : " 「" + Cp932ToUtf8Lossy(name) + "」";
}

}  // namespace

std::string Cp932ToUtf8Lossy(std::string_view cp932) {
  std::string out;
  out.reserve(cp932.size() * 3 / 2);
  while (!cp932.empty()) {
    const Cp932Char c = DecodeCp932Char(cp932);
    AppendUtf8(out, c.valid ? c.code : U'\uFFFD');
    cp932.remove_prefix(static_cast<std::size_t>(c.length));
  }
  return out;
}

std::string JsonLine(const Json& value) {
  return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::string LayerId(std::uint8_t layer) {
  return Printf("%X-%X", unsigned{layer} >> 4u, unsigned{layer} & 0xFu);
}

std::string SummaryText(const DrawingSummary& s) {
  std::string out;
  out += "File:         " + s.file_name + "\n";
  out += "Date:         " + s.date + "\n";
  out += "Paper:        " + s.paper + "\n";
  out += Printf("Lines:        %d\n", s.lines);
  out += Printf("Arcs:         %d\n", s.arcs);
  out += Printf("Texts:        %d\n", s.texts);
  out += Printf("Dots:         %d\n", s.dots);
  out += Printf("WindowWidth:  %d\n", s.window_width);
  if (s.groups.empty()) return out + "Layers:       none holds an entity or has a name\n";
  out += "Layers holding entities or named (group-layer, view state):\n";
  std::size_t next_layer = 0;
  for (const GroupSummary& group : s.groups) {
    out += Printf("  group %X     %-12s %lld entities", unsigned{group.group},
                  ViewText(group.view).c_str(), static_cast<long long>(group.entities)) +
           NameText(group.name) + "\n";
    for (; next_layer < s.layers.size() && (s.layers[next_layer].layer >> 4) == group.group;
         ++next_layer) {
      const LayerSummary& l = s.layers[next_layer];
      out += Printf("    layer %s %-12s lines %d, arcs %d, texts %d, dots %d",
                    LayerId(l.layer).c_str(), ViewText(l.view).c_str(), l.lines, l.arcs, l.texts,
                    l.dots) +
             NameText(l.name) + "\n";
    }
  }
  return out;
}

Json SummaryJson(const DrawingSummary& s) {
  Json groups = Json::array();
  for (const GroupSummary& g : s.groups) {
    groups.push_back({{"group", g.group},
                      {"view", g.view},
                      {"shown", g.view == 1},
                      {"entities", g.entities},
                      {"id", Printf("%X-*", unsigned{g.group})},
                      {"name", Cp932ToUtf8Lossy(g.name)}});
  }
  Json layers = Json::array();
  for (const LayerSummary& l : s.layers) {
    layers.push_back({{"layer", l.layer},
                      {"group", l.layer >> 4},
                      {"view", l.view},
                      {"shown", l.view == 1},
                      {"lines", l.lines},
                      {"arcs", l.arcs},
                      {"texts", l.texts},
                      {"dots", l.dots},
                      {"id", LayerId(l.layer)},
                      {"name", Cp932ToUtf8Lossy(l.name)}});
  }
  return {{"file", s.file_name},
          {"date", s.date},
          {"paper", s.paper},
          {"paper_code", s.paper_code},
          {"paper_mm", s.paper_mm},
          {"real", s.is_real},
          {"lines", s.lines},
          {"arcs", s.arcs},
          {"texts", s.texts},
          {"dots", s.dots},
          {"window_width", s.window_width},
          {"groups", std::move(groups)},
          {"layers", std::move(layers)}};
}

}  // namespace pelmora
