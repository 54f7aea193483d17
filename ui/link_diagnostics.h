// The lines a technician or a support line reads on standard error when the link fails: which
// port, the device it leads to and the system's reason. The user's boxes keep their own words.
#pragma once

#include <cstdio>
#include <string_view>

#include "protocol/exchange_outcome.h"
#include "serial/line.h"

namespace vannor {

// "vannor: COM1 (/dev/ttyUSB0): Permission denied — add yourself to the dialout group"
void ReportOpenFailure(std::FILE* out, std::string_view port, const OpenFailure& failure);

// "vannor: COM1 (/dev/ttyUSB0): the port went away; was the adapter unplugged?"
void ReportPortFailure(std::FILE* out, std::string_view port, std::string_view device,
                       std::string_view reason);

// For a communication error that the port's failure or a port change caused, that cause:
// "vannor: COM1 (/dev/ttyUSB0): the port went away; was the adapter unplugged?",
// "vannor: COM1: port changed while awaiting the echo of an image byte (byte 5 of 100, 0x3C)".
// Nothing for other outcomes.
void ReportFailureCause(std::FILE* out, std::string_view port, const ExchangeOutcome& outcome,
                        const Line& line);

// "vannor: COM1: cannot watch the port: Too many open files", for the errno value `error`.
void ReportListenerFailure(std::FILE* out, std::string_view port, int error);

}  // namespace vannor
