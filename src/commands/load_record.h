// The loader pattern of the procedure records.
#pragma once

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <new>

#include "commands/command_table.h"
#include "run/error_report.h"
#include "run/procedure.h"
#include "settings/settings_reader.h"

// Where a loader stores the value of one key of its row: a text member, or
// an integer member for the row's integer key.
template <class Record>
struct RecordField {
  RecordField(StrBuf Record::*member) : text(member) {}
  RecordField(int32_t Record::*member) : number(member) {}
  StrBuf Record::*text = nullptr;
  int32_t Record::*number = nullptr;
};

// Whether fields match the keys of row one for one, in number and kind.
template <class Record>
bool FieldsMatchRow(const Command& row,
                    std::initializer_list<RecordField<Record>> fields) {
  const char* const* key = row.keys;
  for (const RecordField<Record>& field : fields) {
    if (*key == nullptr) return false;
    const bool integer =
        row.integerKey != nullptr && std::strcmp(*key, row.integerKey) == 0;
    if (integer != (field.number != nullptr)) return false;
    ++key;
  }
  return *key == nullptr;
}

// The loader pattern: allocate the record (message 3 with the row's object
// name when that fails), store the name, read MODE and then each key of the
// row in order into the field given for it (an integer for the row's
// integer key). On the first key that cannot be read the record is
// destroyed. Fields that do not match the row's keys load nothing (the unit
// tests of the table hold every loader to its row).
template <class Record>
Record* LoadRecord(Runtime& rt, const Command& row, const StrBuf& name,
                   std::initializer_list<RecordField<Record>> fields) {
  if (!FieldsMatchRow(row, fields)) return nullptr;
  Record* record = new (std::nothrow) Record;
  if (record == nullptr) {
    ShowErrorReport(rt, kMsgOutOfMemory, row.objectName);
    return nullptr;
  }
  record->name.Assign(name);
  bool ok = GetSettingString(rt, name.Text(), "MODE", record->MODE);
  const char* const* key = row.keys;
  for (auto it = fields.begin(); ok && it != fields.end(); ++it, ++key)
    ok = it->number != nullptr
             ? GetSettingInt(rt, name.Text(), *key, record->*(it->number))
             : GetSettingString(rt, name.Text(), *key, record->*(it->text));
  if (!ok) {
    delete record;
    return nullptr;
  }
  return record;
}
