// The boundary between an engine and whoever drives it (a front end, a
// worker thread): nothing thrown inside an engine crosses it.
//
// Engine code reports its own failures as codes; what can still throw there
// is the standard library, above all an allocation that failed on a huge or
// damaged medium. Such a throw becomes 8 (not enough memory), so that a
// caller never mistakes it for a finished run and a worker never dies of it.
#pragma once

#include <utility>

#include "platform/error_code.h"

namespace vexlo {

// Runs `call` (returning an ErrorCode) and hands back its result, or 8 when
// it threw.
template <class Call>
ErrorCode GuardedCall(Call&& call) noexcept {
  try {
    return std::forward<Call>(call)();
  } catch (...) {
    return err::kNotEnoughMemory;
  }
}

}  // namespace vexlo
