// Sets an environment variable (or removes it, for a null value) for the life of the object
// and puts the old value back afterwards.
#pragma once

#include <cstdlib>
#include <string>

namespace vannor::testkit {

// Sets name to value in this process's environment, as getenv sees it; a null value removes
// it. Each platform has its own (testing/posix, testing/win32).
void SetEnv(const char* name, const char* value);

class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    const char* old = std::getenv(name);
    hadOld_ = old != nullptr;
    if (hadOld_) old_ = old;
    SetEnv(name_.c_str(), value);
  }
  ~ScopedEnv() { SetEnv(name_.c_str(), hadOld_ ? old_.c_str() : nullptr); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

  void Set(const char* value) { SetEnv(name_.c_str(), value); }

 private:
  std::string name_;
  bool hadOld_ = false;
  std::string old_;
};

}  // namespace vannor::testkit
