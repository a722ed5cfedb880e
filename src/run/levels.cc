#include "run/levels.h"

#include <cstring>

namespace {

constexpr uint32_t kEntrySize = sizeof(ProcList);

}  // namespace

ProcList GetLevel(Runtime& rt, int32_t index) {
  if (index < 0 || index >= rt.LevelCount ||
      static_cast<uint64_t>(index + 1) * kEntrySize > rt.ProcListArray.Size())
    return nullptr;
  ProcList list;
  std::memcpy(&list, rt.ProcListArray.Data() + index * kEntrySize, kEntrySize);
  return list;
}

ProcList GetCurrentLevel(Runtime& rt) {
  if (rt.LevelCount == 0) return nullptr;
  return GetLevel(rt, rt.LevelCount - 1);
}

bool PushLevel(Runtime& rt, ProcList list) {
  if (list == nullptr) return false;
  if (!rt.ProcListArray.Append(&list, kEntrySize)) return false;
  ++rt.LevelCount;
  return true;
}

int32_t RemoveLevel(Runtime& rt, ProcList list) {
  int32_t n = rt.LevelCount - 1;
  if (n < 0) return rt.LevelCount;
  while (GetLevel(rt, n) != list) {
    if (--n < 0) return rt.LevelCount;
  }
  --rt.LevelCount;
  rt.ProcListArray.Remove(static_cast<uint32_t>(n) * kEntrySize, kEntrySize);
  return rt.LevelCount;
}

int32_t FreeLevel(Runtime& rt, ProcList list) {
  if (list == nullptr) return 0;
  // Off the stack first: the pointer is compared while it is still valid.
  const int32_t count = RemoveLevel(rt, list);
  for (ProcList entry = list; *entry != nullptr; ++entry) {
    delete *entry;
    *entry = nullptr;
  }
  delete[] list;
  return count;
}

void FreeAllLevels(Runtime& rt) {
  while (FreeLevel(rt, GetCurrentLevel(rt)) != 0) {
  }
}

Procedure* FindProcedure(ProcList list, const StrBuf& name) {
  if (list == nullptr) return nullptr;
  for (ProcList entry = list; *entry != nullptr; ++entry)
    if ((*entry)->name.Equals(name)) return *entry;
  return nullptr;
}
