// Delivery of an output file: the bytes go to a temporary file in the target's
// folder, and only a complete, flushed file takes the target's name. A failed or
// abandoned write leaves whatever was there before untouched and no trace.
#pragma once

#include <cstdint>
#include <string>

namespace pelmora {

enum class OutputError {
  kNone,
  kCannotCreate,  // the file cannot be created or replaced: folder missing or not
                  // writable, target read-only, a folder, or not a regular file
  kExists,        // the target exists and replacing was not asked for
  kWriteFailed,   // writing, flushing or the image itself failed
};

struct OutputStatus {
  OutputError error = OutputError::kNone;
  std::string path;    // the output name asked for
  std::string reason;  // the cause in plain words (for the converter and logs)

  bool ok() const { return error == OutputError::kNone; }
  // The user's message: "ファイル <path> を作成できません" when the file could not
  // be created (kCannotCreate, kExists), "保存出来ませんでした。" when writing
  // failed; empty on success.
  std::string Message() const;
};

// The name that means standard output.
inline constexpr char kStandardOutput[] = "-";

// Whether `path` may receive an output, decided before anything is rendered.
// Allowed: a name that does not exist yet (its folder is checked when the file
// is made), or, with `replace`, a writable regular file or a symbolic link to
// one (the file it points at is replaced, the link stays). Refused with a
// reason: a folder, a device, a FIFO, a socket, a dangling link, a link loop,
// a file without any write permission (also for root), and, without
// `replace`, anything that exists (kExists). "-" is standard output: refused
// when it is a terminal. OutputFile repeats the check before it delivers.
OutputStatus CheckOutputTarget(const std::string& path, bool replace);

// One output file being written. Open() makes an unnamed temporary file in the
// target's folder (O_TMPFILE; where the file system lacks it, a hidden named
// file that a SIGINT, SIGTERM or SIGHUP handler removes); Commit() flushes it
// and gives it the target's name; destroying an uncommitted OutputFile discards
// it. A new file gets the mode 0666 less the umask, a replaced file keeps its
// mode (and, where allowed, its owner). Without `replace` the final step never
// replaces: of two writers racing for one new name exactly one wins, the other
// gets kExists. For "-" the temporary file is made in $TMPDIR (or /tmp) and
// copied to standard output by Commit(); a failed copy (EPIPE, ENOSPC) is
// kWriteFailed. The descriptor is open for reading and writing and seekable.
class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // `in_place`: Commit() copies the finished file into an existing target,
  // truncated first and flushed, so that the target keeps its inode.
  bool Open(const std::string& path, bool replace, OutputStatus* status, bool in_place = false);
  int Descriptor() const { return m_fd; }
  // Starts the kernel's write-back of what was written so far, every few MB, so
  // that the final flush has little left to do. Failures here are not errors.
  void Written(std::uint64_t bytes);
  bool Commit(OutputStatus* status);
  // Drops the temporary file (also done by the destructor).
  void Discard();

 private:
  bool CommitNamed(OutputStatus* status);
  bool CommitUnnamed(OutputStatus* status);
  bool CopyToStandardOutput(OutputStatus* status);
  bool CopyInPlace(OutputStatus* status);

  std::string m_path;    // as asked for
  std::string m_target;  // the name that receives the file (a link resolved)
  std::string m_folder;  // the target's folder
  std::string m_temp;    // the named temporary file; empty when unnamed
  bool m_replace = false;
  bool m_to_stdout = false;
  bool m_in_place = false;  // the target exists and is written through its own inode
  int m_fd = -1;
  std::uint64_t m_unsynced = 0;
  int m_slot = -1;  // where the signal handler finds m_temp
};

// Test hook: make OutputFile use the named temporary file, as on a file system
// without O_TMPFILE.
void UseNamedTemporaryFilesForTesting(bool named);

}  // namespace pelmora
