// The window service under the name graph/ includes; the contract is platform/Window.h.
#pragma once

#include "platform/Window.h"
