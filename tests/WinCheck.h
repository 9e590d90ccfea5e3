#pragma once

// The plain check harness of the test programs that run under Wine, where there is no GoogleTest:
// each check counts, a failed one prints what it was, and the totals end the run.
#include <cstdio>
#include <string>

namespace WinCheck {

inline int Passed = 0, Failed = 0;

inline void Check(bool ok, const std::string& what) {
  ++(ok ? Passed : Failed);
  if (!ok) std::printf("FAILED: %s\n", what.c_str());
}

// Prints the totals; the exit code of the run.
inline int Report() {
  std::printf("%d passed, %d failed\n", Passed, Failed);
  return Failed == 0 ? 0 : 1;
}

}  // namespace WinCheck
