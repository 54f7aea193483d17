// The serial devices of `vannor-cli ports`: one line each, with what the system tells of it.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "serial/linux/serial_devices.h"

namespace vannor::cli {

// "  /dev/serial/by-id/usb-FTDI_...-port0 -> /dev/ttyUSB0  ftdi_sio: FTDI FT232R USB UART, ..."
void PrintSerialDevices(std::FILE* out, const std::vector<SerialDevice>& devices);

// A name as one line of the listing: control characters (a newline in a device's name) and the
// backslash written as C escapes, so that no name can split or forge a line.
std::string Printable(const std::string& name);

}  // namespace vannor::cli
