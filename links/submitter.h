// The link submitter.
#pragma once

#include <atomic>

#include "runtime/controls.h"

namespace kestrin {

// Successful submissions since the program started; shared by both submit buttons.
extern std::atomic<int> SubmittedTotal;

// One submission run: POSTs every CR LF separated line of `listBox` to the address in 编辑框9
// (read before each request), reports successes in status-bar part 1 and appends failures to
// `failureBox`. A line succeeds only when IsAcceptedAnswer says so of the answer and its HTTP
// status; each answer may take 30 s and 64 KiB at most.
void SubmitLinks(Controls& form, ControlName listBox, ControlName failureBox);

}  // namespace kestrin
