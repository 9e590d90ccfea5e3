// Any bytes as a PAT file: a refused read leaves the document as it was; a successful one writes
// back to a file that reads as the same document and writes the same bytes again.
#include "DocSupport.h"
#include "FuzzCheck.h"

using namespace DocSupport;

// The document without what the writer works out anew: the sizes, and the last duration of a
// funlight that does not repeat, which a file may carry but is never written.
static std::string Content() {
  std::vector<TFunlight> list = FunList;
  for (TFunlight& f : list) {
    f.Size = 0;
    if (f.FunType == NormalType && !f.Repeating && !f.Frames.empty()) f.Frames.back().Duration = 0;
  }
  return Describe(list);
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const auto input = FuzzSupport::ScratchPath("input.pat");
  static const auto first = FuzzSupport::ScratchPath("first.pat");
  static const auto second = FuzzSupport::ScratchPath("second.pat");
  WriteBytes(input, {data, data + size});

  SetDocument({Normal(0x01, 7, true, {Frame(100, {Cell(1, 1, 2, 3)})})});
  FunFile.FileName = "kept.pat";
  const std::string before = Describe(FunList);

  bool read = false;
  try {
    read = ReadPat(input);
  } catch (const EInOutError&) {
  }
  FUZZ_CHECK(read ||
             (Describe(FunList) == before && FunFile.FileName == "kept.pat" && FunFile.Count == 1));
  if (!read) return 0;

  const std::string content = Content();
  WritePat(first);
  ResetDocument();
  FUZZ_CHECK(ReadPat(first));
  FUZZ_CHECK(Content() == content);
  WritePat(second);
  FUZZ_CHECK(ReadBytes(first) == ReadBytes(second));
  return 0;
}
