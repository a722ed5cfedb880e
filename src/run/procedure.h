// Procedure records: the common part, and one level of them.
#pragma once

#include <cstdint>

#include "base/str_buf.h"
#include "run/runtime.h"

// The common part of every loaded procedure record.
struct Procedure {
  virtual ~Procedure() = default;
  StrBuf name;       // the section the record was read from
  StrBuf MODE;       // the command word as read
  uint8_t ResultFlag = 0;
};

// Item i of a comma list of a key, without leading and trailing spaces; the
// empty text beyond the last item. The number of items is FieldCount(",").
inline StrBuf ListItem(const StrBuf& list, int32_t i) {
  StrBuf item = list.Field(i, ",");
  item.Trim(" ", " ");
  return item;
}

// A null-terminated array of records: one level.
using ProcList = Procedure**;
