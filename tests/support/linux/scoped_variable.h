// An environment variable set or unset for the life of the object, then put back as it was.
#pragma once

#include <cstdlib>
#include <optional>
#include <string>

namespace kestrin::testsupport {

class ScopedVariable {
 public:
  // `value` nullptr unsets the variable.
  ScopedVariable(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    Put(value);
  }
  ~ScopedVariable() { Put(old_ ? old_->c_str() : nullptr); }
  ScopedVariable(const ScopedVariable&) = delete;
  ScopedVariable& operator=(const ScopedVariable&) = delete;

 private:
  void Put(const char* value) {
    if (value != nullptr) {
      ::setenv(name_.c_str(), value, 1);
    } else {
      ::unsetenv(name_.c_str());
    }
  }

  std::string name_;
  std::optional<std::string> old_;
};

}  // namespace kestrin::testsupport
