// One table of records of every kind, with the row the history dialog shows for each (its time
// aside, which is the machine's local time): shared by the dialog's tests and the CSV's.
#pragma once

#include <fstream>
#include <string>
#include <vector>

#include "history/history_record.h"
#include "testing/temp_dir.h"

namespace vannor::testkit {

struct HistoryCase {
  HistoryRecord record;
  // The dialog's columns after the time: port, device, request, DSPs, bytes, outcome, image,
  // SHA-256 (12 digits), time taken.
  std::vector<std::string> row;
};

inline HistoryRecord Signed(HistoryRecord record, const std::string& time) {
  record.time = time;
  record.program = "vannor";
  record.version = "1.0.0.1";
  record.host = "bench-3";
  record.user = "tech";
  return record;
}

inline std::vector<HistoryCase> HistoryCases() {
  const std::string digest = "9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08";
  const auto update = [&](const char* time, const char* port, const std::string& image,
                          std::uint32_t confirmed) {
    HistoryRecord r = Signed({}, time);
    r.port = port;
    r.device = "/dev/ttyUSB0";
    r.request = "update";
    r.image = image;
    r.size = 2000;
    r.sha256 = digest;
    r.mask = 15;
    r.dsps = "DSP1, DSP2";
    r.confirmed = confirmed;
    r.ms = 4321;
    return r;
  };
  const auto ended = [](HistoryRecord r, const char* outcome, const char* message,
                        const char* cause, bool ok) {
    r.outcome = outcome;
    r.message = message;
    r.cause = cause;
    r.ok = ok;
    return r;
  };
  HistoryRecord version = Signed({}, "2026-12-08T09:00:01.000Z");
  version.port = "COM1";
  version.adapter = "FTDI FT232R USB UART A10K3XYZ";
  version.request = "version";
  version.dsp1 = "V01.03";
  version.dsp2 = "V02.00";
  version.ms = 120;
  HistoryRecord refused = update("2026-12-08T09:06:00.000Z", "COM3", "/img/big.out", 0);
  refused.size = 0;
  refused.sha256.clear();
  const std::string odd = std::string("/img/say \"hi\", then\nbye \xff\xfe.out");
  return {
      {ended(version, "versions-read", "", "", true),
       {"COM1", "FTDI FT232R USB UART A10K3XYZ", "Ver Read", "DSP1, DSP2", "",
        "versions-read: V01.03 V02.00", "", "", "0.1 s"}},
      {ended(update("2026-12-08T09:01:00.000Z", "COM3", "/img/dsp-v1.03.out", 2000), "completed",
             " Completion !!! ", "", true),
       {"COM3", "/dev/ttyUSB0", "Update", "DSP1, DSP2", "2000 / 2000", "Completion !!!",
        "dsp-v1.03.out", "9f86d081884c", "4.3 s"}},
      {ended(update("2026-12-08T09:02:00.000Z", "COM4", "/img/dsp-v1.03.out", 1013),
             "communication-error", " Communication Error !!! ", "no echo within 5 s of byte 1013",
             false),
       {"COM4", "/dev/ttyUSB0", "Update", "DSP1, DSP2", "1013 / 2000", "Communication Error !!!",
        "dsp-v1.03.out", "9f86d081884c", "4.3 s"}},
      {ended(update("2026-12-08T09:03:00.000Z", "COM4", "/img/dsp-v1.03.out", 600), "stopped", "",
             "the program stopped during the exchange", false),
       {"COM4", "/dev/ttyUSB0", "Update", "DSP1, DSP2", "600 / 2000", "stopped", "dsp-v1.03.out",
        "9f86d081884c", "4.3 s"}},
      {ended(update("2026-12-08T09:04:00.000Z", "COM3", "", 0), "dsp-not-selected",
             " DSP Select Error !!! ", "no DSP chosen to write", false),
       {"COM3", "/dev/ttyUSB0", "Update", "DSP1, DSP2", "0 / 2000", "DSP Select Error !!!", "",
        "9f86d081884c", "4.3 s"}},
      {ended(update("2026-12-08T09:05:00.000Z", "COM3", "/img/dsp-v1.03.out", 0), "only-once",
             " Only once when starting up !!!  ", "a command already went out this run", false),
       {"COM3", "/dev/ttyUSB0", "Update", "DSP1, DSP2", "0 / 2000",
        "Only once when starting up !!!", "dsp-v1.03.out", "9f86d081884c", "4.3 s"}},
      {ended(refused, "image-refused", " File Size Error !!! ", "", false),
       {"COM3", "/dev/ttyUSB0", "Update", "DSP1, DSP2", "", "File Size Error !!!", "big.out", "",
        "4.3 s"}},
      {ended(update("2026-12-08T09:07:00.000Z", "/dev/ttyUSB1", "/img/x.out", 0), "port-not-usable",
             " Not Use COM Port ", "Permission denied", false),
       {"/dev/ttyUSB1", "/dev/ttyUSB0", "Update", "DSP1, DSP2", "0 / 2000", "Not Use COM Port",
        "x.out", "9f86d081884c", "4.3 s"}},
      {ended(update("2026-12-08T09:08:00.000Z", "COM3", odd, 2000), "completed", " Completion !!! ",
             "", true),
       {"COM3", "/dev/ttyUSB0", "Update", "DSP1, DSP2", "2000 / 2000", "Completion !!!",
        "say \"hi\", then\\nbye \\udcff\\udcfe.out", "9f86d081884c", "4.3 s"}},
      // What a spreadsheet would take for formulas, in a history others write too.
      {ended(update("2026-12-08T09:09:00.000Z", "COM3", "=HYPERLINK(\"evil.exe\",\"y\").out", 2000),
             "completed", " Completion !!! ", "+cmd|' /C calc'!A0", true),
       {"COM3", "/dev/ttyUSB0", "Update", "DSP1, DSP2", "2000 / 2000", "Completion !!!",
        "=HYPERLINK(\"evil.exe\",\"y\").out", "9f86d081884c", "4.3 s"}},
  };
}

// Writes the records as the history keeps them: the first `older` into the older file.
inline void WriteHistory(const std::string& path, const std::string& olderPath,
                         const std::vector<HistoryCase>& cases, std::size_t older) {
  std::ofstream first(PathFromUtf8(olderPath), std::ios::binary | std::ios::trunc);
  std::ofstream second(PathFromUtf8(path), std::ios::binary | std::ios::trunc);
  for (std::size_t i = 0; i < cases.size(); ++i) {
    (i < older ? first : second) << RecordJson(cases[i].record) << "\n";
  }
}

}  // namespace vannor::testkit
