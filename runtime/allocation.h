// The program's own global allocation functions: a request that cannot be served becomes the
// out-of-memory runtime error once InstallOutOfMemoryReport has run.
#pragma once

namespace kestrin {

// Tests only: from now on every request through new fails, as when memory is exhausted.
void FailEveryAllocationForTesting();

}  // namespace kestrin
