#include "cli/sources/xml_encodings.h"

namespace kestrin::cli {

void AddXmlEncodings() {}

}  // namespace kestrin::cli
