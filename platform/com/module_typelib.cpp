// The type library a server file carries, for the type information its objects
// hand out.
#include <dlfcn.h>
#include <sys/stat.h>

#include <map>
#include <mutex>

#include "com/resource.h"
#include "com/typelib.h"

namespace comrt {

namespace {

struct FileLibrary {
  dev_t device;
  ino_t inode;
  timespec modified;
  std::shared_ptr<const LibraryData> data;  // null: the file carries none
};

// Read once per file and version of it: objects ask at every GetTypeInfo.
std::shared_ptr<const LibraryData> LibraryOfFile(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return nullptr;
  static std::mutex mutex;
  static std::map<std::string, FileLibrary> cache;
  std::lock_guard lock(mutex);
  const auto it = cache.find(path);
  if (it != cache.end() && it->second.device == st.st_dev && it->second.inode == st.st_ino &&
      it->second.modified.tv_sec == st.st_mtim.tv_sec && it->second.modified.tv_nsec == st.st_mtim.tv_nsec)
    return it->second.data;
  std::shared_ptr<const LibraryData> data;
  if (const auto bytes = ReadResource(path, "TYPELIB", 1)) {
    LibraryData library;
    if (SUCCEEDED(ParseTypeLib(bytes->data(), bytes->size(), library)))
      data = std::make_shared<const LibraryData>(std::move(library));
  }
  cache[path] = FileLibrary{st.st_dev, st.st_ino, st.st_mtim, data};
  return data;
}

}  // namespace

ComPtr<ITypeInfo> TypeInfoOfModule(const void* anchor, const TypeData& root, ComPtr<IUnknown> module) {
  Dl_info where{};
  if (dladdr(anchor, &where) != 0 && where.dli_fname != nullptr && *where.dli_fname != '\0') {
    if (const std::shared_ptr<const LibraryData> library = LibraryOfFile(where.dli_fname)) {
      for (UINT i = 0; i < library->types.size(); ++i) {
        if (!(library->types[i].guid == root.guid) || library->types[i].kind != root.kind) continue;
        ComPtr<ITypeInfo> info;
        if (SUCCEEDED(CreateTypeLib(library, module)->GetTypeInfo(i, info.put()))) return info;
      }
    }
  }
  return TypeInfoOfDeclaration(root, std::move(module));
}

}  // namespace comrt
