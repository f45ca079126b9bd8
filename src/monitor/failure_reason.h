#pragma once

#include <string>
#include <string_view>

namespace quorvex {

// Why a server's test did not succeed. The status word stays "Failed" or
// "Failed to start"; this says what the user should look at.
enum class TFailureKind {
  None,
  TimedOut,               // no answer within the time-out
  Refused,                // port unreachable or connection refused
  AuthenticationRefused,  // the server answered and refused the login
  TLSFailed,              // handshake or certificate verification
  NameNotResolved,
  ConfigurationError,  // openvpn ended on an options error
  Device,              // the tunnel device could not be set up
  Ended,               // openvpn ended for any other reason
  NotStarted,          // the child could not be started
};

struct TFailureReason {
  TFailureKind kind = TFailureKind::None;
  std::u16string startError{};  // NotStarted: the error of the start, in words

  // The reason in words: "timed out", "authentication refused", ... or the
  // start error; empty for None.
  std::u16string text() const;
  // A short, fixed word for every kind (a metrics label): the start error
  // becomes "not started".
  std::u16string word() const;
  bool operator==(const TFailureReason&) const = default;
};

TFailureReason notStarted(std::u16string error);

// What openvpn's output tells of a failure, gathered as the output arrives.
class TFailureSigns {
 public:
  // `output`: the newest text, with enough of what came before it that a
  // marker cut in two is whole.
  void see(std::u16string_view output);
  // The reason of a "Failed": from the child's end, or from the time-out.
  TFailureReason judge(bool childEnded) const;

 private:
  bool _authFailed = false;
  bool _optionsError = false;
  bool _tlsFailed = false;
  bool _nameNotResolved = false;
  bool _refused = false;
  bool _device = false;
};

}  // namespace quorvex
