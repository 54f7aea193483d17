// vannor-radio-sim: the radio simulator as a program, for trying the tool by hand and for demos.
#include <signal.h>
#include <stdio.h>
#include <time.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tools/radio_report.h"
#include "tools/radio_sim.h"
#include "tools/received_image.h"
#include "tools/sim_options.h"

int main(int argc, char** argv) {
  vannor::sim::SimOptions options;
  std::string error;
  if (!vannor::sim::ParseSimOptions(argc, argv, options, error)) {
    fprintf(stderr, "vannor-radio-sim: %s\nTry 'vannor-radio-sim --help'.\n", error.c_str());
    return 2;
  }
  if (options.help) {
    fwrite(vannor::sim::SIM_USAGE.data(), 1, vannor::sim::SIM_USAGE.size(), stdout);
    return 0;
  }

  // The signals are taken here, synchronously; the radio's thread inherits the blocked mask
  // and is never interrupted by them.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  if (pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr) != 0) {
    fprintf(stderr, "vannor-radio-sim: cannot take SIGINT and SIGTERM\n");
    return 1;
  }

  vannor::sim::RadioSimulator radio;
  const bool started = options.device.empty() ? radio.Start(options.radio)
                                              : radio.StartDevice(options.device, options.radio);
  if (!started) {
    fprintf(stderr, "vannor-radio-sim: cannot open %s\n",
            options.device.empty() ? "a pseudo-terminal" : options.device.c_str());
    return 1;
  }
  // Taken before anyone can know where to connect, so that no request goes unreported.
  vannor::sim::RadioRecord seen = radio.Record();
  printf("%s\n", radio.SlavePath().c_str());
  if (options.map) {
    const std::string home =
        options.configHome.empty() ? vannor::sim::DefaultConfigHome() : options.configHome;
    if (!radio.MapPort(home, options.comNumber)) {
      fprintf(stderr, "vannor-radio-sim: cannot link COM%d in %s/vannor/ports\n", options.comNumber,
              home.c_str());
      radio.Stop();
      return 1;
    }
    if (!options.quiet) printf("COM%d -> %s\n", options.comNumber, radio.MappedLink().c_str());
  }
  fflush(stdout);

  std::uint32_t endSeen = 0;
  std::vector<std::uint8_t> image;
  // What the radio saw since the last look: the received image into its file first, so that
  // whoever reads of its end in the log finds it there.
  auto look = [&] {
    const vannor::sim::RadioRecord now = radio.Record();
    const vannor::sim::EndedImage ended = radio.LatestEndedImage(image);
    const bool newEnd = ended.writeRequest != endSeen;
    endSeen = ended.writeRequest;
    if (newEnd && !options.imageFile.empty() &&
        !vannor::sim::SaveReceivedImage(options.imageFile, image)) {
      fprintf(stderr, "vannor-radio-sim: cannot write the image to %s\n",
              options.imageFile.c_str());
    }
    if (!options.quiet) vannor::sim::ReportChanges(seen, now, newEnd ? &ended : nullptr);
    seen = now;
    return now;
  };

  const timespec tick = {0, 200 * 1000 * 1000};
  for (;;) {
    const int signal = sigtimedwait(&stopSignals, nullptr, &tick);
    if (signal == SIGINT || signal == SIGTERM) {
      look();
      break;
    }
    const vannor::sim::RadioRecord now = look();
    if (!radio.Running()) {
      if (!now.hungUp) {
        fprintf(stderr, "vannor-radio-sim: the line is gone\n");
        radio.Stop();
        return 1;
      }
      if (!options.quiet) printf("line closed: hang-up played\n");
      break;
    }
  }
  radio.Stop();
  if (!options.quiet) printf("stopped\n");
  fflush(stdout);
  return 0;
}
