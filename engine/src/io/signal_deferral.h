// SPDX-License-Identifier: MIT
#pragma once

namespace kestrin {

// While one lives, the signals that end a program (SIGINT, SIGTERM, SIGHUP, SIGQUIT) are held back
// and the ones that a write itself can raise (SIGPIPE, SIGXFSZ) are ignored, so that the writes in its
// scope finish and clean up; a held-back signal is raised again, with the program's own disposition,
// when the last one ends. The handlers do not restart system calls: a write blocked on a pipe returns
// EINTR when a signal comes, and the write decides whether to go on (a regular file) or to stop.
class SignalDeferral
{
public:
    SignalDeferral();
    SignalDeferral(const SignalDeferral&) = delete;
    SignalDeferral& operator=(const SignalDeferral&) = delete;
    ~SignalDeferral();

    // Whether a signal that ends the program came and is being held back.
    [[nodiscard]] static bool SignalHeld();
    // Takes the held signal as answered, so that it is not raised again: a write to a pipe that the
    // signal interrupted fails, and the run ends with that failure instead.
    static void AnswerHeldSignal();
};

} // namespace kestrin
