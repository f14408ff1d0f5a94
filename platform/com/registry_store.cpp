#include "registry_store.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "com/registry.h"

namespace comrt::registry {

namespace {

std::string Folder(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

[[noreturn]] void ThrowIo(const std::string& what, const std::string& path, int error) {
  const LONG code = (error == EACCES || error == EPERM || error == EROFS) ? ERROR_ACCESS_DENIED : ERROR_REGISTRY_IO_FAILED;
  throw Failure(code, "registry file " + path + ": " + what + ": " + std::strerror(error));
}

// The file that writes replace: the target of a symbolic link, so the link stays.
std::string TargetPath() {
  const std::string path = FilePath();
  char resolved[PATH_MAX];
  if (realpath(path.c_str(), resolved) != nullptr) return resolved;
  return path;
}

std::string ReadAll(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return {};
    ThrowIo("cannot open", path, errno);
  }
  std::string text;
  char buffer[65536];
  for (;;) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const int error = errno;
      close(fd);
      ThrowIo("cannot read", path, error);
    }
    if (n == 0) break;
    text.append(buffer, static_cast<size_t>(n));
  }
  close(fd);
  return text;
}

Hive ParseFile(const std::string& path) {
  const std::string text = ReadAll(path);
  try {
    return Parse(text);
  } catch (const FormatError& e) {
    throw Failure(ERROR_BADDB, "registry file " + path + " line " + std::to_string(e.line()) + ": " + e.what());
  }
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

// Writes the text beside the file and renames it over the file.
void Replace(const std::string& path, const std::string& text) {
  std::string temp = path + ".XXXXXX";
  const int fd = mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) ThrowIo("cannot create a temporary file beside it", path, errno);
  try {
    struct stat st {};
    const mode_t mode = stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0644;
    if (fchmod(fd, mode) != 0) ThrowIo("cannot set the mode of the temporary file", path, errno);
    WriteAll(fd, text, temp);
    if (fsync(fd) != 0) ThrowIo("cannot flush", temp, errno);
    if (close(fd) != 0) ThrowIo("cannot close", temp, errno);
  } catch (...) {
    close(fd);
    unlink(temp.c_str());
    throw;
  }
  if (rename(temp.c_str(), path.c_str()) != 0) {
    const int error = errno;
    unlink(temp.c_str());
    ThrowIo("cannot replace", path, error);
  }
}

class FileLock {
 public:
  explicit FileLock(const std::string& path) {
    const std::string lock = path + ".lock";
    fd_ = open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0) ThrowIo("cannot open the lock file", lock, errno);
    while (flock(fd_, LOCK_EX) != 0) {
      if (errno != EINTR) {
        const int error = errno;
        close(fd_);
        ThrowIo("cannot lock", lock, error);
      }
    }
  }
  ~FileLock() { close(fd_); }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

 private:
  int fd_ = -1;
};

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

Hive Load() { return ParseFile(FilePath()); }

void RequireWritable() {
  const std::string path = TargetPath();
  const std::string denied = "registry file " + path + " is read-only for this user";
  struct stat st {};
  if (stat(path.c_str(), &st) == 0) {
    if (!S_ISREG(st.st_mode)) throw Failure(ERROR_REGISTRY_IO_FAILED, "registry file " + path + " is not a file");
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
  const std::string path = TargetPath();
  RequireWritable();
  MakeFolders(Folder(path));
  FileLock lock(path);
  Hive hive = ParseFile(path);
  if (change(hive)) Replace(path, Format(hive));
}

}  // namespace comrt::registry
