// The phone's answers, bent by the input: wrong status, header bytes, lengths and data, short or
// failed transfers, answers that never come. Whatever arrives, the link never uses a closed
// handle, and a file read that reports success holds the phone's bytes unless the phone itself
// was made to answer with other data.
#include <cstdint>
#include <fstream>
#include <iterator>
#include <vector>

#include "FuzzCheck.h"
#include "P2KAPI.h"
#include "SimulatedKnobs.h"
#include "StatusPoster.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
const char* const kPhoneName = "/a/funlight.pat";

Bytes ReadLocal(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Bends the answer to the next command as the input says; true when it replaces the answer data.
bool Bend(FuzzSupport::TInput& in, TTestMachine& phone) {
  const std::uint8_t what = in.Byte();
  if (what & 0x80) {
    const TRequestKind kinds[] = {TRequestKind::Command, TRequestKind::Poll, TRequestKind::Fetch};
    TIoFault fault;
    fault.Kind = kinds[in.Byte() % 3];
    fault.Fault = (what & 0x40) ? TIoFaultKind::Short : TIoFaultKind::Fail;
    fault.Bytes = in.Word() % 1100;
    fault.Skip = in.Byte() % 4;
    phone.InjectIoFault(fault);
    return false;
  }
  if ((what & 0x7F) == 0) return false;
  TAnswerTweak tweak;
  if (what & 0x01) tweak.Status = in.Byte();
  if (what & 0x02) tweak.ReadyCode = in.Byte();
  if (what & 0x04) tweak.Byte4 = in.Byte();
  if (what & 0x08) tweak.PacketWord = in.Word();
  if (what & 0x10) tweak.KindByte = in.Byte();
  if (what & 0x20) tweak.LengthSkew = static_cast<std::int8_t>(in.Byte());
  if (what & 0x40) {
    Bytes data(in.Byte() % 64);
    for (std::uint8_t& b : data) b = in.Byte();
    tweak.Data = data;
  }
  phone.QueueTweak(tweak);
  return tweak.Data.has_value() || tweak.Status.has_value();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const auto local = FuzzSupport::ScratchPath("phone-copy.pat");
  FuzzSupport::TInput in(data, size);

  static P2KAPI::TFileList files;
  P2KAPI::PhoneFiles = &files;
  TTestMachine sim;
  TQueuedPoster poster;
  Bytes file(in.Word() % 3000);
  for (std::size_t i = 0; i < file.size(); ++i) file[i] = static_cast<std::uint8_t>(i * 7 + 3);
  sim.Phone().AddFile(kPhoneName, file);
  sim.Phone().SetSeem(0x32, 1, Bytes(100, 0x08));
  sim.Phone().Plug(TPhoneMode::P2K);
  {
    P2KAPI::TP2KAPI link(sim, poster);
    link.Start(false);
    link.DeviceHandle = link.FindP2KDevice("Motorola Test Command", 0x0102);
    FUZZ_CHECK(link.DeviceHandle != IPhonePlatform::kNoHandle);
    link.Connected = true;

    for (int step = 0; step < 4 && !in.Empty(); ++step) {
      bool bent = false;
      for (int n = in.Byte() % 3; n > 0; --n) bent = Bend(in, sim) || bent;
      switch (in.Byte() % 3) {
        case 0:
          std::filesystem::remove(local);
          if (link.ReadPhoneFile(local.string(), kPhoneName,
                                 static_cast<std::uint32_t>(file.size())) &&
              !bent)
            FUZZ_CHECK(ReadLocal(local) == file);
          break;
        case 1:
          link.FindPhoneFiles("*", true);
          break;
        default: {
          std::uint8_t buffer[256] = {};
          std::uint16_t got = sizeof buffer;
          if (link.ReadSeem(0x32, 1, 0, 100, buffer, got) && !bent)
            FUZZ_CHECK(Bytes(buffer, buffer + got) == Bytes(100, 0x08));
          break;
        }
      }
    }
  }
  poster.Pump();
  FUZZ_CHECK(sim.InvalidHandleUses() == 0);
  return 0;
}
