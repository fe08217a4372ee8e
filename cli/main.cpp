// pelmora-convert: the command-line converter. Exit status: 0 all drawings done,
// 1 at least one failed (the others are still done), 2 bad command line.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "drawing/summary.h"

namespace {

constexpr const char* kUsage =
    "Usage: pelmora-convert [OPTIONS] DRAWING.jwc...\n"
    "      --info             print the drawing's summary instead of converting\n"
    "      --json             with --info: one JSON object per drawing and line\n"
    "  -h, --help             show this help\n"
    "      --version          show the version\n";

int BadCommandLine(const std::string& message) {
  std::fprintf(stderr, "pelmora-convert: %s\nTry 'pelmora-convert --help'.\n", message.c_str());
  return 2;
}

// Prints the summary of `file`; reports a failure with the drawing's name.
bool PrintInfo(const std::filesystem::path& file, bool json) {
  try {
    const pelmora::DrawingSummary summary = pelmora::LoadDrawingSummary(file);
    const std::string text =
        json ? pelmora::SummaryJson(summary) + "\n" : pelmora::SummaryText(summary);
    std::fputs(text.c_str(), stdout);
    return true;
  } catch (const std::exception& error) {
    std::fflush(stdout);
    std::fprintf(stderr, "pelmora-convert: %s: %s\n", file.c_str(), error.what());
    return false;
  }
}

}  // namespace

int main(int argc, char** argv) {
  bool info = false, json = false, options_done = false;
  std::vector<std::filesystem::path> drawings;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (options_done || arg.empty() || arg[0] != '-' || arg == "-") {
      drawings.emplace_back(arg);
    } else if (arg == "--") {
      options_done = true;
    } else if (arg == "-h" || arg == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (arg == "--version") {
      std::puts("pelmora-convert 2.03b");
      return 0;
    } else if (arg == "--info") {
      info = true;
    } else if (arg == "--json") {
      json = true;
    } else {
      return BadCommandLine("unknown option '" + std::string(arg) + "'");
    }
  }
  if (drawings.empty()) return BadCommandLine("no drawing given");
  if (json && !info) return BadCommandLine("--json goes with --info");
  if (!info) return BadCommandLine("converting is not available yet; use --info");

  bool all_done = true;
  for (std::size_t i = 0; i < drawings.size(); ++i) {
    if (i > 0 && !json) std::fputs("\n", stdout);
    all_done = PrintInfo(drawings[i], json) && all_done;
  }
  std::fflush(stdout);
  return all_done ? 0 : 1;
}
