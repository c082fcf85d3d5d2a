// SPDX-License-Identifier: MIT
#pragma once

// The file code, one header per job: reading, file identity and links, safe writes (through the
// replaceable table of write_calls.h), and the deferral of signals over the writes.
#include "io/file_identity.h"
#include "io/file_reading.h"
#include "io/safe_write.h"
#include "io/signal_deferral.h"
#include "io/write_calls.h"
