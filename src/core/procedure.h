// Procedure records: the common part and the loader pattern.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <new>
#include <utility>

#include "base/str_buf.h"
#include "core/runtime.h"
#include "settings/error_report.h"
#include "settings/settings_reader.h"

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

// The loader pattern: allocate the record (message 3 with objectName when
// that fails), store the name, read MODE and then each text key in order.
// On the first key that cannot be read the record is destroyed.
template <class Record>
Record* LoadRecord(Runtime& rt, const StrBuf& name, const char* objectName,
                   std::initializer_list<std::pair<const char*, StrBuf Record::*>>
                       keys) {
  Record* record = new (std::nothrow) Record;
  if (record == nullptr) {
    ShowErrorReport(rt, kMsgOutOfMemory, objectName);
    return nullptr;
  }
  record->name.Assign(name);
  bool ok = GetSettingString(rt, name.Text(), "MODE", record->MODE);
  for (auto it = keys.begin(); ok && it != keys.end(); ++it)
    ok = GetSettingString(rt, name.Text(), it->first, record->*(it->second));
  if (!ok) {
    delete record;
    return nullptr;
  }
  return record;
}
