// pelmora-convert: the command-line converter. Exit status: 0 all drawings done,
// 1 at least one failed (the others are still done), 2 bad command line.
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "cli/convert.h"
#include "cli/options.h"
#include "pelmora_version.h"
#include "settings/store.h"

namespace {

int BadCommandLine(const std::string& message) {
  std::fprintf(stderr, "pelmora-convert: %s\nTry 'pelmora-convert --help'.\n", message.c_str());
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace pelmora;
  // Under a file-size limit a write beyond it then fails with EFBIG ("File too
  // large") and is reported like any failed write, instead of killing us unheard.
  std::signal(SIGXFSZ, SIG_IGN);
  const std::vector<std::string> args(argv + 1, argv + argc);
  std::string error;
  const auto options = ParseCommandLine(args, &error);
  if (!options) return BadCommandLine(error);
  if (options->help || options->version) {
    // A text longer than the stream's buffer fails while it is written, not
    // at the flush: the reason is kept from that write.
    errno = 0;
    int failed = 0;
    if (options->help) {
      if (std::fputs(UsageText(), stdout) == EOF) failed = errno;
    } else {
      std::printf("pelmora-convert %s (Pelmora %s)\n", PELMORA_VERSION, PELMORA_PRODUCT_VERSION);
    }
    return OutputWritten(ConvertStreams{}, failed) ? 0 : 1;
  }
  try {
    // The saved settings are only read: nothing here writes the store.
    Settings base;
    std::string source = "the built-in defaults";
    if (!options->defaults) {
      const SettingsStore store;
      std::string unreadable;
      base = store.Load(&unreadable);
      if (!unreadable.empty()) {
        std::fprintf(stderr,
                     "pelmora-convert: the saved settings could not be read (%s); the defaults "
                     "are used\n",
                     unreadable.c_str());
      }
      source = "the saved settings (" + store.Location() + ")";
    }
    const auto settings = EffectiveSettings(*options, base, &error);
    if (!settings) return BadCommandLine(error + ", from " + source);
    ConvertStreams streams;
    streams.progress_bar =
        !options->quiet && !options->info && !options->dry_run && ::isatty(STDERR_FILENO) == 1;
    return RunConverter(*options, *settings, streams);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "pelmora-convert: %s\n", e.what());
    return 1;
  }
}
