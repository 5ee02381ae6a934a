#pragma once
// Kept under this name for the transport benchmark, which includes it by this
// path; the header itself is tests/support/LoopbackServer.h.
#include "../support/LoopbackServer.h"
