#include "platform/replace_rules.h"

#include "platform/file_system.h"

ReplaceTarget ReplaceTargetOf(uint32_t attributes, bool sameFile) {
  ReplaceTarget target;
  if (attributes == kInvalidAttributes) return target;
  target.exists = true;
  target.directory = (attributes & kAttrDirectory) != 0;
  target.readOnly = (attributes & kAttrReadOnly) != 0;
  target.hidden = (attributes & kAttrHidden) != 0;
  target.sameFile = sameFile;
  return target;
}

ReplaceVerdict JudgeReplace(const ReplaceTarget& target) {
  if (!target.exists) return ReplaceVerdict::kFree;
  if (target.directory) return ReplaceVerdict::kDirectory;
  if (target.readOnly || target.hidden) return ReplaceVerdict::kReadOnly;
  if (target.sameFile) return ReplaceVerdict::kSameFile;
  return ReplaceVerdict::kReplace;
}
