// How a row of the command table names its keys: each key with the member
// of the command's record that its value fills.
//
//   KeysOf<CopyProcedure>(Key<&CopyProcedure::FROM>("FROM"),
//                         Key<&CopyProcedure::TO>("TO"))
//
// A key is read as a number when its member is an int32_t and as a text when
// it is a StrBuf; a member of another type, or a key of another record,
// does not compile.
#pragma once

#include <cstdint>
#include <memory>
#include <new>
#include <type_traits>

#include "commands/command_table.h"
#include "settings/settings_reader.h"

template <class T>
struct MemberTraits;
template <class R, class V>
struct MemberTraits<V R::*> {
  using Record = R;
  using Value = V;
};

template <class Record>
std::unique_ptr<Procedure> MakeRecord() {
  return std::unique_ptr<Procedure>(new (std::nothrow) Record);
}

// A key of Record's row (see KeysOf).
template <class Record>
struct KeyOf {
  RecordKey key;
};

template <auto Member>
bool ReadMember(Runtime& rt, const char* section, const char* key,
                Procedure& record) {
  using Traits = MemberTraits<decltype(Member)>;
  auto& typed = static_cast<typename Traits::Record&>(record);
  // Memory that runs out for a value is memory for the record: message 3
  // names the row's object.
  const char* object = record.row->objectName;
  if constexpr (std::is_same_v<typename Traits::Value, int32_t>)
    return GetSettingInt(rt, section, key, typed.*Member, object);
  else
    return GetSettingString(rt, section, key, typed.*Member, object);
}

template <auto Member>
const StrBuf* MemberText(const Procedure& record) {
  using Traits = MemberTraits<decltype(Member)>;
  if constexpr (std::is_same_v<typename Traits::Value, int32_t>) {
    return nullptr;
  } else {
    return &(static_cast<const typename Traits::Record&>(record).*Member);
  }
}

// The key name whose value fills Member.
template <auto Member>
constexpr KeyOf<typename MemberTraits<decltype(Member)>::Record> Key(
    const char* name) {
  using Traits = MemberTraits<decltype(Member)>;
  static_assert(std::is_base_of_v<Procedure, typename Traits::Record>,
                "a key fills a member of a procedure record");
  static_assert(std::is_same_v<typename Traits::Value, StrBuf> ||
                    std::is_same_v<typename Traits::Value, int32_t>,
                "a key fills a StrBuf or an int32_t member");
  return {RecordKey{name, std::is_same_v<typename Traits::Value, int32_t>,
                    &ReadMember<Member>, &MemberText<Member>}};
}

// The keys of Record's row, in reading order: only keys of Record, at most
// kMaxCommandKeys of them.
template <class Record, class... Keys,
          std::enable_if_t<(std::is_same_v<Keys, KeyOf<Record>> && ...) &&
                               sizeof...(Keys) <= kMaxCommandKeys,
                           int> = 0>
constexpr RecordKeys KeysOf(Keys... keys) {
  return RecordKeys{{keys.key..., RecordKey{nullptr, false, nullptr, nullptr}},
                    &MakeRecord<Record>};
}
