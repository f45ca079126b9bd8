#include "platform/exception.h"

#include "platform/text.h"

namespace quorvex {

Exception::Exception(std::u16string message)
    : std::runtime_error(toUtf8(message)), _message(std::move(message)) {}

}  // namespace quorvex
