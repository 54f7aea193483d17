#include "bench/cli_rounds.h"

#include <signal.h>

#include <future>
#include <memory>
#include <string>
#include <thread>

#include "cli/link_loop.h"
#include "cli/loop_wake.h"
#include "cli/radio_link.h"
#include "cli/signal_watch.h"
#include "history/history_log.h"
#include "protocol/update_request.h"
#include "testing/posix/event_calls.h"

namespace vannor::bench {

using std::chrono::nanoseconds;

nanoseconds CliRound(const std::vector<std::uint8_t>& image,
                     const std::vector<sim::RadioSimulator*>& radios, int firstCom) {
  cli::SignalWatch signals;
  cli::LoopWake wake;
  // Records made as vannor-cli makes them, kept nowhere.
  HistoryLog history({}, "vannor-cli", "bench");
  // The image as vannor-cli shares it among its links.
  auto shared = std::make_shared<UpdateImage>();
  shared->chosen.length = static_cast<std::uint32_t>(image.size());
  shared->bytes = image;
  const ImageSource source{std::shared_ptr<const UpdateImage>(shared)};
  std::vector<std::unique_ptr<cli::RadioLink>> links;
  std::vector<cli::RadioLink*> running;
  const auto start = std::chrono::steady_clock::now();
  for (std::size_t i = 0; i < radios.size(); ++i) {
    links.push_back(std::make_unique<cli::RadioLink>(
        "COM" + std::to_string(firstCom + static_cast<int>(i)), false, wake, history));
    links.back()->StartWrite(SelectionMask({.writeDsp1 = true}), source);
    if (links.back()->Done()) return nanoseconds(-1);
    running.push_back(links.back().get());
  }
  cli::RunLinks(running, signals, wake);
  std::vector<bool> written;
  for (auto& link : links) written.push_back(link->Finish().exitCode == 0);
  const nanoseconds took = std::chrono::steady_clock::now() - start;
  for (std::size_t i = 0; i < links.size(); ++i) {
    if (!written[i] || radios[i]->Image() != image) return nanoseconds(-1);
  }
  return took;
}

nanoseconds CliIdle(int com, std::chrono::milliseconds span) {
  // The loop runs on a thread of its own, so that its CPU clock counts nothing else; a signal
  // sent to that thread ends it, as Ctrl-C ends vannor-cli.
  std::promise<bool> opened;
  std::future<bool> isOpen = opened.get_future();
  std::thread loop([&] {
    cli::SignalWatch signals;  // blocks the ending signals on this thread only
    cli::LoopWake wake;
    HistoryLog history({}, "vannor-cli", "bench");
    cli::RadioLink link("COM" + std::to_string(com), false, wake, history);
    const bool open = signals.Waitable() != cli::NO_WAITABLE && link.Open();
    opened.set_value(open);
    if (open) cli::RunLinks({&link}, signals, wake);
    (void)link.Finish();  // interrupted before any byte: nothing to report
  });
  nanoseconds used(-1);
  if (isOpen.get()) {
    // Lets the thread reach its wait.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const nanoseconds before = testkit::ThreadCpuOf(loop.native_handle());
    std::this_thread::sleep_for(span);
    const nanoseconds after = testkit::ThreadCpuOf(loop.native_handle());
    if (before.count() >= 0 && after.count() >= 0) used = after - before;
    // Fails only for a thread that has ended; this one waits for the signal.
    (void)pthread_kill(loop.native_handle(), SIGUSR1);
  }
  loop.join();
  return used;
}

}  // namespace vannor::bench
