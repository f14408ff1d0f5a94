#include "registry_store.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <optional>
#include <thread>
#include <vector>

#include "com/registry.h"

namespace comrt::registry {

namespace {

// Larger files are refused rather than read into memory.
constexpr off_t kMaxFileSize = off_t{256} << 20;
// How long a writer waits for another's lock before it gives up.
constexpr auto kLockTimeout = std::chrono::seconds(10);
// File times tick with the kernel's coarse clock; a file changed within this
// long of its last read may have changed again under the same times.
constexpr int64_t kTimeTickNs = 20'000'000;
// Temporary files are "<file>" + kTempInfix + six random characters.
constexpr const char* kTempInfix = ".tmp.";

std::atomic<uint64_t> g_revision{0};

std::string Folder(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

[[noreturn]] void ThrowIo(const std::string& what, const std::string& path, int error) {
  const LONG code = (error == EACCES || error == EPERM || error == EROFS) ? ERROR_ACCESS_DENIED : ERROR_REGISTRY_IO_FAILED;
  throw Failure(code, "registry file " + path + ": " + what + ": " + std::strerror(error));
}

int64_t Nanoseconds(const timespec& t) { return int64_t{t.tv_sec} * 1'000'000'000 + t.tv_nsec; }

// What tells one state of the file from the next.
struct Stamp {
  bool exists = false;
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  int64_t modified = 0;
  int64_t changed = 0;

  static Stamp Of(const struct stat& st) {
    return {true, st.st_dev, st.st_ino, st.st_size, Nanoseconds(st.st_mtim), Nanoseconds(st.st_ctim)};
  }
  bool operator==(const Stamp&) const = default;

  // Whether a later change must show in the stamp: the file's times lie a clock
  // tick or more in the past.
  bool Settled() const {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return Nanoseconds(now) - std::max(modified, changed) > kTimeTickNs;
  }
};

const char* KindName(mode_t mode) {
  if (S_ISDIR(mode)) return "a directory";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  if (S_ISSOCK(mode)) return "a socket";
  return "not a regular file";
}

[[noreturn]] void RefuseTooLarge(const std::string& path, uint64_t size) {
  throw Failure(ERROR_REGISTRY_IO_FAILED, "registry file " + path + " is larger than 256 MiB (" +
                                              std::to_string(size) + " bytes); refused");
}

void RequireRegularFile(const std::string& path, const struct stat& st) {
  if (!S_ISREG(st.st_mode)) {
    throw Failure(ERROR_REGISTRY_IO_FAILED, "registry file " + path + " is " + KindName(st.st_mode) +
                                                ", not a regular file; refused");
  }
  if (st.st_size > kMaxFileSize) RefuseTooLarge(path, static_cast<uint64_t>(st.st_size));
}

// A link in a folder others can write is followed only when it belongs to the
// caller, to root or to the folder's owner, as the kernel's protected-symlinks
// rule has it: anyone else could have planted it there.
void RequireTrustedLink(const std::string& path, const struct stat& link) {
  const std::string folder = Folder(path);
  struct stat dir {};
  if (stat(folder.c_str(), &dir) != 0) ThrowIo("cannot examine the folder", folder, errno);
  if ((dir.st_mode & S_IWOTH) == 0 || link.st_uid == geteuid() || link.st_uid == 0 || link.st_uid == dir.st_uid) return;
  throw Failure(ERROR_ACCESS_DENIED, "registry file " + path + " is a symbolic link owned by another user (uid " +
                                         std::to_string(link.st_uid) + ") in a folder others can write (" + folder +
                                         "); refused");
}

// The stamp of the file at path, after the checks on what the path names; no
// stamp (exists false) when there is no file.
Stamp Examine(const std::string& path) {
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0) {
    if (errno == ENOENT) return {};
    ThrowIo("cannot examine", path, errno);
  }
  if (S_ISLNK(st.st_mode)) {
    RequireTrustedLink(path, st);
    if (stat(path.c_str(), &st) != 0) {
      if (errno == ENOENT) return {};
      ThrowIo("cannot examine", path, errno);
    }
  }
  RequireRegularFile(path, st);
  return Stamp::Of(st);
}

// Bytes in an anonymous mapping of their own, which the kernel may back with huge
// pages: reading a large file then costs a few page faults and not thousands.
class Bytes {
 public:
  Bytes() = default;
  explicit Bytes(std::string_view text) {
    Reserve(text.size());
    std::memcpy(data_, text.data(), text.size());
    size_ = text.size();
  }
  Bytes(Bytes&& other) noexcept { *this = std::move(other); }
  Bytes& operator=(Bytes&& other) noexcept {
    std::swap(data_, other.data_);
    std::swap(size_, other.size_);
    std::swap(capacity_, other.capacity_);
    return *this;
  }
  ~Bytes() {
    if (data_ != nullptr) munmap(data_, capacity_);
  }

  // Keeps the first size() bytes.
  void Reserve(size_t capacity) {
    if (capacity <= capacity_) return;
    capacity = std::max<size_t>(capacity, 4096);
    void* memory = mmap(nullptr, capacity, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED) throw std::bad_alloc();
    madvise(memory, capacity, MADV_HUGEPAGE);
    if (size_ != 0) std::memcpy(memory, data_, size_);
    if (data_ != nullptr) munmap(data_, capacity_);
    data_ = static_cast<char*>(memory);
    capacity_ = capacity;
  }
  char* data() { return data_; }
  size_t capacity() const { return capacity_; }
  void resize(size_t size) { size_ = size; }  // within capacity()
  std::string_view view() const { return {data_, size_}; }

 private:
  char* data_ = nullptr;
  size_t size_ = 0;
  size_t capacity_ = 0;
};

// The file's bytes and the stamp they go with. Opened without blocking and
// checked again on the open file, so a FIFO or device put in its place between
// Examine and here is refused all the same.
Bytes ReadAll(const std::string& path, Stamp& stamp) {
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) {
      stamp = {};
      return {};
    }
    ThrowIo("cannot open", path, errno);
  }
  Bytes text;
  try {
    struct stat st {};
    if (fstat(fd, &st) != 0) ThrowIo("cannot examine", path, errno);
    RequireRegularFile(path, st);
    // One byte more than the file holds, so that reading up to the end needs no more room.
    text.Reserve(static_cast<size_t>(st.st_size) + 1);
    size_t done = 0;
    for (;;) {
      if (done == text.capacity()) {
        if (done > static_cast<size_t>(kMaxFileSize)) RefuseTooLarge(path, done);
        text.Reserve(done * 2);
      }
      const ssize_t n = read(fd, text.data() + done, text.capacity() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) ThrowIo("cannot read", path, errno);
      if (n == 0) break;
      done += static_cast<size_t>(n);
      text.resize(done);
    }
    if (fstat(fd, &st) != 0) ThrowIo("cannot examine", path, errno);
    stamp = Stamp::Of(st);
  } catch (...) {
    close(fd);
    throw;
  }
  close(fd);
  return text;
}

// Made as a Hive that may change, so that a writer can take it over (Cache::Take).
std::shared_ptr<const Hive> ParseText(std::string_view text, const std::string& path) {
  try {
    return std::make_shared<Hive>(Parse(text));
  } catch (const FormatError& e) {
    throw Failure(ERROR_BADDB, "registry file " + path + " line " + std::to_string(e.line()) + ": " + e.what());
  }
}

// The tree of the file this process read last, with what it was read from.
class Cache {
 public:
  std::shared_ptr<const Hive> Get(const std::string& path) {
    const Stamp now = Examine(path);
    std::lock_guard lock(mutex_);
    Refresh(path, now);
    return hive_;
  }

