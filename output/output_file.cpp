#include "output/output_file.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <random>
#include <vector>

namespace pelmora {
namespace {

// Write-back is started whenever this much was written since the last start.
constexpr std::uint64_t kWriteBackStep = std::uint64_t{8} << 20;
constexpr std::size_t kCopyChunk = std::size_t{1} << 20;

std::atomic<bool> g_named_only{false};

// ---- Named temporary files removed by a signal handler.
//
// The handler may run at any moment, so the names live in fixed slots: a slot
// is filled first and published by its state, and the handler reads only
// published slots and calls nothing but unlink, sigaction and raise.
constexpr int kSlotCount = 32;
struct Slot {
  std::atomic<int> state{0};  // 0 free, 1 being filled or cleared, 2 published
  char name[PATH_MAX] = {};
};
Slot g_slots[kSlotCount];

constexpr std::array<int, 3> kCleanupSignals = {SIGINT, SIGTERM, SIGHUP};
struct sigaction g_previous[3];
std::once_flag g_handlers_installed;

void RemoveTemporaries(int signal_number, siginfo_t* info, void* context) {
  for (Slot& slot : g_slots) {
    if (slot.state.load() == 2) ::unlink(slot.name);
  }
  for (std::size_t i = 0; i < kCleanupSignals.size(); ++i) {
    if (kCleanupSignals[i] != signal_number) continue;
    const struct sigaction& previous = g_previous[i];
    if (previous.sa_flags & SA_SIGINFO) {
      previous.sa_sigaction(signal_number, info, context);
    } else if (previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN) {
      previous.sa_handler(signal_number);
    } else {
      // The default action, once this handler returns and the signal is unblocked.
      ::sigaction(signal_number, &previous, nullptr);
      ::raise(signal_number);
    }
  }
}

void InstallHandlers() {
  for (std::size_t i = 0; i < kCleanupSignals.size(); ++i) {
    struct sigaction current {};
    if (::sigaction(kCleanupSignals[i], nullptr, &current) != 0) continue;
    // A signal the program ignores (nohup) stays ignored.
    if (!(current.sa_flags & SA_SIGINFO) && current.sa_handler == SIG_IGN) continue;
    g_previous[i] = current;
    struct sigaction ours {};
    ours.sa_sigaction = RemoveTemporaries;
    ours.sa_flags = SA_SIGINFO | SA_RESTART;
    sigemptyset(&ours.sa_mask);
    ::sigaction(kCleanupSignals[i], &ours, nullptr);
  }
}

// The slot holding `name`, or -1 when every slot is taken (the name is then
// only removed by the normal paths).
int Register(const std::string& name) {
  std::call_once(g_handlers_installed, InstallHandlers);
  if (name.size() >= PATH_MAX) return -1;
  for (int i = 0; i < kSlotCount; ++i) {
    int expected = 0;
    if (!g_slots[i].state.compare_exchange_strong(expected, 1)) continue;
    std::memcpy(g_slots[i].name, name.c_str(), name.size() + 1);
    g_slots[i].state.store(2);
    return i;
  }
  return -1;
}

void Unregister(int slot) {
  if (slot >= 0) g_slots[slot].state.store(0);
}

// ---- Paths and modes.

std::string SystemReason(const std::string& what, int err) {
  return what + ": " + std::strerror(err);
}

std::string FolderOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

const char* KindOf(mode_t mode) {
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  if (S_ISFIFO(mode)) return "a named pipe";
  if (S_ISSOCK(mode)) return "a socket";
  return "not a regular file";
}

// The process's umask, read without changing it (changing it would race with
// other threads creating files).
mode_t CurrentUmask() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("Umask:", 0) == 0)
      return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
  }
  static std::mutex lock;
  const std::lock_guard<std::mutex> guard(lock);
  const mode_t mask = ::umask(022);
  ::umask(mask);
  return mask;
}

std::string RandomSuffix() {
  static constexpr char kLetters[] =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  thread_local std::mt19937_64 generator{std::random_device{}()};
  std::string suffix(10, 'x');
  for (char& c : suffix) c = kLetters[generator() % (sizeof(kLetters) - 1)];
  return suffix;
}

// What a name refers to, and whether it may receive the output.
struct Target {
  OutputStatus status;
  std::string name;  // the file that receives the output (a link resolved)
  bool exists = false;
  struct stat info {};
};

