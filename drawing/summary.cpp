#include "drawing/summary.h"

#include <sys/stat.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <stdexcept>
#include <system_error>

namespace pelmora {

namespace {

template <class... Args>
std::string Printf(const char* format, Args... args) {
  const int length = std::snprintf(nullptr, 0, format, args...);
  if (length <= 0) return {};
  std::string out(static_cast<std::size_t>(length) + 1, '\0');
  std::snprintf(out.data(), out.size(), format, args...);
  out.pop_back();
  return out;
}

std::string ViewText(std::uint8_t view) {
  return view == 1 ? "shown" : Printf("hidden (%u)", unsigned{view});
}

// Length of the well-formed UTF-8 sequence at `text[i]`, 0 when it is not one.
std::size_t Utf8Length(std::string_view text, std::size_t i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  std::size_t length = 0;
  std::uint32_t min = 0;
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF)
    length = 2, min = 0x80;
  else if (lead >= 0xE0 && lead <= 0xEF)
    length = 3, min = 0x800;
  else if (lead >= 0xF0 && lead <= 0xF4)
    length = 4, min = 0x10000;
  else
    return 0;
  if (i + length > text.size()) return 0;
  std::uint32_t code = lead & (0x7F >> length);
  for (std::size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    code = (code << 6) | (byte(i + k) & 0x3F);
  }
  if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return length;
}

// A JSON string; bytes that are not UTF-8 (a file name is any bytes) become U+FFFD.
std::string JsonString(std::string_view text) {
  std::string out = "\"";
  for (std::size_t i = 0; i < text.size();) {
    const char c = text[i];
    const std::size_t length = Utf8Length(text, i);
    if (length == 0) {
      out += "\\ufffd";
      ++i;
    } else if (length > 1) {
      out.append(text.substr(i, length));
      i += length;
    } else {
      if (c == '"' || c == '\\') {
        out += '\\';
        out += c;
      } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
        out += Printf("\\u%04x", unsigned{static_cast<unsigned char>(c)});
      } else {
        out += c;
      }
      ++i;
    }
  }
  return out + "\"";
}

}  // namespace

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
  for (int l = 0; l < 256; ++l) {
    LayerSummary& layer = layers[l];
    const std::int64_t entities = std::int64_t{layer.lines} + layer.arcs + layer.texts + layer.dots;
    if (entities == 0) continue;
    layer.layer = static_cast<std::uint8_t>(l);
    layer.view = reader.JwcViewLayer(l);
    s.layers.push_back(layer);
    group_entities[l >> 4] += entities;
  }
  for (int g = 0; g < 16; ++g) {
    if (group_entities[g] == 0) continue;
    s.groups.push_back({static_cast<std::uint8_t>(g), reader.JwcViewGroupe(g), group_entities[g]});
  }
  return s;
}

DrawingSummary LoadDrawingSummary(const std::filesystem::path& file) {
  if (!JwcFileHasSignature(file)) {
    throw std::runtime_error("not a JW_CAD drawing (the file does not start with \"" +
                             std::string(kJwcSignature) + "\")");
  }
  Tjwcin reader;
  if (reader.JwcLoadFile(file) != 0) throw std::runtime_error("cannot load: " + reader.LastError());
  return SummarizeDrawing(reader, file);
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
  if (s.groups.empty()) return out + "Layers:       none holds an entity\n";
  out += "Layers holding entities (group-layer, view state):\n";
  std::size_t next_layer = 0;
  for (const GroupSummary& group : s.groups) {
    out += Printf("  group %X     %-12s %lld entities\n", unsigned{group.group},
                  ViewText(group.view).c_str(), static_cast<long long>(group.entities));
    for (; next_layer < s.layers.size() && (s.layers[next_layer].layer >> 4) == group.group;
         ++next_layer) {
      const LayerSummary& l = s.layers[next_layer];
      out += Printf("    layer %X-%X %-12s lines %d, arcs %d, texts %d, dots %d\n",
                    unsigned{l.layer} >> 4u, unsigned{l.layer} & 0xFu, ViewText(l.view).c_str(),
                    l.lines, l.arcs, l.texts, l.dots);
    }
  }
  return out;
}

std::string SummaryJson(const DrawingSummary& s) {
  std::string out = "{";
  out += "\"file\":" + JsonString(s.file_name);
  out += ",\"date\":" + JsonString(s.date);
  out += ",\"paper\":" + JsonString(s.paper);
  out += Printf(",\"paper_code\":%d,\"paper_mm\":%d,\"real\":%s", s.paper_code, s.paper_mm,
                s.is_real ? "true" : "false");
  out += Printf(",\"lines\":%d,\"arcs\":%d,\"texts\":%d,\"dots\":%d,\"window_width\":%d", s.lines,
                s.arcs, s.texts, s.dots, s.window_width);
  out += ",\"groups\":[";
  for (std::size_t i = 0; i < s.groups.size(); ++i) {
    const GroupSummary& g = s.groups[i];
    out += Printf("%s{\"group\":%u,\"view\":%u,\"shown\":%s,\"entities\":%lld}", i ? "," : "",
                  unsigned{g.group}, unsigned{g.view}, g.view == 1 ? "true" : "false",
                  static_cast<long long>(g.entities));
  }
  out += "],\"layers\":[";
  for (std::size_t i = 0; i < s.layers.size(); ++i) {
    const LayerSummary& l = s.layers[i];
    out += Printf(
        "%s{\"layer\":%u,\"group\":%u,\"view\":%u,\"shown\":%s,\"lines\":%d,\"arcs\":%d,"
        "\"texts\":%d,\"dots\":%d}",
        i ? "," : "", unsigned{l.layer}, unsigned{l.layer} >> 4u, unsigned{l.view},
        l.view == 1 ? "true" : "false", l.lines, l.arcs, l.texts, l.dots);
  }
  return out + "]}";
}

}  // namespace pelmora
