#include "run/proc_list.h"

#include <new>

bool ProcLevel::Reserve(int32_t count) {
  try {
    records_.reserve(static_cast<size_t>(count));
  } catch (const std::exception&) {
    return false;
  }
  return true;
}

bool ProcLevel::Add(std::unique_ptr<Procedure> record) {
  try {
    records_.push_back(std::move(record));
  } catch (const std::exception&) {
    return false;
  }
  return true;
}

void ProcLevel::Clear() {
  for (auto& record : records_) record.reset();
  records_.clear();
}
