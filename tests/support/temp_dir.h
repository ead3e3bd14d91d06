#pragma once
// A fresh directory under the system temp folder, removed with its contents
// when the object goes away.
#include <string>

namespace qbtest {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace qbtest
