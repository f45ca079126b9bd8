#pragma once

#include <string>

namespace quorvex {

// The controls of a front end as the engine sees them: the login fields,
// the output memo, the repeat box, the enabling of the controls and the
// timer. Results do not go here but to the observers. The Qt window, the
// headless front end and test fakes implement it.
class IMonitorControls {
 public:
  virtual ~IMonitorControls() = default;

  virtual std::u16string loginText() const = 0;     // edLogin
  virtual std::u16string passwordText() const = 0;  // edPwd

  // mmOutput, which holds one test's output at a time (one at a time only:
  // side by side, the output goes to the observers alone).
  virtual void setOutputText(const std::u16string& text) = 0;
  virtual void appendOutput(const std::u16string& text) = 0;  // then scroll to the last line

  virtual bool repeatChecked() const = 0;  // chbRepeat

  // edLogin, edPwd, btnStart, chbRepeat together; btnStop on its own.
  virtual void setInputsEnabled(bool enabled) = 0;
  virtual void setStopEnabled(bool enabled) = 0;
  virtual void setTimerEnabled(bool enabled) = 0;  // tmrTest
};

}  // namespace quorvex
