// The character sets the XML reader knows beyond UTF-8, UTF-16 and Latin-1 (linux/, windows/
// xml_encodings.cpp): on Linux libxml2 reaches them all through iconv; the Windows build's libxml2
// has no iconv, and reads the Chinese and other East Asian sets through Windows' code pages.
#pragma once

namespace kestrin::cli {

// Makes the sets known to libxml2; once per process, before the first document.
void AddXmlEncodings();

}  // namespace kestrin::cli
