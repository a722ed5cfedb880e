// A file system whose listing of one directory breaks off, as a failing
// disk's does: after `handedOut` entries the search ends and says it is
// not complete. Every other search is the inner one's.
#pragma once

#include <cstring>
#include <memory>
#include <string>
#include <utility>

#include "platform/file_system_forwarder.h"

class BrokenListing : public FileSystemForwarder {
 public:
  BrokenListing(FileSystem& inner, std::string directory, int handedOut)
      : FileSystemForwarder(inner),
        directory_(std::move(directory)),
        handedOut_(handedOut) {}

  std::unique_ptr<DirSearch> StartSearchInside(const char* directory,
                                               DirEntry& first) override {
    auto search = FileSystemForwarder::StartSearchInside(directory, first);
    if (!search || directory_ != directory) return search;
    return std::make_unique<Broken>(std::move(search), handedOut_ - 1);
  }
  std::unique_ptr<DirSearch> StartSearch(const char* pattern,
                                         DirEntry& first) override {
    auto search = FileSystemForwarder::StartSearch(pattern, first);
    const size_t n = directory_.size();
    // Only a pattern for the entries of that directory itself.
    if (!search || std::strncmp(pattern, directory_.c_str(), n) != 0 ||
        pattern[n] != '/' || std::strchr(pattern + n + 1, '/') != nullptr)
      return search;
    return std::make_unique<Broken>(std::move(search), handedOut_ - 1);
  }

 private:
  class Broken : public DirSearch {
   public:
    Broken(std::unique_ptr<DirSearch> inner, int left)
        : inner_(std::move(inner)), left_(left) {}
    bool Next(DirEntry& entry) override {
      if (left_-- <= 0) {
        broken_ = true;
        return false;
      }
      return inner_->Next(entry);
    }
    bool Complete() const override { return !broken_ && inner_->Complete(); }

   private:
    std::unique_ptr<DirSearch> inner_;
    int left_;
    bool broken_ = false;
  };

  std::string directory_;
  int handedOut_;
};
