// The COM ports this machine has now, as the serial drivers list them (SERIALCOMM under
// HARDWARE\DEVICEMAP) and setup's ports class tells of them: what Device Manager shows, the maker,
// the name the bus reports and the adapter's serial number.
#pragma once

#include <string>
#include <vector>

namespace vannor {

struct ComPort {
  std::string name;      // "COM17"
  std::string device;    // the driver's device ("\Device\Serial0"); empty when setup alone knows it
  std::string friendly;  // "USB Serial Port (COM17)"
  std::string maker;     // "FTDI"
  std::string busName;   // what the USB device reports: "FT232R USB UART"
  std::string serialNumber;  // the USB device's serial number, where its instance carries one
};

// By rising number.
std::vector<ComPort> FindComPorts();

// "USB Serial Port (COM17) — FTDI: FT232R USB UART, serial number A9XYZ"; the name alone when
// nothing else is known.
std::string DescribeComPort(const ComPort& port);

// Whether Windows has a port of that name now: a removed adapter's name is gone.
bool ComPortPresent(const std::string& name);

// "COM17" for "COM17", "com17" or "\\.\COM17"; empty for anything else.
std::string ComPortName(const std::string& text);

// UTF-8 of a wide string, and back.
std::string Utf8(const std::wstring& text);
std::wstring Wide(const std::string& text);

}  // namespace vannor
