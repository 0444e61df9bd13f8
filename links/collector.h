// The list-page collector.
#pragma once

#include <atomic>
#include <functional>

#include "runtime/controls.h"

namespace kestrin {

// Addresses collected since the program started; never reset, shared by overlapping runs.
extern std::atomic<int> CollectedTotal;

// How a page is read: its address in, its text out (empty when it could not be read).
using PageReader = std::function<Text(const Text& address)>;

// One collection run: reads the collection page's boxes at the moments it needs them, appends
// every address found to 编辑框8 and reports progress in status-bar part 1. Pages are read with
// FetchPageText unless `readPage` is given (the command-line tool notes failed pages with it).
void CollectLinks(Controls& form, const PageReader& readPage = nullptr);

}  // namespace kestrin
