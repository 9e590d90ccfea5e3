// Any bytes as a JSON document: a refused read says why and leaves the funlights as they were; an
// accepted one writes JSON that reads as the same funlights and writes the same text again.
#include "DocSupport.h"
#include "FuzzCheck.h"
#include "PatJson.h"

using namespace DocSupport;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<TFunlight> kept = {Normal(0x01, 7, true, {Frame(100, {Cell(1, 1, 2, 3)})})};
  std::vector<TFunlight> list = kept;
  std::string error;
  if (!PatJson::Read(std::string(reinterpret_cast<const char*>(data), size), list, error)) {
    FUZZ_CHECK(!error.empty() && Describe(list) == Describe(kept));
    return 0;
  }
  const std::string first = PatJson::Write(list);
  std::vector<TFunlight> again;
  FUZZ_CHECK(PatJson::Read(first, again, error));
  FUZZ_CHECK(Describe(again) == Describe(list));
  FUZZ_CHECK(PatJson::Write(again) == first);
  return 0;
}
