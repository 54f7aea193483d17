// What the user is told about a port that holds the radio's echoes back: before a write from
// what the port tells, after the first echoes from what was measured, each by its cause and with
// a remedy only where the device has one.
#include <gtest/gtest.h>

#include "serial/adapter_latency.h"

namespace vannor::test {
namespace {

const UartTrigger NO_UART{};
const UartTrigger LOWERED{.bytes = 1, .remedy = {}};
const UartTrigger REFUSED{.bytes = 8, .remedy = "REMEDY"};
// A UART whose lowest level is above 1 byte, or a driver that would not take 1.
const UartTrigger KEPT{.bytes = 16, .remedy = {}};

struct NoteRow {
  const char* name;
  EchoHold hold;
  std::uint32_t length;
  std::string note;
};

TEST(SlowEchoNoteTest, BeforeAWriteWhatThePortWillHoldBackAndWhatToChange) {
  const std::string usb =
      "the USB adapter's latency timer is 16 ms, so the 1000 bytes may take "
      "about 16 s instead of 0.6 s; " +
      std::string(LatencyAdvice());
  const NoteRow rows[] = {
      {"a pseudo-terminal", {-1, NO_UART}, 20000, ""},
      {"an adapter at its default timer", {16, NO_UART}, 1000, usb},
      {"an adapter at 2 ms", {2, NO_UART}, 1000, ""},
      // Each echo waits four characters (1.04 ms) beyond the wire's 0.6 ms.
      {"a UART this user may not lower",
       {-1, REFUSED},
       20000,
       "the UART's receive trigger is 8 bytes and this user may not lower it, so each echo waits "
       "for four characters of silence and the 20000 bytes may take about 32 s instead of 12 s; "
       "REMEDY"},
      {"a UART lowered to 1 byte", {-1, LOWERED}, 20000, ""},
      {"a UART that kept its trigger, with nothing the user can do", {-1, KEPT}, 20000, ""},
  };
  for (const NoteRow& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(SlowPortNote(row.hold, row.length), row.note);
  }
}

struct ReportRow {
  const char* name;
  EchoHold hold;
  double roundTripMs;
  std::uint32_t length;
  std::string report;
};

TEST(SlowEchoNoteTest, AfterTheFirstEchoesWhatWasMeasuredByItsCause) {
  const std::string slow16 = "each byte takes 16.2 ms to come back where the line needs 0.5 ms";
  const ReportRow rows[] = {
      // What was measured, and no remedy: nothing on the port is known to hold echoes.
      {"a slow radio on a pseudo-terminal",
       {-1, NO_UART},
       16.2,
       50,
       slow16 + "; this image will take about 0.8 s"},
      {"an adapter whose timer is already low",
       {1, NO_UART},
       16.2,
       200000,
       slow16 + "; this image will take about 54 min 0 s"},
      {"a pseudo-terminal under 4 ms", {-1, NO_UART}, 1.6, 200000, ""},
      // A FIFO's millisecond is told by its cause although it stays under 4 ms.
      {"a UART that kept its trigger",
       {-1, KEPT},
       1.6,
       200000,
       "each byte takes 1.6 ms to come back where the line needs 0.5 ms: the UART's receive FIFO "
       "holds each echo until the line has been quiet for four characters (its trigger is 16 "
       "bytes); this image will take about 5 min 20 s"},
      {"a UART lowered to 1 byte", {-1, LOWERED}, 1.6, 200000, ""},
      {"a UART at the wire's speed", {-1, KEPT}, 0.9, 200000, ""},
      // Told before the write already, with the remedy.
      {"a UART this user may not lower", {-1, REFUSED}, 1.6, 200000, ""},
      {"an adapter at its default timer", {16, NO_UART}, 16.2, 200000, ""},
  };
  for (const ReportRow& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(SlowEchoReport(row.hold, row.roundTripMs, row.length), row.report);
  }
}

}  // namespace
}  // namespace vannor::test
