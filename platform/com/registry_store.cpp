#include "registry_store.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/random.h>
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
#include <deque>
#include <mutex>
#include <new>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include "com/registry.h"

namespace comrt::registry {

namespace {

// Larger files are refused rather than read into memory, and no write makes one.
constexpr off_t kMaxFileSize = off_t{256} << 20;
// How long a writer waits for another's lock before it gives up.
constexpr auto kLockTimeout = std::chrono::seconds(10);
// File times tick with the kernel's coarse clock; a file changed within this
// long of its last read may have changed again under the same times.
constexpr int64_t kTimeTickNs = 20'000'000;
// Filesystems that keep whole seconds (FAT two of them) give every change within
// that long the same times.
constexpr int64_t kCoarseTimeNs = 2'000'000'000;
// Temporary files are "<file>" + kTempInfix + six random characters.
constexpr const char* kTempInfix = ".tmp.";
// Links followed on the way to the file, as the kernel allows.
constexpr int kMaxLinks = 40;
// How often a look-up starts again when the file was replaced between finding
// it and opening it, as writers do all the time.
constexpr int kMaxRetries = 100;

std::atomic<uint64_t> g_revision{0};

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
  // tick or more in the past, and where they have no fraction of a second (the
  // filesystem keeps none), that many seconds more.
  bool Settled() const {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    const bool coarse = modified % 1'000'000'000 == 0 || changed % 1'000'000'000 == 0;
    return Nanoseconds(now) - std::max(modified, changed) > kTimeTickNs + (coarse ? kCoarseTimeNs : 0);
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

[[noreturn]] void RefuseUnreadable(const std::string& path) {
  throw Failure(ERROR_ACCESS_DENIED, "registry file " + path + " is not readable for this user");
}

class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) : fd_(fd) {}
  Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Fd& operator=(Fd&& other) noexcept {
    std::swap(fd_, other.fd_);
    return *this;
  }
  ~Fd() {
    if (fd_ >= 0) close(fd_);
  }
  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }
  // close's result, for a file written through this descriptor.
  int Close() { return close(std::exchange(fd_, -1)); }

 private:
  int fd_ = -1;
};

std::string Join(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  return folder.back() == '/' ? folder + name : folder + "/" + name;
}

// The names of a path, to be walked before those already in `names`. A path that
// ends in a folder ("/", "x/.", "x/") names that folder itself.
void PutInFront(const std::string& path, std::deque<std::string>& names) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    std::string part = path.substr(start, end - start);
    if (!part.empty() && part != ".") parts.push_back(std::move(part));
    start = end + 1;
  }
  if (path.empty() || path.back() == '/' || path == "." || path.ends_with("/.")) parts.emplace_back(".");
  names.insert(names.begin(), parts.begin(), parts.end());
}

// Where the file is, found one name at a time, each an openat in the folder held
// open before it that follows no link: a link is followed only after the link
// rule allowed it. Nothing later looks up more than the file's own name, in the
// folder held here, so a folder or link swapped in meanwhile is never used.
struct Place {
  std::string named;                // as the caller named it
  Fd folder;                        // O_PATH: the file's folder, or the deepest that exists on the way
  struct stat folder_stat {};
  std::string shown;                // the folder's path as walked
  std::deque<std::string> pending;  // names still to walk from folder, the file's last
  int links = 0;                    // followed so far
  std::string name;                 // once pending is empty: the file's name in folder
  bool exists = false;
  struct stat file {};              // when it exists

  std::string Path() const { return pending.empty() ? Join(shown, name) : named; }
};

// A link in a folder others can write is followed only when it belongs to the
// caller, to root or to the folder's owner, as the kernel's protected-symlinks
// rule has it: anyone else could have planted it there.
void RequireTrustedLink(const Place& place, const std::string& link, const struct stat& st) {
  const struct stat& folder = place.folder_stat;
  if ((folder.st_mode & S_IWOTH) == 0 || st.st_uid == geteuid() || st.st_uid == 0 || st.st_uid == folder.st_uid) return;
  const std::string which = link == place.named ? " is a" : " is reached through " + link + ", a";
  throw Failure(ERROR_ACCESS_DENIED, "registry file " + place.named + which +
                                         " symbolic link owned by another user (uid " + std::to_string(st.st_uid) +
                                         ") in a folder others can write (" +
                                         (place.shown.empty() ? "." : place.shown) + "); refused");
}

std::string ReadLink(const Fd& link, const std::string& shown) {
  std::string target(PATH_MAX, '\0');
  const ssize_t n = readlinkat(link.get(), "", target.data(), target.size());
  if (n < 0) ThrowIo("cannot read the link", shown, errno);
  target.resize(static_cast<size_t>(n));
  return target;
}

