// Procedure records and the levels that own them.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "base/str_buf.h"

struct Command;

// The common part of every loaded procedure record.
struct Procedure {
  virtual ~Procedure() = default;
  StrBuf name;       // the section the record was read from
  StrBuf MODE;       // the command word as read
  uint8_t ResultFlag = 0;
  const Command* row = nullptr;  // the row the record was loaded by
};

// One level: the records of one procedure list, in list order. The level
// owns its records and destroys them first to last.
class ProcLevel {
 public:
  ProcLevel() = default;
  ProcLevel(const ProcLevel&) = delete;
  ProcLevel& operator=(const ProcLevel&) = delete;
  ~ProcLevel() { Clear(); }

  int32_t Size() const { return static_cast<int32_t>(records_.size()); }
  // Record i, or null outside 0 .. Size() - 1.
  Procedure* operator[](int32_t i) const {
    if (i < 0 || i >= Size()) return nullptr;
    return records_[static_cast<size_t>(i)].get();
  }
  // Makes room for count records; false when memory runs out.
  bool Reserve(int32_t count);
  // Appends a record (never null); false when memory runs out, and then the
  // record is destroyed.
  bool Add(std::unique_ptr<Procedure> record);
  // Destroys the records, first to last.
  void Clear();

 private:
  std::vector<std::unique_ptr<Procedure>> records_;
};

// A level as the operations hand it around; the level stack owns it.
using ProcList = ProcLevel*;
