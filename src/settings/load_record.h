// The loader pattern of the procedure records.
#pragma once

#include <initializer_list>
#include <new>
#include <utility>

#include "run/error_report.h"
#include "run/procedure.h"
#include "settings/settings_reader.h"

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
