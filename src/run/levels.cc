#include "run/levels.h"

ProcList GetLevel(Runtime& rt, int32_t index) {
  if (index < 0 || index >= rt.LevelCount ||
      static_cast<size_t>(index) >= rt.ProcListArray.size())
    return nullptr;
  return rt.ProcListArray[static_cast<size_t>(index)].get();
}

ProcList GetCurrentLevel(Runtime& rt) {
  if (rt.LevelCount == 0) return nullptr;
  return GetLevel(rt, rt.LevelCount - 1);
}

bool PushLevel(Runtime& rt, std::unique_ptr<ProcLevel>& level) {
  if (level == nullptr) return false;
  try {
    rt.ProcListArray.push_back(std::move(level));
  } catch (const std::exception&) {
    return false;  // level is still the caller's
  }
  ++rt.LevelCount;
  return true;
}

int32_t RemoveLevel(Runtime& rt, ProcList list,
                    std::unique_ptr<ProcLevel>& removed) {
  int32_t n = rt.LevelCount - 1;
  if (n < 0) return rt.LevelCount;
  while (GetLevel(rt, n) != list) {
    if (--n < 0) return rt.LevelCount;
  }
  auto at = rt.ProcListArray.begin() + n;
  removed = std::move(*at);
  rt.ProcListArray.erase(at);
  --rt.LevelCount;
  return rt.LevelCount;
}

int32_t FreeLevel(Runtime& rt, ProcList list) {
  if (list == nullptr) return 0;
  // Off the stack first, then the records, first to last.
  std::unique_ptr<ProcLevel> removed;
  const int32_t count = RemoveLevel(rt, list, removed);
  removed.reset();
  return count;
}

void FreeAllLevels(Runtime& rt) {
  while (FreeLevel(rt, GetCurrentLevel(rt)) != 0) {
  }
}

Procedure* FindProcedure(ProcList list, const StrBuf& name,
                         const CodePage& cp) {
  if (list == nullptr) return nullptr;
  for (int32_t i = 0; i < list->Size(); ++i)
    if ((*list)[i]->name.Equals(name, cp)) return (*list)[i];
  return nullptr;
}
