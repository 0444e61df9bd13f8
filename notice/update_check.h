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

// Reads the notice page once, puts the latest version in the caption and, when it is a different
// version, notes it in bb.ini (SettingsFilePath), says so and opens a pop-up address drawn from
// that same reading. A page that cannot be read or names no version leaves the bare caption and
// does nothing else; so does a version longer than 64 bytes or holding a control byte. A settings
// file that cannot be written is reported on standard error, and the check goes on. Returns the
// page as read (GBK; empty when unreadable), from which the start draws the notice window's
// address. The reading may take 3 s and 512 KiB.
[[nodiscard]] Text CheckForUpdate(Controls& form);

// The pop-up prefix of the notice page `page` (GBK) followed by a number 3..30 and ".html"; empty
// when the page names no prefix, or one longer than 2000 bytes or holding a control byte. Each
// call draws a new number.
[[nodiscard]] Text PopupAddressFrom(const Text& page);

// PopupAddressFrom a new reading of the notice page.
[[nodiscard]] Text GetPopupAddress();

}  // namespace kestrin
