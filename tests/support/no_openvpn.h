#pragma once

#include <memory>
#include <string_view>

#include "platform/registry.h"

namespace quorvex::test {

// A machine without OpenVPN: the registry has neither key.
class NoOpenVPN final : public IRegistry {
 public:
  std::unique_ptr<IRegistryKey> openLocalMachineKey(std::u16string_view,
                                                    TRegistryAccess) const override {
    return nullptr;
  }
};

}  // namespace quorvex::test
