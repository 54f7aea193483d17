// Sets an environment variable (or removes it, for a null value) for the life of the object
// and puts the old value back afterwards.
#pragma once

#include <stdlib.h>

#include <string>

namespace vannor::testkit {

class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    const char* old = getenv(name);
    hadOld_ = old != nullptr;
    if (hadOld_) old_ = old;
    Set(value);
  }
  ~ScopedEnv() { Set(hadOld_ ? old_.c_str() : nullptr); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

  void Set(const char* value) {
    // Ignored: fails only for an invalid name or without memory, and a test then fails anyway.
    if (value != nullptr) {
      (void)setenv(name_.c_str(), value, 1);
    } else {
      (void)unsetenv(name_.c_str());
    }
  }

 private:
  std::string name_;
  bool hadOld_ = false;
  std::string old_;
};

}  // namespace vannor::testkit
