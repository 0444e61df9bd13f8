#include <iostream>

#include "cli/commands.h"

namespace kestrin::cli {

int RunSitemap(const std::vector<std::string>& sources, const SourceOptions& options) {
  const SourceAddresses read = ReadSources(sources, options, FetchSource, std::cin);
  for (const std::string& address : read.addresses) std::cout << address << '\n';
  std::cout.flush();
  for (const std::string& error : read.errors) std::cerr << "kestrin-cli: " << error << '\n';
  for (const InvalidEntry& entry : read.invalid) {
    std::cerr << "kestrin-cli: " << entry.source << ": not an http(s) address: " << entry.entry << '\n';
  }
  return read.errors.empty() && read.invalid.empty() && std::cout.good() ? 0 : 1;
}

}  // namespace kestrin::cli