  // The tree of the file as it is now, for a writer to edit: the cache's own when
  // no one else holds it (the cache then forgets it), else a copy.
  std::shared_ptr<Hive> Take(const std::string& path) {
    const Stamp now = Examine(path);
    std::lock_guard lock(mutex_);
    Refresh(path, now);
    if (hive_.use_count() > 1) return std::make_shared<Hive>(hive_->Clone());
    auto hive = std::const_pointer_cast<Hive>(std::move(hive_));
    path_.clear();
    text_ = Bytes();
    ++g_revision;
    return hive;
  }

  // The tree just written to the file, with the file's stamp after the write.
  void Put(const std::string& path, Bytes text, std::shared_ptr<const Hive> hive) {
    struct stat st {};
    std::lock_guard lock(mutex_);
    if (stat(path.c_str(), &st) != 0) {
      path_.clear();
      return;
    }
    Keep(path, Stamp::Of(st), std::move(text), std::move(hive));
  }

 private:
  void Refresh(const std::string& path, const Stamp& now) {
    if (path == path_ && now == stamp_ && (settled_ || !now.exists)) return;
    if (!now.exists) {
      Keep(path, now, {}, std::make_shared<Hive>());
      return;
    }
    Stamp stamp;
    Bytes text = ReadAll(path, stamp);
    // Same bytes as before: the parsed tree still holds.
    if (path == path_ && text.view() == text_.view()) {
      Keep(path, stamp, std::move(text), hive_);
    } else {
      std::shared_ptr<const Hive> hive = ParseText(text.view(), path);
      Keep(path, stamp, std::move(text), std::move(hive));
    }
  }

