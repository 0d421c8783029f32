// The services a program run is given at its start. One object per run: a
// simulated PC hands each simulated process its own, and nothing in the
// programs reaches the platform any other way.
#pragma once

#include "platform/dialogs.h"
#include "platform/kernel.h"
#include "platform/registry.h"
#include "platform/security.h"
#include "platform/shell.h"
#include "platform/ui.h"

namespace platform {

struct Platform {
  Kernel& kernel;
  Registry& registry;
  Security& security;
  Ui& ui;
  Shell& shell;
  Dialogs& dialogs;
};

}  // namespace platform
