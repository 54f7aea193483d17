// The port list for tests of the port switch: the selection the test sets, and what the switch
// did to the list.
#pragma once

#include <chrono>
#include <thread>
#include <vector>

#include "serial/line.h"
#include "serial/port_switch.h"

namespace vannor::testkit {

// The port list: the selection the test sets, and what the switch did to the list.
class FakePortList : public PortSwitchHost {
 public:
  explicit FakePortList(Line& line) : line_(line) {}

  int selection = 0;
  std::vector<int> selected;  // every SelectPortListItem, in order
  int notUsableShown = 0;
  OpenFailure lastFailure;  // what the last message was told
  // Whether the port lock was held while each message was on the screen.
  std::vector<bool> lockedDuringMessage;

  int PortListSelection() override { return selection; }
  void SelectPortListItem(int index) override {
    selected.push_back(index);
    selection = index;
  }
  void ShowPortNotUsable(int, const OpenFailure& failure) override {
    ++notUsableShown;
    lastFailure = failure;
    // Asked from another thread: the switch's own thread may not try a lock it holds. A
    // listener takes the lock for a moment now and then; a lock held for the box is held for
    // as long as the probe tries.
    bool free = false;
    std::thread probe([this, &free] {
      const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(1);
      while (!(free = line_.PortLock().try_lock()) && std::chrono::steady_clock::now() < giveUp) {
        std::this_thread::yield();
      }
      if (free) line_.PortLock().unlock();
    });
    probe.join();
    lockedDuringMessage.push_back(!free);
  }

 private:
  Line& line_;
};

}  // namespace vannor::testkit