// The folder held open, opened again for reading: for fsync and readdir.
Fd Reopen(const Fd& folder, const std::string& shown) {
  Fd readable(openat(folder.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!readable) ThrowIo("cannot open the folder", shown, errno);
  return readable;
}

// Makes the folder's entries last through a power cut. Filesystems that cannot
// flush a folder say EINVAL.
void Flush(int folder, const std::string& shown, const std::string& what = "cannot flush the folder") {
  if (fsync(folder) != 0 && errno != EINVAL) ThrowIo(what, shown, errno);
}

// Walks the pending names. With make, a folder that is missing is created (and
// its parent flushed); without, the walk stops at the deepest folder that exists.
void Walk(Place& place, bool make) {
  int made = 0;
  while (!place.pending.empty()) {
    const std::string name = place.pending.front();
    const bool last = place.pending.size() == 1;
    const std::string shown = Join(place.shown, name);
    Fd next(openat(place.folder.get(), name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    if (!next) {
      if (errno != ENOENT) ThrowIo("cannot open", shown, errno);
      if (last) {
        place.pending.clear();
        place.name = name;
        place.exists = false;
        return;
      }
      if (!make) return;
      if (++made > kMaxRetries) ThrowIo("cannot create the folder", shown, ENOENT);
      if (mkdirat(place.folder.get(), name.c_str(), 0777) == 0) {
        Flush(Reopen(place.folder, place.shown).get(), place.shown);
      } else if (errno != EEXIST) {
        ThrowIo("cannot create the folder", shown, errno);
      }
      continue;
    }
    struct stat st {};
    if (fstat(next.get(), &st) != 0) ThrowIo("cannot examine", shown, errno);
    place.pending.pop_front();
    if (S_ISLNK(st.st_mode)) {
      RequireTrustedLink(place, shown, st);
      if (++place.links > kMaxLinks) ThrowIo("cannot open", place.named, ELOOP);
      const std::string target = ReadLink(next, shown);
      PutInFront(target, place.pending);
      if (target.starts_with('/')) {
        place.folder = Fd(open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (!place.folder || fstat(place.folder.get(), &place.folder_stat) != 0) ThrowIo("cannot open", "/", errno);
        place.shown = "/";
      }
      continue;
    }
    if (last) {
      place.name = name;
      place.exists = true;
      place.file = st;
      return;
    }
    if (!S_ISDIR(st.st_mode)) ThrowIo("cannot open the folder", shown, ENOTDIR);
    place.folder = std::move(next);
    place.folder_stat = st;
    place.shown = shown;
  }
}

// The place of the file at path, as far as its folders exist.
Place Find(const std::string& path) {
  Place place;
  place.named = path;
  const bool absolute = path.starts_with('/');
  place.shown = absolute ? "/" : "";
  place.folder = Fd(open(absolute ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC));
  if (!place.folder || fstat(place.folder.get(), &place.folder_stat) != 0) {
    ThrowIo("cannot open the folder", absolute ? "/" : ".", errno);
  }
  PutInFront(path, place.pending);
  Walk(place, false);
  return place;
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

// The file's bytes, and what the open file was after reading them.
struct Contents {
  Bytes text;
  struct stat st {};
};

// Reads the file the walk found. Opened without following a link or blocking,
// and only when it is still the regular file the walk checked: nullopt when it
// was replaced meanwhile.
std::optional<Contents> Read(const Place& place) {
  RequireRegularFile(place.named, place.file);
  Fd fd(openat(place.folder.get(), place.name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (!fd) {
    if (errno == ENOENT || errno == ELOOP) return std::nullopt;
    if (errno == EACCES) RefuseUnreadable(place.named);
    ThrowIo("cannot open", place.named, errno);
  }
  Contents contents;
  struct stat& st = contents.st;
  if (fstat(fd.get(), &st) != 0) ThrowIo("cannot examine", place.named, errno);
  if (st.st_dev != place.file.st_dev || st.st_ino != place.file.st_ino) return std::nullopt;
  RequireRegularFile(place.named, st);
  Bytes& text = contents.text;
  // One byte more than the file holds, so that reading up to the end needs no more room.
  text.Reserve(static_cast<size_t>(st.st_size) + 1);
  size_t done = 0;
  for (;;) {
    if (done == text.capacity()) {
      if (done > static_cast<size_t>(kMaxFileSize)) RefuseTooLarge(place.named, done);
      text.Reserve(done * 2);
    }
    const ssize_t n = read(fd.get(), text.data() + done, text.capacity() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ThrowIo("cannot read", place.named, errno);
    if (n == 0) break;
    done += static_cast<size_t>(n);
    text.resize(done);
  }
  if (fstat(fd.get(), &st) != 0) ThrowIo("cannot examine", place.named, errno);
  return contents;
}

[[noreturn]] void RefuseChanging(const std::string& path) {
  throw Failure(ERROR_REGISTRY_IO_FAILED, "registry file " + path + " was replaced each time it was opened; gave up");
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
    std::lock_guard lock(mutex_);
    if (Unchanged(path)) return hive_;
    for (int tries = 0; tries < kMaxRetries; ++tries) {
      const Place place = Find(path);
      if (!place.exists) {
        if (path != path_ || stamp_.exists) Keep(path, {}, {}, std::make_shared<Hive>());
        return hive_;
      }
      if (std::optional<Contents> contents = Read(place)) {
        Adopt(path, std::move(*contents));
        return hive_;
      }
    }
    RefuseChanging(path);
  }

  // The tree of the file as the writer holding the lock read it, for the writer
  // to edit: the cache's own when it was read from the same bytes and no one else
  // holds it (the cache then forgets it), else a copy or a new parse.
  std::shared_ptr<Hive> Take(const std::string& path, std::optional<Contents> contents) {
    std::lock_guard lock(mutex_);
    if (!contents) return std::make_shared<Hive>();
    if (path != path_ || !hive_ || contents->text.view() != text_.view()) {
      return std::const_pointer_cast<Hive>(ParseText(contents->text.view(), path));
    }
    if (hive_.use_count() > 1) return std::make_shared<Hive>(hive_->Clone());
    auto hive = std::const_pointer_cast<Hive>(std::move(hive_));
    path_.clear();
    text_ = Bytes();
    ++g_revision;
    return hive;
  }

  // The tree just written to the file, with what the file was after the write.
  void Put(const std::string& path, Bytes text, std::shared_ptr<const Hive> hive, const struct stat& st) {
    std::lock_guard lock(mutex_);
    Keep(path, Stamp::Of(st), std::move(text), std::move(hive));
  }

 private:
  // The fast look: one stat, which opens nothing, says the file read last is
  // still there as it was. It may follow links the walk would check: what it
  // finds is only compared with the file the checked walk read, never read.
  bool Unchanged(const std::string& path) const {
    if (path != path_) return false;
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return errno == ENOENT && !stamp_.exists;
    return S_ISREG(st.st_mode) && settled_ && Stamp::Of(st) == stamp_;
  }

  void Adopt(const std::string& path, Contents contents) {
    // Same bytes as before: the parsed tree still holds.
    if (path == path_ && hive_ && contents.text.view() == text_.view()) {
      Keep(path, Stamp::Of(contents.st), std::move(contents.text), hive_);
    } else {
      std::shared_ptr<const Hive> hive = ParseText(contents.text.view(), path);
      Keep(path, Stamp::Of(contents.st), std::move(contents.text), std::move(hive));
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

// A writer reads the file before it replaces it, and replaces it in its folder
// (or, when that is still to be made, the nearest folder that exists).
void RequireWritable(const Place& place) {
  const std::string denied = "registry file " + place.Path() + " is read-only for this user";
  if (place.exists) {
    RequireRegularFile(place.named, place.file);
    if (!Grants(place.file, S_IRUSR)) RefuseUnreadable(place.Path());
    if (!Grants(place.file, S_IWUSR)) throw Failure(ERROR_ACCESS_DENIED, denied);
  }
  struct statvfs fs {};
  if (!Grants(place.folder_stat, S_IWUSR | S_IXUSR) ||
      (fstatvfs(place.folder.get(), &fs) == 0 && (fs.f_flag & ST_RDONLY) != 0)) {
    throw Failure(ERROR_ACCESS_DENIED, denied);
  }
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
void RemoveStaleTemporaries(const Fd& folder, const std::string& name) {
  const std::string prefix = name + kTempInfix;
  const int listed = fcntl(folder.get(), F_DUPFD_CLOEXEC, 0);
  if (listed < 0) return;
  DIR* dir = fdopendir(listed);
  if (dir == nullptr) {
    close(listed);
    return;
  }
  while (const dirent* entry = readdir(dir)) {
    const std::string_view found = entry->d_name;
    if (found.size() == prefix.size() + 6 && found.starts_with(prefix)) unlinkat(folder.get(), entry->d_name, 0);
  }
  closedir(dir);
}

// A new file beside the file, "<name>.tmp.XXXXXX", made by this call alone.
Fd CreateTemporary(const Fd& folder, const std::string& name, mode_t mode, std::string& temp) {
  static constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  for (int tries = 0; tries < kMaxRetries; ++tries) {
    unsigned char random[6];
    if (getrandom(random, sizeof random, 0) != sizeof random) {
      ThrowIo("cannot create a temporary file beside it", name, errno);
    }
    temp = name + kTempInfix;
    for (unsigned char r : random) temp += kLetters[r % (sizeof kLetters - 1)];
    Fd fd(openat(folder.get(), temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, mode));
    if (fd || errno != EEXIST) return fd;
  }
  errno = EEXIST;
  return Fd();
}

// The exclusive lock on "<file>.lock" in the file's folder, opened without
// following a link, and given up with an error after kLockTimeout.
class FileLock {
 public:
  FileLock(const Fd& folder, const std::string& name, const std::string& path) : path_(path + ".lock") {
    const std::string lock = name + ".lock";
    constexpr int kFlags = O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    fd_ = Fd(openat(folder.get(), lock.c_str(), kFlags, 0666));
    if (!fd_ && errno == ELOOP) {
      throw Failure(ERROR_ACCESS_DENIED, "registry lock file " + path_ + " is a symbolic link; refused");
    }
    if (!fd_) ThrowIo("cannot open the lock file", path_, errno);
    struct stat st {};
    if (fstat(fd_.get(), &st) != 0) ThrowIo("cannot examine", path_, errno);
    if (!S_ISREG(st.st_mode)) {
      throw Failure(ERROR_REGISTRY_IO_FAILED, "registry lock file " + path_ + " is " + KindName(st.st_mode) +
                                                  ", not a regular file; refused");
    }
    Acquire();
  }

 private:
  void Acquire() {
    const auto deadline = std::chrono::steady_clock::now() + kLockTimeout;
    auto pause = std::chrono::microseconds(100);
    while (flock(fd_.get(), LOCK_EX | LOCK_NB) != 0) {
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
  Fd fd_;
};

// A change under the lock: the file as it is now, copied to be edited.
struct Locked {
  std::string file;  // the path callers name
  Place place;       // the file that is replaced, in the folder held open
  Fd folder;         // that folder, readable
  std::unique_ptr<FileLock> lock;
  std::optional<mode_t> mode;  // the file's, when there is one
  std::shared_ptr<Hive> hive;

  static Locked Take() {
    const std::string file = FilePath();
    for (int tries = 0; tries < kMaxRetries; ++tries) {
      Locked locked;
      locked.file = file;
      Place& place = locked.place;
      place = Find(file);
      RequireWritable(place);
      Walk(place, true);
      locked.folder = Reopen(place.folder, place.shown);
      locked.lock = std::make_unique<FileLock>(locked.folder, place.name, place.Path());
      RemoveStaleTemporaries(locked.folder, place.name);
      // The name looked up again under the lock: it may have been made or
      // replaced since. Should it now be a link, the lock is in the wrong folder.
      const int links = place.links;
      place.pending.push_back(place.name);
      Walk(place, false);
      if (place.links != links) continue;
      RequireWritable(place);
      std::optional<Contents> contents;
      if (place.exists) {
        contents = Read(place);
        if (!contents) continue;
        locked.mode = contents->st.st_mode & 07777;
      }
      locked.hive = TheCache().Take(file, std::move(contents));
      return locked;
    }
    RefuseChanging(file);
  }

  // Replaces the file with the edited tree, which then belongs to the cache.
  void Write() {
    std::string text;
    try {
      text = Format(*hive, static_cast<size_t>(kMaxFileSize));
    } catch (const TooLarge&) {
      throw Failure(ERROR_REGISTRY_QUOTA_LIMIT, "registry file " + place.Path() +
                                                    " would grow past 256 MiB, more than it may hold;"
                                                    " the change is refused");
    }
    const struct stat st = Replace(text);
    TheCache().Put(file, Bytes(text), std::move(hive), st);
  }

 private:
  // Writes the text beside the file and renames it over the file; what the new
  // file is. A new file gets the mode the umask leaves, a replaced one keeps its own.
  struct stat Replace(const std::string& text) {
    const std::string path = place.Path();
    std::string temp;
    Fd fd = CreateTemporary(folder, place.name, mode ? 0600 : 0666, temp);
    if (!fd) ThrowIo("cannot create a temporary file beside it", path, errno);
    struct stat st {};
    try {
      if (mode && fchmod(fd.get(), *mode) != 0) ThrowIo("cannot set the mode of the temporary file", path, errno);
      WriteAll(fd.get(), text, Join(place.shown, temp));
      if (fsync(fd.get()) != 0) ThrowIo("cannot flush", Join(place.shown, temp), errno);
      if (fstat(fd.get(), &st) != 0) ThrowIo("cannot examine", Join(place.shown, temp), errno);
      // Some filesystems (NFS) report a failed write only here.
      if (fd.Close() != 0) ThrowIo("cannot close", Join(place.shown, temp), errno);
      if (renameat(folder.get(), temp.c_str(), folder.get(), place.name.c_str()) != 0) {
        ThrowIo("cannot replace", path, errno);
      }
    } catch (...) {
      unlinkat(folder.get(), temp.c_str(), 0);
      throw;
    }
    Flush(folder.get(), path, "the change is written, but its folder could not be flushed, so a power cut may lose it");
    return st;
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

void RequireWritable() { RequireWritable(Find(FilePath())); }

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
