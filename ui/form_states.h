// Each loaded window's form state, published for any thread: the workers find a window's state
// here by its name without waiting on the window thread. Every function may be called from any
// thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "ui/form_state.h"

namespace kestrin::ui {

// The form state of a loaded window, or nullptr; published while it is loaded.
[[nodiscard]] std::shared_ptr<FormState> FormStateOf(std::string_view window);
// Changes whenever a form state is published or withdrawn, so that callers may keep one.
[[nodiscard]] std::uint64_t FormStatesGeneration();
// Makes `state` the one FormStateOf finds for `window`, in place of any earlier one.
void PublishFormState(const std::string& window, std::shared_ptr<FormState> state);
// Takes `state` back and closes it; a newer state published for the same name stays.
void WithdrawFormState(const std::string& window, const std::shared_ptr<FormState>& state);

// Whether changes made off the window thread still wait to be shown in `window`; they are shown
// at the window's next frame.
[[nodiscard]] bool HasChangesToShow(std::string_view window);

}  // namespace kestrin::ui
