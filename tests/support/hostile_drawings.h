// Small drawings that ask for a great deal of work: arcs of radius just under
// the exact-chord limit, huge characters stacked on one spot. Each is a named
// fixture under 64 KiB, for the benchmark over them and as fuzz seeds.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace pelmora {

struct HostileDrawing {
  std::string name;  // also the seed's file name, without ".jwc"
  std::vector<std::byte> bytes;
};

// Every fixture, in a fixed order. Sizes assume the whole A3 sheet, as the
// converter renders it by default: drawing units are millimetres of paper.
std::vector<HostileDrawing> HostileDrawings();

}  // namespace pelmora
