#pragma once
// The boundary every host call passes: whatever a call raises is caught here,
// written to the log as an operation failure, remembered as the calling
// thread's last error, and turned into a null result. Nothing escapes to the
// host.
#include <exception>
#include <new>
#include <optional>
#include <string>
#include <string_view>

#include "entry/FailureLog.h"

namespace kelvo::entry {

// The calling thread's last contained failure, cleared when a call begins.
void ClearLastError() noexcept;
void SetLastError(std::string_view message) noexcept;
const std::optional<std::string>& LastError() noexcept;
// The last error as a new result string; null when there is none, or no
// memory for the copy.
char* LastErrorResultString() noexcept;

// Logs and remembers a failure; the target is computed only when needed.
template <class TargetSource>
void ReportFailure(std::string_view message, TargetSource&& target) noexcept {
  SetLastError(message);
  try {
    WriteOperationFailure(target(), message);
  } catch (...) {  // a target source that fails leaves the failure unlogged
  }
}

// Runs `body` and returns its result, or `failed` after reporting whatever it
// raised. `target` yields the FailureLogTarget to log to.
template <class Result, class Body, class TargetSource>
Result Contained(Result failed, Body&& body, TargetSource&& target) noexcept {
  ClearLastError();
  try {
    return body();
  } catch (const std::bad_alloc&) {
    ReportFailure("Out of memory while running the operation", target);
  } catch (const std::exception& error) {
    ReportFailure(error.what(), target);
  } catch (...) {
    ReportFailure("Unknown failure while running the operation", target);
  }
  return failed;
}

}  // namespace kelvo::entry
