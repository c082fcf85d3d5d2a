// SPDX-License-Identifier: MIT
// What both programs print for --version after their own name and the version.
#pragma once

#define KESTRIN_COPYRIGHT_LINES                                                                              \
    "Copyright (C) 2026 The Kestrin developers\n"                                                            \
    "License: MIT (the Expat licence)\n"                                                                     \
    "This is free software: you are free to change and redistribute it.\n"                                   \
    "There is NO WARRANTY, to the extent permitted by law.\n"
