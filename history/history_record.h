// One finished request as the history keeps it: which image went into which radio, when, from
// where, and how it ended. Written as one line of JSON; read back by `vannor-cli history`.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

namespace vannor {

struct HistoryRecord {
  std::string time;     // the request's start, UTC: "2026-12-08T18:55:08.123Z"
  std::string program;  // "vannor", "vannor-cli"
  std::string version;
  std::string host;
  std::string user;
  std::string port;     // as the user named it: "COM3", a device path
  std::string device;   // the device behind it, where that is another name
  std::string adapter;  // the adapter's maker, product and serial number, where known
  std::string request;  // "update" or "version"
  // An update's image: its path as chosen, its size, its SHA-256, the request's mask and the
  // DSPs it names.
  std::string image;
  std::uint32_t size = 0;
  std::string sha256;
  unsigned mask = 0;
  std::string dsps;
  // How it ended: a word for scripts ("completed", "communication-error", ...), the message
  // box's words (empty where the window shows none), and the cause in a technician's words.
  std::string outcome;
  std::string message;
  std::string cause;
  bool ok = false;              // the image written, or the versions read
  std::uint32_t confirmed = 0;  // image bytes the radio echoed
  long long ms = 0;             // from the click to the outcome
  std::string dsp1;             // a version read's versions, as the window shows them
  std::string dsp2;
};

// The record as one line of JSON, without the line's end. An update has no versions and a
// version read no image: those fields are null.
std::string RecordJson(const HistoryRecord& record);
// A line of the history read back; false when it is not a record's.
bool ParseRecord(std::string_view line, HistoryRecord& record);

// "2026-12-08T18:55:08.123Z".
std::string UtcTimestamp(std::chrono::system_clock::time_point time);

}  // namespace vannor
