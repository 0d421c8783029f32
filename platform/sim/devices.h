// Device objects reached through "\\.\NAME" names: whatever simulated
// hardware the PC has (card readers, the utility VxD, physical drives)
// registers a provider that opens its names.
#pragma once

#include <memory>
#include <string>

#include "handles.h"
#include "platform/types.h"

namespace sim {

class Process;

class DeviceObject : public KernelObject {
 public:
  // Same contract as DeviceIoControl; on failure return 0 and set *error.
  virtual platform::BOOL deviceIoControl(Process& caller, platform::DWORD code,
                                         void* in, platform::DWORD inSize,
                                         void* out, platform::DWORD outSize,
                                         platform::DWORD* returned,
                                         platform::DWORD* error) = 0;
};

class DeviceProvider {
 public:
  virtual ~DeviceProvider() = default;
  // `name` is the part after "\\.\" as the program spelled it. Returns null
  // with *error set (ERROR_FILE_NOT_FOUND when the name is not this
  // provider's) when the device does not open.
  virtual std::shared_ptr<DeviceObject> open(Process& caller,
                                             const std::string& name,
                                             platform::DWORD access,
                                             platform::DWORD shareMode,
                                             platform::DWORD creation,
                                             platform::DWORD flags,
                                             platform::DWORD* error) = 0;
};

}  // namespace sim
