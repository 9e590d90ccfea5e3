// A document built from the input goes through the writer and the reader and comes back the same.
#include "DocSupport.h"
#include "FuzzCheck.h"

using namespace DocSupport;

static std::vector<TFunlight> Build(FuzzSupport::TInput& in) {
  std::vector<TFunlight> list;
  const int count = in.Byte() % 5;
  for (int i = 0; i < count; ++i) {
    const int kind = in.Byte() % 3;
    const uint8_t id = in.Byte();
    if (kind == 0) {
      const uint16_t head = in.Word();
      const bool repeating = in.Byte() & 1;
      std::vector<TFrame> frames(in.Byte() % 6);
      for (TFrame& frame : frames) {
        std::vector<TFrameCell> cells(in.Byte() % 8);
        for (TFrameCell& c : cells)
          c = Cell(in.Byte() % 8, in.Byte() % 16, in.Byte() % 16, in.Byte() % 16);
        frame = Frame(in.Word(), std::move(cells));
      }
      // Only a repeating funlight stores its last frame's duration.
      if (!repeating && !frames.empty()) frames.back().Duration = 0;
      list.push_back(Normal(id, head, repeating, std::move(frames)));
    } else if (kind == 1) {
      const int steps = in.Byte() % 5;
      std::vector<TClubFrame> rows(in.Byte() % 4);
      for (TClubFrame& row : rows) {
        const uint8_t element = in.Byte() % 8;
        const uint16_t upper = in.Word();
        const uint16_t lower = in.Word();
        std::vector<TClubCell> cells(steps);
        for (TClubCell& c : cells)
          c = TClubCell{static_cast<uint8_t>(in.Byte() % 16), static_cast<uint8_t>(in.Byte() % 16),
                        static_cast<uint8_t>(in.Byte() % 16), in.Byte()};
        row = Row(element, upper, lower, std::move(cells));
      }
      // The step count is that of the rows; a clublight without rows has none.
      list.push_back(Club(id, std::move(rows)));
    } else {
      Bytes raw(in.Byte() % 16);
      for (uint8_t& b : raw) b = in.Byte();
      list.push_back(
          Other(static_cast<uint8_t>(3 + in.Byte() % 253), id, in.Byte(), std::move(raw)));
    }
  }
  return list;
}

static std::string Content() {
  std::vector<TFunlight> list = FunList;
  for (TFunlight& f : list) f.Size = 0;
  return Describe(list);
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const auto path = FuzzSupport::ScratchPath("written.pat");
  FuzzSupport::TInput in{data, size};
  ResetDocument();
  SetDocument(Build(in));
  const std::string content = Content();
  WritePat(path);
  ResetDocument();
  FUZZ_CHECK(ReadPat(path));
  FUZZ_CHECK(Content() == content);
  return 0;
}
