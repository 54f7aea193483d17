#include "tools/sim_options.h"

#include <errno.h>
#include <stdlib.h>

#include <cstring>

namespace vannor::sim {

const std::string_view SIM_USAGE =
    R"(Usage: vannor-radio-sim [OPTION]...
Plays the radio at the far end of the Vannor tool's serial line: answers the version
read (0x56) with four version bytes and the image write (0x57 + mask, ACK, ENQ, ACK)
by echoing every image byte, records what it received, and plays faults on request.

It opens a pseudo-terminal, prints the path of its slave end as the first line of
output, and links the tool's port COM1 (see --com) to it, so that the tool reaches it.

Line:
  --com N                link COMn (N from 1 to 10; default 1)
  --config-home DIR      make the link in DIR/vannor/ports (default: $XDG_CONFIG_HOME,
                         else ~/.config, which is where the tool looks)
  --no-map               make no link; only print the slave's path
  --device PATH          serve a serial device (38400 8N1, raw) instead of a
                         pseudo-terminal, e.g. one end of a null-modem cable

Radio:
  --dsp-version A.B.C.D  the version reply: DSP1 major, minor, DSP2 major, minor
                         (default 1.3.2.0)
  --length N             images hold N bytes; without it an image ends when no byte
                         has come for the idle gap
  --idle-ms N            that idle gap in milliseconds (default 1000)

Faults (image bytes are counted from 0):
  --first-ack BYTE|none  send BYTE (e.g. 0x15, a NAK) or nothing instead of the first ACK
  --second-ack BYTE|none the same for the second ACK
  --garbage BYTES        send BYTES (e.g. 0x00,0xff) just before the first ACK
  --garbage-second BYTES the same before the second ACK
  --wrong-echo-at N      answer image byte N with a different byte
  --silent-from N        answer nothing from image byte N on
  --hang-up-at N         close the line when image byte N arrives
  --echo-twice-from N    echo image byte N and every one after it twice
  --echo-ff-from N       answer image byte N and every one after it with 0xFF
  --after-last-echo BYTE send BYTE right after the echo of the last image byte, in
                         the same write (with --length)
  --flood BYTE           send BYTE over and over, a byte time apart, while no
                         exchange is going on (a radio that talks unasked)
  --power-up BYTES       send BYTES (e.g. 0x42,0x43) once as the line comes up
  --version-bytes N      send only N (0 to 3) of the four version bytes
  --delay-us N           wait N microseconds before every byte the radio sends
  --pace                 take 260.4 us per byte each way, as a 38400-baud line does
A fault ends the exchange on the radio's side; the next command is answered afresh.

Record:
  --image-file PATH      when an image ends, write the bytes received to PATH (replaced
                         each time) before the log tells of the end; for checking them
                         against the file the tool sent

Other:
  --quiet                print only the slave's path
  -h, --help             show this help and exit

SIGINT or SIGTERM stops the simulator: the line closes and the link is removed (a link
that it replaced is put back). Exit status: 0 after a stop or a played hang-up, 1 when
the line or the link cannot be made, 2 on a usage error.
)";

namespace {

bool ParseNumber(const char* text, unsigned long max, unsigned long& value) {
  if (text == nullptr || *text == '\0' || *text == '-') return false;
  char* end = nullptr;
  errno = 0;
  value = strtoul(text, &end, 0);
  return errno == 0 && *end == '\0' && value <= max;
}

bool ParseBytes(const char* text, std::uint8_t* bytes, std::size_t capacity, std::uint8_t& length) {
  length = 0;
  std::string list = text == nullptr ? "" : text;
  std::size_t start = 0;
  while (start <= list.size()) {
    std::size_t comma = list.find(',', start);
    if (comma == std::string::npos) comma = list.size();
    unsigned long value;
    if (length == capacity || !ParseNumber(list.substr(start, comma - start).c_str(), 255, value)) {
      return false;
    }
    bytes[length++] = static_cast<std::uint8_t>(value);
    start = comma + 1;
  }
  return length > 0;
}

bool ParseByte(const char* text, std::int16_t& byte) {
  unsigned long value;
  if (!ParseNumber(text, 255, value)) return false;
  byte = static_cast<std::int16_t>(value);
  return true;
}

bool ParseAck(const char* text, std::int16_t& reply) {
  if (text != nullptr && std::strcmp(text, "none") == 0) {
    reply = NO_REPLY;
    return true;
  }
  return ParseByte(text, reply);
}

bool ParseVersion(const char* text, std::uint8_t (&version)[4]) {
  std::uint8_t length = 0;
  std::string dotted = text == nullptr ? "" : text;
  for (char& c : dotted) {
    if (c == '.') c = ',';
  }
  std::uint8_t parsed[4];
  if (!ParseBytes(dotted.c_str(), parsed, 4, length) || length != 4) return false;
  std::memcpy(version, parsed, 4);
  return true;
}

}  // namespace

