// A fixture for tests of the main window: a private port folder, the modal-dialog hook, radios
// on chosen ports, and the window itself, shown and initialised.
#pragma once

#include <gtest/gtest.h>
#include <wx/window.h>

#include <memory>
#include <vector>

#include "testing/window_test_support.h"
#include "tools/radio_sim.h"
#include "ui/vannor_dlg.h"

namespace vannor::uitest {

class WindowTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(ports.Ready()); }

  void TearDown() override {
    // The window first: its stop sequence closes the port the radios serve.
    window.reset();
    radios.clear();
    EXPECT_TRUE(modals.AllFileAnswersUsed());
    EXPECT_TRUE(modals.AllQuestionAnswersUsed());
    EXPECT_TRUE(modals.AllDialogAnswersUsed());
  }

  // A radio on "COM<com>".
  sim::RadioSimulator& StartRadio(int com, const sim::RadioConfig& config = {}) {
    radios.push_back(std::make_unique<sim::RadioSimulator>());
    sim::RadioSimulator& radio = *radios.back();
    EXPECT_TRUE(radio.Start(config));
    EXPECT_TRUE(radio.MapPort(ports.ConfigHome(), com));
    return radio;
  }

  // Creates the window and shows it, which initialises it, and waits until it is on screen.
  VannorDlg& ShowWindow(std::unique_ptr<PortBackend> port = MakePortBackend()) {
    window = std::make_unique<VannorDlg>(std::move(port));
    window->Show();
    EXPECT_TRUE(PumpUntil([&] { return Get<wxWindow>(wxID_OK).IsShownOnScreen(); }));
    return *window;
  }

  // A control of the window by its identifier.
  template <typename Control>
  Control& Get(int id) {
    auto* control = dynamic_cast<Control*>(window->FindWindow(id));
    if (control == nullptr) ADD_FAILURE() << "no control " << id << " of the expected kind";
    return *control;
  }

  PortFolder ports;
  ModalRecorder modals;
  std::vector<std::unique_ptr<sim::RadioSimulator>> radios;
  std::unique_ptr<VannorDlg> window;
};

}  // namespace vannor::uitest
