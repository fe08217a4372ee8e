// What pelmora-convert does with each drawing: convert it, plan it (--dry-run)
// or summarise it (--info).
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "cli/options.h"
#include "drawing/jwcunit.h"
#include "render/geometry.h"
#include "settings/settings.h"

namespace pelmora {

// Where the converter writes.
struct ConvertStreams {
  std::FILE* out = stdout;    // one line per converted drawing, --info, --dry-run
  std::FILE* err = stderr;    // errors; the progress bar
  bool progress_bar = false;  // draw a progress bar on `err` while rendering
  // Told each drawing's render progress (on the thread that converts, drawings
  // one at a time); returning false abandons that drawing: it fails and no file
  // of it is left.
  std::function<bool(std::int64_t position, std::int64_t total)> progress = nullptr;
};

// The output file of `drawing`: -o as given; with -d the drawing's file name in
// that folder, below it the folders `below` (the drawing's place under a folder
// walked with -r); otherwise next to the drawing. The extension becomes the
// format's (plan.jwc → plan.bmp, a.b.jwc → a.b.bmp, plan → plan.bmp).
std::filesystem::path OutputPathFor(const std::filesystem::path& drawing,
                                    const ConvertOptions& options,
                                    const std::filesystem::path& below = {});

// The paper of a loaded drawing and its preview scale.
struct DrawingPaper {
  PaperSize paper;
  int window_width = 0;     // drawing units (= preview pixels) across the paper
  float pixels_per_mm = 0;  // window_width / paper width in mm, single precision
};
// nullopt with the reason for a paper code outside 0..4 or a width of 0 units.
std::optional<DrawingPaper> PaperOf(const Tjwcin& reader, std::string* error);

// The region in preview pixels: the whole paper or a size at its top-left, as
// the window's "全体を選択" and its paper presets place them, or the given box.
SelectionBox RegionBox(const RegionChoice& region, const DrawingPaper& paper);

// Flushes streams.out; false after a message on streams.err when anything
// written to it was lost (a full disk, a closed pipe, /dev/full).
// `earlier_error`: the errno of an earlier failed flush, for the message.
bool OutputWritten(const ConvertStreams& streams, int earlier_error = 0);

// Converts (or with --dry-run plans, or with --info summarises) every drawing of
// `options` with `settings`. Each failure is reported on streams.err with the
// drawing's name and the reason and leaves no file behind; the other drawings
// are still done. Returns the exit status: 0 all done, 1 at least one failed
// or streams.out could not be written.
int RunConverter(const ConvertOptions& options, const Settings& settings,
                 const ConvertStreams& streams);

}  // namespace pelmora
