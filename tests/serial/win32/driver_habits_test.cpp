// The habits of real USB-serial drivers, played by HabitDriver between the Windows port and
// Wine's driver, one row each, against the radio that vannor-wine-radio serves on COM1 (each row
// a process of its own; its CMake entry checks the image the radio received). Every row runs an
// Update through a link as the window does: a habit the port survives ends in " Completion !!! "
// with every echo and the radio's image exact; a removal (or a call that fails past what is tried
// again) ends as "the port went away" within 1 s of the first call that met it.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "protocol/messages.h"
#include "serial/win32/win32_backend.h"
#include "tests/serial/line_contract.h"
#include "tests/serial/win32/habit_driver.h"

namespace vannor::test {
namespace {

constexpr std::size_t IMAGE_LENGTH = 24;

enum class Ends { Completion, PortGone };

struct Row {
  const char* name;
  HabitPlay play;
  Ends ends = Ends::Completion;
};

const Row ROWS[] = {
    {"WaitEndsWithNoEventOrAnUnaskedTxEmpty", {Habit::WaitEndsAtOnceWithNoEventOrTxEmpty}},
    {"WaitResultFailsOnceOnALivePort", {Habit::WaitResultFailsOnce}},
    {"ReadFileDeliversNothingOfWhatWaits", {Habit::ReadDeliversNothing}},
    // Tried again three times in a row, not four; counted afresh once the driver took bytes.
    {"ReadFileDeliversNothingThreeTimesInARow", {.habit = Habit::ReadDeliversNothing, .times = 3}},
    {"ReadFileDeliversNothingFourTimesInARow",
     {.habit = Habit::ReadDeliversNothing, .times = 4},
     Ends::PortGone},
    {"WriteFileTimesOutThriceThenTakesOneByte",
     {.habit = Habit::WriteTimesOutThenTakesOneByte, .times = 3}},
    {"CountShowsNothingRightAfterTheCharacterEvent", {Habit::CountLagsTheEvent}},
    {"WriteFileTimesOut", {Habit::WriteTimesOut}},
    {"WriteFileTakesFewerBytesThanAsked", {Habit::WriteTakesFewer}},
    {"SetCommStateRefusesAnRtsModeItLacks", {Habit::RefusesTheRtsMode}},
    {"SetupCommAndTheFifoRequestRefused", {Habit::RefusesSetupAndFifo}},
    {"RemovalAsAccessDeniedFromWriteFile",
     {Habit::Removal, FirstMet::WriteFile, ERROR_ACCESS_DENIED},
     Ends::PortGone},
    {"RemovalAsBadCommandFromClearCommError",
     {Habit::Removal, FirstMet::ClearCommError, ERROR_BAD_COMMAND},
     Ends::PortGone},
    {"RemovalAsGenFailureFromReadFile",
     {Habit::Removal, FirstMet::ReadFile, ERROR_GEN_FAILURE},
     Ends::PortGone},
    {"RemovalAsDeviceRemovedFromTheWaitsResult",
     {Habit::Removal, FirstMet::WaitResult, ERROR_DEVICE_REMOVED},
     Ends::PortGone},
    {"RemovalAsOperationAbortedFromWaitCommEvent",
     {Habit::Removal, FirstMet::WaitCommEvent, ERROR_OPERATION_ABORTED},
     Ends::PortGone},
    // Only the listed hiccups are tried again, even while the port answers ClearCommError.
    {"GenFailureFromWriteFileOnAPortThatStillAnswers",
     {Habit::FailsOnce, FirstMet::WriteFile, ERROR_GEN_FAILURE},
     Ends::PortGone},
    // The write's record is the driver's for good: the port is gone after the cancel's second.
    {"WriteFileNeverEndsAndItsCancelIsIgnored",
     {.habit = Habit::KeepsACancelledWrite, .error = WAIT_TIMEOUT},
     Ends::PortGone},
};

class DriverHabits : public ::testing::TestWithParam<Row> {};

TEST_P(DriverHabits, Update) {
  const HabitPlay play = GetParam().play;
  RadioEnd farEnd({.length = IMAGE_LENGTH});
  ASSERT_TRUE(farEnd.Ok());
  HabitDriver driver(play);
  TestLoop loop;
  PickingHost host(loop);
  Link link(host, "vannor", false, std::make_unique<Win32Backend>(driver));
  ASSERT_TRUE(link.OpenPort(RADIO_PORT)) << link.SerialLine().LastOpenFailure().reason;
  auto& backend = static_cast<Win32Backend&>(link.SerialLine().Backend());
  DCB line{};
  line.DCBlength = sizeof line;
  ASSERT_TRUE(GetCommState(backend.PortHandle(), &line));
  EXPECT_EQ(line.BaudRate, static_cast<DWORD>(CBR_38400));
  EXPECT_FALSE(line.fOutxCtsFlow || line.fOutX || line.fInX);

  const Bytes image = testkit::MakeImage(IMAGE_LENGTH);
  link.StartUpdate(0x0F, testkit::MemoryImage(image));
  PassQuietPeriod(link);
  // Only port events move the engine: a byte lost is no outcome within kPatience.
  while (host.outcomes.empty() && loop.Next(link.SerialLine())) link.OnPortReady();
  const auto ended = std::chrono::steady_clock::now();
  ASSERT_EQ(host.outcomes.size(), 1u) << "hung";
  EXPECT_GT(driver.Played(), 0);
  const ExchangeOutcome& outcome = host.outcomes[0];

  if (GetParam().ends == Ends::Completion) {
    EXPECT_EQ(MessageFor(outcome), MSG_COMPLETION) << link.SerialLine().FailureReason();
    EXPECT_TRUE(farEnd.ReceivedImage(image));
  } else if (play.error == 0) {
    // Calls that moved nothing, past the last try: no code of the system's to tell.
    EXPECT_EQ(outcome.failure.cause, FailureCause::PortFailed);
    EXPECT_EQ(link.SerialLine().FailureReason(), "the port went away; was the adapter unplugged?");
  } else {
    EXPECT_EQ(outcome.failure.cause, FailureCause::PortFailed);
    const std::string reason = link.SerialLine().FailureReason();
    EXPECT_EQ(reason.rfind("the port went away; was the adapter unplugged? (", 0), 0u) << reason;
    EXPECT_NE(reason.find("(error " + std::to_string(play.error) + "))"), std::string::npos)
        << reason;
    if (play.habit != Habit::KeepsACancelledWrite) {
      ASSERT_TRUE(driver.RemovedAt());
      EXPECT_LT(ended - *driver.RemovedAt(), 1s);
    }
  }

  if (play.habit == Habit::WaitEndsAtOnceWithNoEventOrTxEmpty) {
    // Idle, with waits that end at once: no post, and wakes paced by the listener's pause (at
    // most one a millisecond), not as fast as the calls go.
    const int heard = loop.Count();
    const int wakes = driver.Played();
    std::this_thread::sleep_for(500ms);
    EXPECT_LE(loop.Count(), heard + 1);
    EXPECT_LT(driver.Played() - wakes, 1000);
  }
  link.Stop();
}

INSTANTIATE_TEST_SUITE_P(Drivers, DriverHabits, ::testing::ValuesIn(ROWS),
                         [](const ::testing::TestParamInfo<Row>& row) { return row.param.name; });

}  // namespace
}  // namespace vannor::test
