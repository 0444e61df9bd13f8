// The list-page collector.
#pragma once

#include <atomic>

#include "runtime/controls.h"

namespace kestrin {

// Addresses collected since the program started; never reset, shared by overlapping runs.
extern std::atomic<int> CollectedTotal;

// One collection run: reads the collection page's boxes at the moments it needs them, appends
// every address found to 编辑框8 and reports progress in status-bar part 1.
void CollectLinks(Controls& form);

}  // namespace kestrin
