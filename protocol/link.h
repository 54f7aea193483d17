// One radio's link: its serial line, its protocol engine, the response deadline, the observers
// that follow its exchanges (trace, slow-echo check, whatever the host adds) and what a pick in
// the port list does to a running exchange. It has no toolkit and no loop of its own: the
// program that runs it (the window, vannor-cli, the tests' host) waits on what the link names
// and calls it back, all on one event thread.
//
// What a host waits on: on Linux the descriptor the link names (Waitable; the host's PortEvent
// says when it changed); on Windows the listener's calls (PortEvent, from the listener thread).
// And the deadline
// (Deadline, announced through DeadlineChanged; MillisecondsToDeadline for a wait's time-out).
// When its wait ends the host calls Service; a host with a timer of its own calls OnPortReady
// and OnDeadline as each comes. Either way the port is read before the deadline may fall.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "protocol/engine_host.h"
#include "protocol/exchange_trace.h"
#include "protocol/latency_check.h"
#include "protocol/link_diagnostics.h"
#include "protocol/protocol_engine.h"
#include "protocol/request_record.h"
#include "protocol/update_request.h"
#include "serial/line.h"

namespace vannor {

using LinkClock = EngineClock;

class LinkHost : public PortEvents {
 public:
  // The deadline was set, moved or cleared. A host that reads Deadline() before each wait needs
  // nothing here; one with a timer of its own sets it.
  virtual void DeadlineChanged() {}
  // An exchange or a request that sent nothing ended so (the window's box: modal, returns when
  // the user has closed it).
  virtual void ReportOutcome(const ExchangeOutcome& outcome) = 0;
  // A request has passed its checks and is about to go: a host that opens its port only for a
  // request (vannor-cli: a refused one never touches a radio) opens it now. False when it did
  // not: the request is recorded as not sent, and the host tells why.
  virtual bool OpenForRequest() { return true; }

 protected:
  ~LinkHost() = default;
};

// What a pick in the port list asks of the user.
class PortPickQuestions {
 public:
  // An image is on its way to the radio: whether the user lets it go unfinished (modal).
  virtual bool LeaveUnfinishedUpdate() = 0;
  // The picked port did not open; the one used before is open again if it could be (modal).
  virtual void ShowPortNotUsable(int index, const OpenFailure& failure) = 0;

 protected:
  ~PortPickQuestions() = default;
};

class Link final : private EngineHost, private UpdateSteps {
 public:
  // `program` begins the link's lines on standard error ("vannor", "vannor-cli"); `trace`
  // follows every exchange there. The port is the platform's unless a test hands in another.
  Link(LinkHost& host, std::string program, bool trace,
       std::unique_ptr<PortBackend> backend = MakePortBackend());
  ~Link();
  Link(const Link&) = delete;
  Link& operator=(const Link&) = delete;

  // Opens the port at index 0 to 9 of the port list, or a device by name ("COM3", a path), and
  // from the first open on watches it (whether it opened or not: a later pick may open one).
  // False when it did not open (LastOpenFailure says why).
  bool OpenPort(int index);
  bool OpenDevice(const std::string& name);
  // The port as the user names it, before any open: a request refused before its port opens is
  // recorded under it.
  void NamePort(std::string label);
  // Whether the port is watched: without it no reply is ever heard.
  bool Watching() const { return line_.Watching(); }
  // The descriptor a host waits on for the port (Linux), else NO_DESCRIPTOR.
  int Waitable() const { return line_.Waitable(); }

  // The user picked the port at `index` in the list, the open one included. During an Update
  // the user is asked first (No keeps the port and the transfer); an exchange the pick goes on
  // with ends at once, as a communication error, before the port changes. The picked port is
  // then opened; when it does not, the one before is opened again and the user told. Returns
  // the index of the port in use, which the list must show.
  int OnPortPicked(int index, PortPickQuestions& questions);

  // The Update, in its one order (RequestUpdate): nothing while an exchange runs, the DSP check,
  // the image from `source` and its checks, the host's port (OpenForRequest), then the request.
  // A refusal ends at once and is told to the host, as the engine's own are; the record names
  // the file and its SHA-256. The link holds the image it sends until the exchange ends. A
  // write's slow-echo note, if any, goes out with the request.
  void StartUpdate(std::uint8_t mask, const ImageSource& source);
  void OnVerReadClicked();