bool ParseSimOptions(int argc, const char* const* argv, SimOptions& options, std::string& error) {
  RadioConfig& radio = options.radio;
  for (int i = 1; i < argc; ++i) {
    const std::string_view name = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    unsigned long number = 0;
    bool ok = true;
    bool takesValue = true;
    if (name == "-h" || name == "--help") {
      options.help = true;
      takesValue = false;
    } else if (name == "--no-map") {
      options.map = false;
      takesValue = false;
    } else if (name == "--quiet") {
      options.quiet = true;
      takesValue = false;
    } else if (name == "--pace") {
      radio.pace38400 = true;
      takesValue = false;
    } else if (name == "--com") {
      ok = ParseNumber(value, 10, number) && number >= 1;
      options.comNumber = static_cast<int>(number);
    } else if (name == "--config-home") {
      ok = value != nullptr && value[0] != '\0';
      if (ok) options.configHome = value;
    } else if (name == "--device") {
      ok = value != nullptr && value[0] != '\0';
      if (ok) options.device = value;
    } else if (name == "--image-file") {
      ok = value != nullptr && value[0] != '\0';
      if (ok) options.imageFile = value;
    } else if (name == "--dsp-version") {
      ok = ParseVersion(value, radio.version);
    } else if (name == "--length") {
      ok = ParseNumber(value, 0xFFFFFFFEul, number) && number >= 1;
      radio.expectedLength = static_cast<std::uint32_t>(number);
    } else if (name == "--idle-ms") {
      ok = ParseNumber(value, 3600000, number) && number >= 1;
      radio.idleGapMs = static_cast<std::uint32_t>(number);
    } else if (name == "--first-ack") {
      ok = ParseAck(value, radio.firstAck.reply);
    } else if (name == "--second-ack") {
      ok = ParseAck(value, radio.secondAck.reply);
    } else if (name == "--garbage") {
      ok = ParseBytes(value, radio.firstAck.garbage, sizeof radio.firstAck.garbage,
                      radio.firstAck.garbageLength);
    } else if (name == "--garbage-second") {
      ok = ParseBytes(value, radio.secondAck.garbage, sizeof radio.secondAck.garbage,
                      radio.secondAck.garbageLength);
    } else if (name == "--wrong-echo-at") {
      ok = ParseNumber(value, 0xFFFFFFFEul, number);
      radio.wrongEchoAt = static_cast<std::uint32_t>(number);
    } else if (name == "--silent-from") {
      ok = ParseNumber(value, 0xFFFFFFFEul, number);
      radio.silentFrom = static_cast<std::uint32_t>(number);
    } else if (name == "--hang-up-at") {
      ok = ParseNumber(value, 0xFFFFFFFEul, number);
      radio.hangUpAt = static_cast<std::uint32_t>(number);
    } else if (name == "--echo-twice-from") {
      ok = ParseNumber(value, 0xFFFFFFFEul, number);
      radio.echoTwiceFrom = static_cast<std::uint32_t>(number);
    } else if (name == "--echo-ff-from") {
      ok = ParseNumber(value, 0xFFFFFFFEul, number);
      radio.echoFfFrom = static_cast<std::uint32_t>(number);
    } else if (name == "--after-last-echo") {
      ok = ParseByte(value, radio.afterLastEcho);
    } else if (name == "--flood") {
      ok = ParseByte(value, radio.idleFlood);
    } else if (name == "--power-up") {
      ok = ParseBytes(value, radio.powerUp, sizeof radio.powerUp, radio.powerUpLength);
    } else if (name == "--version-bytes") {
      ok = ParseNumber(value, 3, number);
      radio.versionReplyLength = static_cast<std::uint8_t>(number);
    } else if (name == "--delay-us") {
      ok = ParseNumber(value, 60000000, number);
      radio.replyDelayUs = static_cast<std::uint32_t>(number);
    } else {
      error = "unknown option '" + std::string(name) + "'";
      return false;
    }
    if (!ok) {
      error = value == nullptr
                  ? "option '" + std::string(name) + "' needs a value"
                  : "bad value '" + std::string(value) + "' for '" + std::string(name) + "'";
      return false;
    }
    if (takesValue) ++i;
  }
  // Only a radio told the image's length knows which echo is the last.
  if (radio.afterLastEcho != NO_REPLY && radio.expectedLength == 0) {
    error = "option '--after-last-echo' needs --length";
    return false;
  }
  return true;
}

}  // namespace vannor::sim
