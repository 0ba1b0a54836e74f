// Every statement of an event handler is a step of its own: a statement that
// fails is skipped without a word and the handler goes on with the next one.
#pragma once

#include <exception>

namespace guizzolo {

template <class Statement>
void step(Statement&& statement) {
  try {
    statement();
  } catch (const std::exception&) {
    // Skipped on purpose; the handler carries on.
  }
}

// The test of an If: a test that fails counts as held, so the then-branch runs.
template <class Test>
bool testHolds(Test&& test) {
  try {
    return test();
  } catch (const std::exception&) {
    return true;
  }
}

}  // namespace guizzolo