  void Keep(const std::string& path, const Stamp& stamp, Bytes text, std::shared_ptr<const Hive> hive) {
    path_ = path;
    stamp_ = stamp;
    settled_ = stamp.Settled();
    text_ = std::move(text);
    if (hive != hive_) ++g_revision;
    hive_ = std::move(hive);
  }

  std::mutex mutex_;
  std::string path_;
  Stamp stamp_;
  bool settled_ = false;
  Bytes text_;
  std::shared_ptr<const Hive> hive_;
};

// Never destroyed: a process that ends does not take a large tree apart.
Cache& TheCache() {
  static Cache& cache = *new Cache;
  return cache;
}

// The file that writes replace: the target of a symbolic link, so the link stays.
std::string TargetPath(const std::string& path) {
  char resolved[PATH_MAX];
  if (realpath(path.c_str(), resolved) != nullptr) return resolved;
  return path;
}

bool InGroup(gid_t gid) {
  if (getegid() == gid) return true;
  const int count = getgroups(0, nullptr);
  if (count <= 0) return false;
  std::vector<gid_t> groups(static_cast<size_t>(count));
  const int got = getgroups(count, groups.data());
  for (int i = 0; i < got; ++i) {
    if (groups[static_cast<size_t>(i)] == gid) return true;
  }
  return false;
}

// The permission bits that apply to the caller, taken as the owner, a group member
// or another user would be: root is held to them as well.
bool Grants(const struct stat& st, mode_t owner_bits) {
  mode_t bits = owner_bits;
  if (st.st_uid != geteuid()) bits = InGroup(st.st_gid) ? owner_bits >> 3 : owner_bits >> 6;
  return (st.st_mode & bits) == bits;
}

void MakeFolders(const std::string& folder) {
  struct stat st {};
  if (stat(folder.c_str(), &st) == 0) return;
  MakeFolders(Folder(folder));
  if (mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST) ThrowIo("cannot create the folder", folder, errno);
}

void WriteAll(int fd, const std::string& text, const std::string& path) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ThrowIo("cannot write", path, errno);
    done += static_cast<size_t>(n);
  }
}

// Removes the temporary files of writers that died before their rename; called
// under the lock, so no live writer has one.
void RemoveStaleTemporaries(const std::string& path) {
  const std::string folder = Folder(path);
  const std::string prefix = path.substr(path.rfind('/') + 1) + kTempInfix;
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return;
  while (const dirent* entry = readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (name.size() == prefix.size() + 6 && name.substr(0, prefix.size()) == prefix) {
      unlinkat(dirfd(dir), entry->d_name, 0);
    }
  }
  closedir(dir);
}

// Writes the text beside the file and renames it over the file.
void Replace(const std::string& path, const std::string& text) {
  std::string temp = path + kTempInfix + "XXXXXX";
  const int fd = mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) ThrowIo("cannot create a temporary file beside it", path, errno);
  try {
    struct stat st {};
    const mode_t mode = stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0644;
    if (fchmod(fd, mode) != 0) ThrowIo("cannot set the mode of the temporary file", path, errno);
    WriteAll(fd, text, temp);
    if (fsync(fd) != 0) ThrowIo("cannot flush", temp, errno);
  } catch (...) {
    close(fd);
    unlink(temp.c_str());
    throw;
  }
  if (close(fd) != 0) {
    const int error = errno;
    unlink(temp.c_str());
    ThrowIo("cannot close", temp, error);
  }
  if (rename(temp.c_str(), path.c_str()) != 0) {
    const int error = errno;
    unlink(temp.c_str());
    ThrowIo("cannot replace", path, error);
  }
}

// The exclusive lock on "<file>.lock", opened without following a link, and given
// up with an error after kLockTimeout.
class FileLock {
 public:
  explicit FileLock(const std::string& path) : path_(path + ".lock") {
    fd_ = open(path_.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0644);
    if (fd_ < 0 && errno == ELOOP) {
      throw Failure(ERROR_ACCESS_DENIED, "registry lock file " + path_ + " is a symbolic link; refused");
    }
    if (fd_ < 0) ThrowIo("cannot open the lock file", path_, errno);
    try {
      struct stat st {};
      if (fstat(fd_, &st) != 0) ThrowIo("cannot examine", path_, errno);
      if (!S_ISREG(st.st_mode)) {
        throw Failure(ERROR_REGISTRY_IO_FAILED, "registry lock file " + path_ + " is " + KindName(st.st_mode) +
                                                    ", not a regular file; refused");
      }
      Acquire();
    } catch (...) {
      close(fd_);
      throw;
    }
  }
  ~FileLock() { close(fd_); }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

