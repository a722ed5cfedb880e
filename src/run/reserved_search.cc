#include "run/reserved_search.h"

#include <string>

namespace {

bool Reserved(const std::string& name, const std::string& prefix) {
  return name.compare(0, prefix.size(), prefix) == 0;
}

class ReservedLeftOut : public DirSearch {
 public:
  ReservedLeftOut(std::unique_ptr<DirSearch> inner, const char* prefix)
      : inner_(std::move(inner)), prefix_(prefix) {}
  bool Next(DirEntry& entry) override {
    while (inner_->Next(entry))
      if (!Reserved(entry.name, prefix_)) return true;
    return false;
  }
  bool Complete() const override { return inner_->Complete(); }

 private:
  std::unique_ptr<DirSearch> inner_;
  std::string prefix_;
};

}  // namespace

std::unique_ptr<DirSearch> LeaveOutReserved(std::unique_ptr<DirSearch> search,
                                            DirEntry& first,
                                            const char* prefix) {
  if (!search) return nullptr;
  while (Reserved(first.name, prefix))
    if (!search->Next(first)) return nullptr;
  return std::make_unique<ReservedLeftOut>(std::move(search), prefix);
}
