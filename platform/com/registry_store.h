// The registry file on disk: the parsed tree each process keeps of it, and
// changes to it under a lock with an atomic replace.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

#include "registry_file.h"

namespace comrt::registry {

// A failed registry operation: the Win32 error code, and for failures that come
// from the file itself a description for RegistryLastError (else empty).
class Failure : public std::runtime_error {
 public:
  explicit Failure(int32_t code, const std::string& message = {}) : std::runtime_error(message), code_(code) {}
  int32_t code() const noexcept { return code_; }

 private:
  int32_t code_;
};

std::string FilePath();

// The registry as this thread sees it: the tree of its open transaction, else the
// file as it is now (a missing file is an empty registry). The file is read again
// only when its device, inode, size or times changed since the last read.
std::shared_ptr<const Hive> Load();

// Counts the changes made to any tree Load hands out in place (those of a
// transaction); a tree seen twice under the same count is unchanged.
uint64_t Revision();

// Whether the caller may change the file (see com/registry.h); throws Failure
// with ERROR_ACCESS_DENIED and a description when not.
void RequireWritable();

// Lets change edit the tree and, when it returns true, makes the edit. Inside a
// transaction the edit stays in the transaction's tree; else it locks the file,
// reads it again, applies the change and replaces the file. Failures thrown by
// change leave the file as it was.
void Update(const std::function<bool(Hive&)>& change);

// A transaction holds the file's lock from Begin to End: Begin reads the file
// again under the lock; the Updates that follow on this thread change only the
// transaction's tree; Commit writes it as one replace of the file. Transactions
// nest: only the outermost Begin, Commit and End act.
void BeginTransaction();
void CommitTransaction();
void EndTransaction() noexcept;
bool InTransaction();

}  // namespace comrt::registry
