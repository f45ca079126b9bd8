#include "alerts/mail_unavailable.h"

#include "platform/exception.h"

namespace quorvex {

void raiseMailUnavailable() {
  throw EQxException(u"Sending e-mail is not available in this build");
}

}  // namespace quorvex
