#include <stdlib.h>

#include "testing/scoped_env.h"

namespace vannor::testkit {

void SetEnv(const char* name, const char* value) {
  // The runtime's own call, so that getenv sees the change; an empty value removes the name.
  // Ignored: fails only for an invalid name or without memory, and a test then fails anyway.
  (void)_putenv_s(name, value != nullptr ? value : "");
}

}  // namespace vannor::testkit
