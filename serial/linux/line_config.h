// The line settings every port gets: 38400 baud, 8 data bits, no parity, one stop bit, and a
// raw 8-bit line on which every byte value crosses unchanged.
#pragma once

namespace vannor {

// Applies the settings and reads them back. False when the descriptor is no terminal or the
// driver did not take them: a port that would translate, drop or echo bytes is no port for
// the radio.
bool ConfigureLine(int fd);

// Raises RTS, which the radio's interface may draw power from.
void RaiseRts(int fd);

// USB adapters hold received bytes back for up to 16 ms; with one byte in flight that
// multiplies the transfer time. Requests low latency where the driver has it; true when this
// call switched it on, and so RestoreLatency must switch it off again at close.
bool RequestLowLatency(int fd);
void RestoreLatency(int fd);

}  // namespace vannor