  // Each request ends with a record in `log` from now on (see RequestRecord); `log` outlives
  // the link. The last record's line, also without a log kept, is LastRecord.
  void KeepHistory(HistoryLog& log) { record_.KeepIn(log); }
  const std::string& LastRecord() const { return record_.LastJson(); }
  // The port is ready (its descriptor, or the listener's post): what waits is read and acted on.
  void OnPortReady();
  // The host's timer for Deadline() fired. An early call only announces the deadline again.
  // Whether the deadline fell (an answer that had come wins over it).
  bool OnDeadline(LinkClock::time_point now = LinkClock::now());
  // When the response time-out falls, if one runs.
  std::optional<LinkClock::time_point> Deadline() const { return deadline_; }
  // The milliseconds from `now` to the deadline for a host's wait, rounded up so that the wait
  // never ends just before it: -1 when none runs, 0 when it has come.
  int MillisecondsToDeadline(LinkClock::time_point now) const;
  // The host's wait ended at `now` (the clock's, or the one a host runs itself), with the port
  // ready or not: the deadline is handled if it has come (an answer that came with it still
  // wins), else the port is read if ready. Whether the deadline fell.
  bool Service(bool portReady, LinkClock::time_point now);
  // Ends the exchange in progress as a communication error for `cause`.
  void EndExchange(FailureCause cause) { engine_.EndExchange(cause); }

  // The stop sequence: stop watching, close the port, its settings back. Safe to call again. A
  // request still running is recorded as stopped.
  void Stop();

  // Follows every exchange from now on, besides the link's own observers.
  bool Follow(ExchangeObserver& observer) { return engine_.AddObserver(&observer); }

  bool Busy() const override { return engine_.Busy(); }
  // A request waits for the line to go quiet: the deadline is that wait's, not a time-out.
  bool AwaitingQuietLine() const { return engine_.AwaitingQuietLine(); }
  // A write request is out: the radio's DSP is left unfinished if the exchange ends now. The one
  // answer for the question before a quit or a port pick, and for an interrupt's line.
  bool LeavesDspUnfinished() const { return engine_.LeavesDspUnfinished(); }
  const LinkState& State() const { return engine_.State(); }
  // The list index of the port in use (opened by index), or -1 when it was opened by name.
  int PortIndex() const { return portIndex_; }
  // The port as the user names it: "COM3", or the device as given.
  const std::string& PortLabel() const { return portLabel_; }
  // "COM3 (/dev/ttyUSB0)", or the label alone when it names the device itself.
  std::string PortAndDevice() const;
  const Line& SerialLine() const { return line_; }
  Line& SerialLine() { return line_; }
  // The lines for standard error when the port fails, under the link's program name.
  const LinkDiagnostics& Diagnostics() const { return diagnostics_; }

 private:
  void StartResponseTimer(int milliseconds) override;
  void StopResponseTimer() override;
  void RestartResponseTimer(int milliseconds) override { StartResponseTimer(milliseconds); }
  // The time the host gave with the deadline being handled, else the clock's.
  LinkClock::time_point Now() override { return eventTime_ ? *eventTime_ : LinkClock::now(); }
  void ReportOutcome(const ExchangeOutcome& outcome) override;
  void Refuse(std::uint8_t mask, const ChosenImage& chosen,
              const ExchangeOutcome& outcome) override;
  void Send(std::uint8_t mask, std::shared_ptr<const UpdateImage> image) override;

  // A request that did not go out because the port did not open (LastOpenFailure): recorded
  // only, the host tells it. `image` null: a version read.
  void RecordPortNotUsable(std::uint8_t mask, const ChosenImage* image);
  bool Opened(bool opened, std::string label);
  void WatchOnce();

  LinkHost& host_;
  const std::string program_;
  Line line_;
  ProtocolEngine engine_;
  LatencyCheck latency_;
  LinkDiagnostics diagnostics_;
  std::optional<ExchangeTrace> trace_;
  RequestRecord record_;
  std::optional<LinkClock::time_point> deadline_;
  std::optional<LinkClock::time_point> eventTime_;
  // The image on its way: held while its exchange runs.
  std::shared_ptr<const UpdateImage> image_;
  bool watchStarted_ = false;
  int portIndex_ = -1;
  std::string portLabel_;
};

}  // namespace vannor
