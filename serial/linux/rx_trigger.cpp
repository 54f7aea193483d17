#include "serial/linux/rx_trigger.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace vannor {

namespace {

// The trigger in bytes that the attribute holds; 0 when there is no such attribute or the
// driver has no trigger to tell (it answers EINVAL for a UART without a FIFO).
int ReadTrigger(const std::string& attribute) {
  const int fd = open(attribute.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  char text[16];
  const ssize_t length = read(fd, text, sizeof text - 1);
  (void)close(fd);  // read-only: nothing to lose
  if (length <= 0) return 0;
  text[length] = '\0';
  char* end = nullptr;
  const long bytes = std::strtol(text, &end, 10);
  // FIFOs hold at most a few hundred bytes; anything else is not a trigger.
  return end != text && bytes > 0 && bytes < 4096 ? static_cast<int>(bytes) : 0;
}

// Sets the attribute to `bytes`: 0, or the errno of the failure.
int WriteTrigger(const std::string& attribute, int bytes) {
  // No O_CREAT: an attribute that is not there is never made.
  const int fd = open(attribute.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  if (fd < 0) return errno;
  const std::string text = std::to_string(bytes);
  const ssize_t written = write(fd, text.data(), text.size());
  const int error = written < 0 ? errno : 0;
  // Ignored: sysfs takes the value in the write itself, and close has nothing left to report.
  (void)close(fd);
  if (written == static_cast<ssize_t>(text.size())) return 0;
  return error != 0 ? error : EIO;
}

}  // namespace

void RxTrigger::Lower(const std::string& attribute) {
  Restore();
  attribute_ = attribute;
  inEffect_ = ReadTrigger(attribute);
  if (inEffect_ <= 1) return;
  const int error = WriteTrigger(attribute, 1);
  if (error != 0) {
    // Any other refusal (EINVAL: a UART whose FIFO misbehaves) has no remedy to offer.
    refused_ = error == EACCES || error == EPERM;
    return;
  }
  saved_ = inEffect_;
  // The driver takes the nearest level its UART has; only the read-back tells which.
  const int now = ReadTrigger(attribute);
  inEffect_ = now > 0 ? now : 1;
}

void RxTrigger::Restore() {
  inEffect_ = 0;
  refused_ = false;
  if (saved_ == 0) return;
  // Ignored: a device that went away took its attribute along, and one that refuses its own old
  // value keeps a lower trigger, which costs nothing but a few interrupts.
  (void)WriteTrigger(attribute_, saved_);
  saved_ = 0;
}

UartTrigger RxTrigger::InEffect() const {
  UartTrigger trigger{.bytes = inEffect_, .remedy = {}};
  if (refused_) {
    trigger.remedy =
        "the udev rule of the vannor package lets group dialout lower it; for this boot only: "
        "echo 1 | sudo tee " +
        attribute_;
  }
  return trigger;
}

}  // namespace vannor
