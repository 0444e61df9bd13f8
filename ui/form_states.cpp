#include "ui/form_states.h"

#include <atomic>
#include <map>
#include <mutex>

namespace kestrin::ui {
namespace {

struct Published {
  std::atomic<std::uint64_t> generation{0};
  std::mutex mutex;
  std::map<std::string, std::shared_ptr<FormState>, std::less<>> states;
};

// Never freed: workers may still call in while the process ends.
Published& PublishedStates() {
  static auto* published = new Published;
  return *published;
}

}  // namespace

std::shared_ptr<FormState> FormStateOf(std::string_view window) {
  Published& published = PublishedStates();
  const std::lock_guard lock(published.mutex);
  const auto found = published.states.find(window);
  return found == published.states.end() ? nullptr : found->second;
}

void PublishFormState(const std::string& window, std::shared_ptr<FormState> state) {
  Published& published = PublishedStates();
  const std::lock_guard lock(published.mutex);
  published.states[window] = std::move(state);
  ++published.generation;
}

std::uint64_t FormStatesGeneration() { return PublishedStates().generation.load(); }

void WithdrawFormState(const std::string& window, const std::shared_ptr<FormState>& state) {
  {
    Published& published = PublishedStates();
    const std::lock_guard lock(published.mutex);
    const auto found = published.states.find(window);
    if (found != published.states.end() && found->second == state) published.states.erase(found);
    ++published.generation;
  }
  state->Close();
}

bool HasChangesToShow(std::string_view window) {
  const auto state = FormStateOf(window);
  return state != nullptr && state->HasPendingChanges();
}

}  // namespace kestrin::ui
