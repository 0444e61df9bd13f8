// The publisher's notice page: the latest version and the pop-up address.
#pragma once

#include "runtime/controls.h"
#include "web/address.h"  // IsOpenableAddress, which every caller of OpenAddress asks first

namespace kestrin {

// The program's own version.
inline constexpr const char* LocalVersion = "v1.0";

// The version read by the latest CheckForUpdate (window thread only).
[[nodiscard]] const Text& RemoteVersion();
// Releases RemoteVersion at exit.
void ExitCleanup();

// The notice page's address, fixed when the program is built.
[[nodiscard]] Text NoticePageAddress();
// Points NoticePageAddress at a local test server; an empty text restores the built-in address.
void SetNoticePageAddressForTesting(const Text& address);

// Reads the notice page, puts the latest version in the caption and, when it is a different
// version, notes it in bb.ini, says so and opens the pop-up address. A page that cannot be read
// or names no version leaves the bare caption and does nothing else; so does a version longer
// than 64 bytes or holding a control byte. Each read of the page may take 3 s and 512 KiB.
void CheckForUpdate(Controls& form);

// The pop-up prefix from the notice page followed by a number 3..30 and ".html"; empty when the
// page names no prefix, or one longer than 2000 bytes or holding a control byte.
[[nodiscard]] Text GetPopupAddress();

}  // namespace kestrin
