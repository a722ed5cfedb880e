// What every command unit sees of the records: the record, the level, the
// run, and the items of comma lists.
#pragma once

#include <cstdint>

#include "base/str_buf.h"
#include "run/proc_list.h"
#include "run/runtime.h"

// Item i of a comma list of a key, without leading and trailing spaces; the
// empty text beyond the last item. The number of items is FieldCount(",").
inline StrBuf ListItem(const StrBuf& list, int32_t i, const CodePage& cp) {
  StrBuf item = list.Field(i, ",", cp);
  item.Trim(" ", " ", cp);
  return item;
}
