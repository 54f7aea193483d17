// Standard error of the test's own process, caught in a file for the life of the object, for
// tests of what the program tells a technician there.
#pragma once

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <string>

namespace vannor::testkit {

class CapturedStderr {
 public:
  CapturedStderr() {
    char name[] = "/tmp/vannor-stderr-XXXXXX";
    file_ = mkstemp(name);
    if (file_ < 0) return;
    // Ignored: the file stays readable through its descriptor, and /tmp is cleaned anyway.
    (void)unlink(name);
    (void)fflush(stderr);  // stderr is unbuffered; nothing of the earlier output can be lost
    saved_ = dup(STDERR_FILENO);
    if (saved_ < 0 || dup2(file_, STDERR_FILENO) < 0) Restore();
  }
  ~CapturedStderr() {
    Restore();
    if (file_ >= 0) (void)close(file_);  // Ignored: a temporary file, already unlinked
  }
  CapturedStderr(const CapturedStderr&) = delete;
  CapturedStderr& operator=(const CapturedStderr&) = delete;

  bool Ok() const { return saved_ >= 0; }

  // Everything written to standard error since the capture began.
  std::string Text() const {
    std::string text;
    char buffer[4096];
    off_t at = 0;
    for (;;) {
      const ssize_t got = pread(file_, buffer, sizeof buffer, at);
      if (got <= 0) break;
      text.append(buffer, static_cast<std::size_t>(got));
      at += got;
    }
    return text;
  }

 private:
  void Restore() {
    if (saved_ < 0) return;
    // Ignored: dup2 onto a descriptor number we hold fails only on a programming error.
    (void)dup2(saved_, STDERR_FILENO);
    (void)close(saved_);
    saved_ = -1;
  }

  int file_ = -1;
  int saved_ = -1;
};

}  // namespace vannor::testkit
