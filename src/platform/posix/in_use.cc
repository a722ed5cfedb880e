// POSIX: a rename or an unlink never fails because a program holds the
// file, and a file replaced by rename keeps serving the programs that have
// it open. Nothing is held, so nothing is asked or registered.
#include "platform/in_use.h"

namespace {

class PosixInUseHandling : public InUseHandling {
 public:
  bool IsHeld(const char*) override { return false; }
  bool ListHolders(const char*, std::vector<std::string>&) override {
    return false;
  }
  bool CloseHolders() override { return false; }
  void RestartClosed() override {}
  bool CanRegisterAtRestart() override { return false; }
  bool RegisterAtRestart(const RestartChange&) override { return false; }
  bool UnregisterAtRestart(const std::vector<RestartChange>& changes) override {
    return changes.empty();
  }
};

}  // namespace

std::unique_ptr<InUseHandling> CreateSystemInUseHandling() {
  return std::make_unique<PosixInUseHandling>();
}
