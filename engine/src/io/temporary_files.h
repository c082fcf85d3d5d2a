// SPDX-License-Identifier: MIT
#pragma once

#include <filesystem>

namespace kestrin {

// The prefix every temporary file of a replace of `target` starts with: ".kestrin-", then 16 hex digits
// that stand for the target's name (a hash of it), then "-".
[[nodiscard]] std::string TemporaryPrefix(const std::filesystem::path& target);

// A name for a new temporary file beside `target`: its prefix, 6 random letters or digits and ".tmp",
// 36 bytes in all, so that it fits in a folder whatever the length of the target's own name.
[[nodiscard]] std::filesystem::path TemporaryName(const std::filesystem::path& target);

// Removes what earlier runs, killed while they replaced `target`, left in its folder: files whose names
// have the target's prefix and the temporary form (or the form of earlier versions, "." + the target's
// name + ".PID.N.RANDOM.tmp"), regular files of this user, last changed over a minute
// ago (a run that is writing one now changes it within that time). Nothing else is touched; a file that
// cannot be removed stays. Returns how many were removed.
int RemoveLeftovers(const std::filesystem::path& target);

} // namespace kestrin
