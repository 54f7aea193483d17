#include <stdlib.h>

#include "testing/scoped_env.h"

namespace vannor::testkit {

void SetEnv(const char* name, const char* value) {
  // Ignored: fails only for an invalid name or without memory, and a test then fails anyway.
  if (value != nullptr) {
    (void)setenv(name, value, 1);
  } else {
    (void)unsetenv(name);
  }
}

}  // namespace vannor::testkit
