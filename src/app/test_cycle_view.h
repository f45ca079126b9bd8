#pragma once

#include <string>

#include "app/failure_reason.h"

namespace quorvex {

// The window as the test cycle sees it: the only operations the cycle may
// use. The Qt window, the headless front end and test fakes implement it.
class ITestCycleView {
 public:
  virtual ~ITestCycleView() = default;

  virtual std::u16string loginText() const = 0;     // edLogin
  virtual std::u16string passwordText() const = 0;  // edPwd

  // mmOutput. The cycle judges its own copy of the same text, so a view may
  // render line breaks in its own way.
  virtual std::u16string outputText() const = 0;
  virtual void setOutputText(const std::u16string& text) = 0;
  virtual void appendOutput(const std::u16string& text) = 0;  // then scroll to the last line

  // lvServers, row in catalogue order; `reason` says why a test failed
  // (kind None for every other status).
  virtual void setRowStatus(int row, const std::u16string& status,
                            const TFailureReason& reason) = 0;
  virtual void setRowLastRun(int row, const std::u16string& lastRun) = 0;

  virtual bool repeatChecked() const = 0;  // chbRepeat

  // edLogin, edPwd, btnStart, chbRepeat together; btnStop on its own.
  virtual void setInputsEnabled(bool enabled) = 0;
  virtual void setStopEnabled(bool enabled) = 0;
  virtual void setTimerEnabled(bool enabled) = 0;  // tmrTest
};

}  // namespace quorvex