Target Inspect(const std::string& path, bool replace) {
  Target t;
  t.status.path = path;
  t.name = path;
  const auto refuse = [&](OutputError kind, std::string reason) {
    t.status.error = kind;
    t.status.reason = std::move(reason);
    return t;
  };
  if (path.empty()) return refuse(OutputError::kCannotCreate, "no file name");
  if (path == kStandardOutput) {
    if (::isatty(STDOUT_FILENO)) {
      return refuse(OutputError::kCannotCreate, "standard output is a terminal");
    }
    return t;
  }
  struct stat link {};
  if (::lstat(path.c_str(), &link) != 0) {
    if (errno == ENOENT) return t;  // a new file; its folder is tried when it is made
    return refuse(OutputError::kCannotCreate, SystemReason(path, errno));
  }
  t.info = link;
  if (S_ISLNK(link.st_mode)) {
    if (::stat(path.c_str(), &t.info) != 0) {
      if (errno == ENOENT) {
        return refuse(OutputError::kCannotCreate, path + " is a dangling symbolic link");
      }
      if (errno == ELOOP)
        return refuse(OutputError::kCannotCreate, path + " is a symbolic link loop");
      return refuse(OutputError::kCannotCreate, SystemReason(path, errno));
    }
    if (!S_ISREG(t.info.st_mode)) {
      return refuse(OutputError::kCannotCreate,
                    path + " is a symbolic link to " + KindOf(t.info.st_mode));
    }
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (!resolved) return refuse(OutputError::kCannotCreate, SystemReason(path, errno));
    t.name = resolved;
    std::free(resolved);
  } else if (!S_ISREG(link.st_mode)) {
    return refuse(OutputError::kCannotCreate, path + " is " + KindOf(link.st_mode));
  }
  t.exists = true;
  if (!replace) return refuse(OutputError::kExists, path + " exists");
  // Root may write anything; a file nobody may write is still read-only to it.
  if ((t.info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
    return refuse(OutputError::kCannotCreate, path + " is read-only");
  }
  if (::access(t.name.c_str(), W_OK) != 0) {
    return refuse(OutputError::kCannotCreate, SystemReason(path, errno));
  }
  return t;
}

OutputStatus Failure(OutputError kind, const std::string& path, std::string reason) {
  return OutputStatus{kind, path, std::move(reason)};
}

bool WriteAll(int fd, const std::uint8_t* data, std::size_t size, int* err) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, std::min<std::size_t>(size, SSIZE_MAX));
    if (n < 0) {
      if (errno == EINTR) continue;
      *err = errno;
      return false;
    }
    if (n == 0) {
      *err = ENOSPC;
      return false;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

// Writes to a pipe whose reader has gone fail with EPIPE instead of killing
// the process: SIGPIPE is held back on this thread while `body` runs.
template <typename Body>
bool WithoutSigpipe(Body body) {
  sigset_t pipe_only, previous;
  sigemptyset(&pipe_only);
  sigaddset(&pipe_only, SIGPIPE);
  sigset_t pending;
  sigemptyset(&pending);
  sigpending(&pending);
  const bool was_pending = sigismember(&pending, SIGPIPE) == 1;
  pthread_sigmask(SIG_BLOCK, &pipe_only, &previous);
  const bool ok = body();
  if (!was_pending) {
    const timespec no_wait{0, 0};
    while (sigtimedwait(&pipe_only, nullptr, &no_wait) == SIGPIPE) {
    }
  }
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  return ok;
}

void SyncFolder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    (void)::fsync(fd);
    ::close(fd);
  }
}

}  // namespace

std::string OutputStatus::Message() const {
  switch (error) {
    case OutputError::kNone:
      return {};
    case OutputError::kCannotCreate:
    case OutputError::kExists:
      return "ファイル " + path + " を作成できません";
    case OutputError::kWriteFailed:
      return "保存出来ませんでした。";
  }
  return "保存出来ませんでした。";
}

OutputStatus CheckOutputTarget(const std::string& path, bool replace) {
  return Inspect(path, replace).status;
}

void UseNamedTemporaryFilesForTesting(bool named) {
  g_named_only.store(named);
}

OutputFile::~OutputFile() {
  Discard();
}

void OutputFile::Discard() {
  if (!m_temp.empty()) {
    ::unlink(m_temp.c_str());
    Unregister(m_slot);
    m_slot = -1;
    m_temp.clear();
  }
  if (m_fd >= 0) ::close(m_fd);
  m_fd = -1;
}

