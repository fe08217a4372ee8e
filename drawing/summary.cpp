#include "drawing/summary.h"

#include <sys/stat.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <stdexcept>
#include <system_error>

#include "drawing/printf.h"

namespace pelmora {

std::string TrimStoredName(std::string_view stored) {
  stored = stored.substr(0, stored.find('\0'));
  while (!stored.empty() && stored.back() == ' ') stored.remove_suffix(1);
  return std::string(stored);
}

std::string PaperLabel(std::int32_t paper_code) {
  // Appended piece by piece: GCC 12 at -O3 misreads `"A" + to_string(...)` as an
  // overlapping copy (-Wrestrict).
  std::string label = "A";
  label += std::to_string(paper_code);
  label += "版";
  return label;
}

std::string FormatFileDate(std::time_t time) {
  std::tm local{};
  if (localtime_r(&time, &local) == nullptr) return "00/00/00 00:00:00";
  return Printf("%02d/%02d/%02d %02d:%02d:%02d", local.tm_year % 100, local.tm_mon + 1,
                local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
}

DrawingSummary SummarizeDrawing(const Tjwcin& reader, const std::filesystem::path& file) {
  struct stat info {};
  if (::stat(file.c_str(), &info) != 0) {
    throw std::system_error(errno, std::generic_category(),
                            "cannot read the date of " + file.string());
  }
  return SummarizeDrawing(reader, file.filename().string(), info.st_mtim.tv_sec);
}

DrawingSummary SummarizeDrawing(const Tjwcin& reader, std::string file_name, std::time_t modified) {
  DrawingSummary s;
  s.file_name = std::move(file_name);
  s.date = FormatFileDate(modified);
  s.paper_code = reader.JwcPaperSize();
  s.paper = PaperLabel(s.paper_code);
  s.paper_mm = reader.JwcPaperSizemm();
  s.is_real = reader.JwcIsReal();
  s.lines = reader.JwcLineCount();
  s.arcs = reader.JwcArcCount();
  s.texts = reader.JwcTextCount();
  s.dots = reader.JwcDotCount();
  s.window_width = reader.JwcWindowWidth();

  std::array<LayerSummary, 256> layers{};
  for (int i = 0; i < s.lines; ++i) {
    TJwcLine line;
    reader.JwcLineData(i, line);
    ++layers[line.Layer].lines;
  }
  for (int i = 0; i < s.arcs; ++i) {
    TJwcArc arc;
    reader.JwcArcData(i, arc);
    ++layers[arc.Layer].arcs;
  }
  for (int i = 0; i < s.texts; ++i) {
    TJwcText text;
    reader.JwcTextData(i, text);
    ++layers[text.Layer].texts;
  }
  for (int i = 0; i < s.dots; ++i) {
    TJwcDot dot;
    reader.JwcDotData(i, dot);
    ++layers[dot.Layer].dots;
  }
  std::array<std::int64_t, 16> group_entities{};
  std::array<bool, 16> group_listed{};
  std::string stored;
  for (int l = 0; l < 256; ++l) {
    LayerSummary& layer = layers[l];
    const std::int64_t entities = std::int64_t{layer.lines} + layer.arcs + layer.texts + layer.dots;
    reader.JwcLayerName(l, stored);
    layer.name = TrimStoredName(stored);
    if (entities == 0 && layer.name.empty()) continue;
    layer.layer = static_cast<std::uint8_t>(l);
    layer.view = reader.JwcViewLayer(l);
    s.layers.push_back(layer);
    group_entities[l >> 4] += entities;
    group_listed[l >> 4] = true;
  }
  for (int g = 0; g < 16; ++g) {
    reader.JwcGroupeName(g, stored);
    std::string name = TrimStoredName(stored);
    // A group is listed with any of its layers, so that every listed layer has its group.
    if (!group_listed[g] && name.empty()) continue;
    s.groups.push_back({static_cast<std::uint8_t>(g), reader.JwcViewGroupe(g), group_entities[g],
                        std::move(name)});
  }
  return s;
}

}  // namespace pelmora