 private:
  void Acquire() {
    const auto deadline = std::chrono::steady_clock::now() + kLockTimeout;
    auto pause = std::chrono::microseconds(100);
    while (flock(fd_, LOCK_EX | LOCK_NB) != 0) {
      if (errno == EINTR) continue;
      if (errno != EWOULDBLOCK) ThrowIo("cannot lock", path_, errno);
      if (std::chrono::steady_clock::now() >= deadline) {
        throw Failure(ERROR_REGISTRY_IO_FAILED, "registry lock file " + path_ +
                                                    " has been held by another writer for more than 10 s; gave up");
      }
      std::this_thread::sleep_for(pause);
      pause = std::min(pause * 2, std::chrono::microseconds(20'000));
    }
  }

  std::string path_;
  int fd_ = -1;
};

// A change under the lock: the file as it is now, copied to be edited.
struct Locked {
  std::string file;    // the path callers name
  std::string target;  // the file that is replaced
  std::unique_ptr<FileLock> lock;
  std::shared_ptr<Hive> hive;

  static Locked Take() {
    Locked locked;
    locked.file = FilePath();
    locked.target = TargetPath(locked.file);
    Examine(locked.file);
    RequireWritable();
    MakeFolders(Folder(locked.target));
    locked.lock = std::make_unique<FileLock>(locked.target);
    RemoveStaleTemporaries(locked.target);
    locked.hive = TheCache().Take(locked.file);
    return locked;
  }

  // Replaces the file with the edited tree, which then belongs to the cache.
  void Write() {
    const std::string text = Format(*hive);
    Replace(target, text);
    TheCache().Put(file, Bytes(text), std::move(hive));
  }
};

struct Transaction {
  int depth = 0;
  bool changed = false;
  std::optional<Locked> locked;
};

thread_local Transaction t_transaction;

}  // namespace

std::string FilePath() {
  if (const char* path = std::getenv("QEL_REGISTRY"); path != nullptr && *path != '\0') return path;
  std::string config;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && *xdg == '/') {
    config = xdg;
  } else if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
    config = std::string(home) + "/.config";
  } else {
    throw Failure(ERROR_REGISTRY_IO_FAILED, "no registry file: neither QEL_REGISTRY nor HOME is set");
  }
  return config + "/qelcom/registry.reg";
}

std::shared_ptr<const Hive> Load() {
  if (t_transaction.locked) return t_transaction.locked->hive;
  return TheCache().Get(FilePath());
}

uint64_t Revision() { return g_revision.load(); }

void RequireWritable() {
  const std::string path = TargetPath(FilePath());
  const std::string denied = "registry file " + path + " is read-only for this user";
  struct stat st {};
  if (stat(path.c_str(), &st) == 0) {
    RequireRegularFile(path, st);
    if (!Grants(st, S_IWUSR)) throw Failure(ERROR_ACCESS_DENIED, denied);
  }
  // The nearest folder that exists: the rename, or the folders made on the first
  // write, need to write there.
  std::string folder = Folder(path);
  while (stat(folder.c_str(), &st) != 0 && folder != "/" && folder != ".") folder = Folder(folder);
  struct statvfs fs {};
  if (!Grants(st, S_IWUSR | S_IXUSR) || (statvfs(folder.c_str(), &fs) == 0 && (fs.f_flag & ST_RDONLY) != 0)) {
    throw Failure(ERROR_ACCESS_DENIED, denied);
  }
}

void Update(const std::function<bool(Hive&)>& change) {
  if (t_transaction.locked) {
    ++g_revision;
    if (change(*t_transaction.locked->hive)) t_transaction.changed = true;
    return;
  }
  Locked locked = Locked::Take();
  if (change(*locked.hive)) locked.Write();
}

void BeginTransaction() {
  if (t_transaction.depth++ > 0) return;
  try {
    t_transaction.locked = Locked::Take();
    t_transaction.changed = false;
    ++g_revision;
  } catch (...) {
    t_transaction = {};
    throw;
  }
}

void CommitTransaction() {
  if (t_transaction.depth != 1 || !t_transaction.locked) return;
  if (t_transaction.changed) t_transaction.locked->Write();
  // The lock goes with the commit; calls until End see the file again.
  t_transaction.locked.reset();
  ++g_revision;
}

void EndTransaction() noexcept {
  if (t_transaction.depth == 0 || --t_transaction.depth > 0) return;
  t_transaction = {};
  ++g_revision;
}

bool InTransaction() { return t_transaction.locked.has_value(); }

}  // namespace comrt::registry
