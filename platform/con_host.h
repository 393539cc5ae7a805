// The console service under the name graph/ and console/ include; the contract is
// platform/Console.h.
#pragma once

#include "platform/Console.h"
