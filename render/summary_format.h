// The drawing summary as the converter prints it: plain text for --info and a
// JSON object for --info --json. Both decode the stored code page 932 names to
// UTF-8, which is why they live here and not beside the summary in drawing/.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "drawing/summary.h"

namespace pelmora {

// Objects keep their fields in the order written, so the output reads as documented.
using Json = nlohmann::ordered_json;

// Code page 932 bytes as UTF-8; a byte or pair that is no character becomes U+FFFD.
std::string Cp932ToUtf8Lossy(std::string_view cp932);

// One line of JSON without a trailing newline. Strings that are not valid UTF-8
// (file names are any bytes) get U+FFFD for each bad sequence, so the line
// always parses.
std::string JsonLine(const Json& value);

// "2-3": a layer byte as group and layer, one hexadecimal digit each.
std::string LayerId(std::uint8_t layer);

// Plain text, several lines, each ended by '\n'.
std::string SummaryText(const DrawingSummary& summary);

// The summary's fields; names decoded. Field names are stable (the man page lists them).
Json SummaryJson(const DrawingSummary& summary);

}  // namespace pelmora