bool OutputFile::Open(const std::string& path, bool replace, OutputStatus* status, bool in_place) {
  Discard();
  m_path = path;
  m_replace = replace;
  m_in_place = false;
  m_unsynced = 0;
  const Target target = Inspect(path, replace);
  if (!target.status.ok()) {
    *status = target.status;
    return false;
  }
  m_to_stdout = path == kStandardOutput;
  m_in_place = in_place && target.exists && !m_to_stdout;
  if (m_to_stdout) {
    const char* tmpdir = std::getenv("TMPDIR");
    m_folder = tmpdir && *tmpdir ? tmpdir : "/tmp";
  } else {
    m_target = target.name;
    m_folder = FolderOf(m_target);
  }

  if (!g_named_only.load()) {
    m_fd = ::open(m_folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
    if (m_fd < 0 && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
      *status = Failure(OutputError::kCannotCreate, path,
                        SystemReason("cannot create a file in " + m_folder, errno));
      return false;
    }
  }
  if (m_fd < 0) {
    // No O_TMPFILE here: a hidden name beside the target, removed on signals.
    std::string pattern =
        m_folder + "/." + (m_to_stdout ? "pelmora" : NameOf(m_target)) + ".XXXXXX";
    m_fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (m_fd < 0) {
      *status = Failure(OutputError::kCannotCreate, path,
                        SystemReason("cannot create a file in " + m_folder, errno));
      return false;
    }
    if (m_to_stdout) {
      ::unlink(pattern.c_str());  // only the descriptor is needed
    } else {
      m_temp = pattern;
      m_slot = Register(m_temp);
      (void)::fchmod(m_fd, 0666 & ~CurrentUmask());
    }
  }
  if (target.exists) {
    (void)::fchown(m_fd, target.info.st_uid, target.info.st_gid);
    (void)::fchmod(m_fd, target.info.st_mode & 07777);
  }
  return true;
}

void OutputFile::Written(std::uint64_t bytes) {
  m_unsynced += bytes;
  if (m_unsynced < kWriteBackStep || m_fd < 0 || m_to_stdout) return;
  (void)::sync_file_range(m_fd, 0, 0, SYNC_FILE_RANGE_WRITE);
  m_unsynced = 0;
}

bool OutputFile::Commit(OutputStatus* status) {
  if (m_fd < 0) {
    *status = Failure(OutputError::kWriteFailed, m_path, "the output file is not open");
    return false;
  }
  if (m_to_stdout) {
    const bool copied = CopyToStandardOutput(status);
    Discard();
    return copied;
  }
  if (::fsync(m_fd) != 0) {
    *status =
        Failure(OutputError::kWriteFailed, m_path, SystemReason("cannot flush " + m_path, errno));
    Discard();
    return false;
  }
  if (m_in_place) {
    const bool copied = CopyInPlace(status);
    Discard();
    if (copied) *status = OutputStatus{OutputError::kNone, m_path, {}};
    return copied;
  }
  // The name may have changed hands while the image was written.
  const Target now = Inspect(m_path, m_replace);
  if (!now.status.ok() || (now.exists && now.name != m_target)) {
    *status = now.status.ok() ? Failure(OutputError::kCannotCreate, m_path,
                                        m_path + " changed while it was written")
                              : now.status;
    Discard();
    return false;
  }
  const bool delivered = m_temp.empty() ? CommitUnnamed(status) : CommitNamed(status);
  Discard();
  if (delivered) {
    SyncFolder(m_folder);
    *status = OutputStatus{OutputError::kNone, m_path, {}};
  }
  return delivered;
}

bool OutputFile::CommitUnnamed(OutputStatus* status) {
  const std::string self = "/proc/self/fd/" + std::to_string(m_fd);
  const auto link_to = [&](const std::string& name) {
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) return 0;
    if (errno != ENOENT) return errno;
    // No /proc: the descriptor itself (needs CAP_DAC_READ_SEARCH).
    if (::linkat(m_fd, "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH) == 0) return 0;
    return errno;
  };
  if (!m_replace) {
    const int err = link_to(m_target);
    if (err == 0) return true;
    *status = err == EEXIST ? Failure(OutputError::kExists, m_path, m_path + " exists")
                            : Failure(OutputError::kCannotCreate, m_path,
                                      SystemReason("cannot create " + m_path, err));
    return false;
  }
  // Replacing takes a name of its own first; rename then swaps it in atomically.
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string temp = m_folder + "/." + NameOf(m_target) + "." + RandomSuffix();
    const int slot = Register(temp);
    const int err = link_to(temp);
    if (err == EEXIST) {
      Unregister(slot);
      continue;
    }
    if (err != 0) {
      Unregister(slot);
      *status = Failure(OutputError::kCannotCreate, m_path,
                        SystemReason("cannot create a file in " + m_folder, err));
      return false;
    }
    const bool renamed = ::rename(temp.c_str(), m_target.c_str()) == 0;
    const int rename_err = errno;
    if (!renamed) ::unlink(temp.c_str());
    Unregister(slot);
    if (renamed) return true;
    *status = Failure(OutputError::kCannotCreate, m_path,
                      SystemReason("cannot replace " + m_path, rename_err));
    return false;
  }
  *status = Failure(OutputError::kCannotCreate, m_path, "no free temporary name in " + m_folder);
  return false;
}

bool OutputFile::CommitNamed(OutputStatus* status) {
  if (m_replace) {
    if (::rename(m_temp.c_str(), m_target.c_str()) == 0) {
      Unregister(m_slot);
      m_slot = -1;
      m_temp.clear();
      return true;
    }
    *status = Failure(OutputError::kCannotCreate, m_path,
                      SystemReason("cannot replace " + m_path, errno));
    return false;
  }
  int err = 0;
  if (::renameat2(AT_FDCWD, m_temp.c_str(), AT_FDCWD, m_target.c_str(), RENAME_NOREPLACE) == 0) {
    Unregister(m_slot);
    m_slot = -1;
    m_temp.clear();
    return true;
  }
  err = errno;
  if (err == EINVAL || err == ENOSYS) {
    // No RENAME_NOREPLACE on this file system: a hard link fails the same way on
    // an existing name.
    err = ::link(m_temp.c_str(), m_target.c_str()) == 0 ? 0 : errno;
    if (err == 0) return true;  // Discard() removes the temporary name
  }
  *status = err == EEXIST ? Failure(OutputError::kExists, m_path, m_path + " exists")
                          : Failure(OutputError::kCannotCreate, m_path,
                                    SystemReason("cannot create " + m_path, err));
  return false;
}

bool OutputFile::CopyInPlace(OutputStatus* status) {
  // No O_CREAT: the file the caller made, or nothing.
  const int out = ::open(m_target.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  if (out < 0) {
    *status =
        Failure(OutputError::kCannotCreate, m_path, SystemReason("cannot open " + m_path, errno));
    return false;
  }
  std::vector<std::uint8_t> buffer(kCopyChunk);
  int err = 0;
  bool copied = ::lseek(m_fd, 0, SEEK_SET) == 0;
  if (!copied) err = errno;
  while (copied) {
    const ssize_t n = ::read(m_fd, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n < 0) err = errno;
      copied = n == 0;
      break;
    }
    copied = WriteAll(out, buffer.data(), static_cast<std::size_t>(n), &err);
  }
  if (copied && ::fsync(out) != 0) {
    err = errno;
    copied = false;
  }
  if (::close(out) != 0 && copied) {
    err = errno;
    copied = false;
  }
  if (!copied) {
    *status =
        Failure(OutputError::kWriteFailed, m_path, SystemReason("cannot write " + m_path, err));
  }
  return copied;
}

bool OutputFile::CopyToStandardOutput(OutputStatus* status) {
  if (::lseek(m_fd, 0, SEEK_SET) != 0) {
    *status = Failure(OutputError::kWriteFailed, m_path,
                      SystemReason("cannot read the temporary file", errno));
    return false;
  }
  std::vector<std::uint8_t> buffer(kCopyChunk);
  int err = 0;
  const bool copied = WithoutSigpipe([&] {
    for (;;) {
      const ssize_t n = ::read(m_fd, buffer.data(), buffer.size());
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        err = errno;
        return false;
      }
      if (n == 0) return true;
      if (!WriteAll(STDOUT_FILENO, buffer.data(), static_cast<std::size_t>(n), &err)) {
        return false;
      }
    }
  });
  if (!copied) {
    *status = Failure(OutputError::kWriteFailed, m_path,
                      SystemReason("cannot write standard output", err));
    return false;
  }
  return true;
}

}  // namespace pelmora
