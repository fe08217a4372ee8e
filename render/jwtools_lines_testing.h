// Test access to the drawing module's module-wide line state (render/jwtools.cpp).
// Production code never includes this header.
#pragma once

#include <array>
#include <cstdint>

namespace pelmora {

// A copy of the dash state. Elements are numbered from 1 (elements[0] unused);
// odd-numbered elements are dashes, even-numbered ones gaps, all in pixels.
struct LinePatternView {
  std::int32_t line_type = 0;
  std::array<std::int32_t, 101> elements{};
  std::int32_t count = 0;
  std::int32_t pattern_length = 0;
  std::int32_t phase_element = 0;
  std::int32_t phase_offset = 0;
  std::int32_t pen_width = 0;
  float pattern_unit = 0.0f;
  // LineDrawTo calls since the last reset, the ones DrawJwcArc makes included.
  std::uint64_t line_draw_calls = 0;
};

LinePatternView LinePatternForTesting();

// Whether arcs take their shortcuts (the default: chords that cannot reach the
// bitmap skipped, points turned from their neighbours) or walk every chord
// with every point computed directly, the reference the shortcuts are tested
// against. Per thread.
void SetArcShortcutsForTesting(bool on);

// Back to the program-start state: no pattern, every field 0.
void ResetLinePatternForTesting();

}  // namespace pelmora
