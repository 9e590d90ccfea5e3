// The phone's answers, bent by the input: wrong status, header bytes, lengths and data, short or
// failed transfers, answers that never come. Whatever arrives, the link never uses a closed
// handle, and a file read that reports success holds the phone's bytes unless the phone itself
// was made to answer with other data.
#include "DocSupport.h"
#include "FuzzCheck.h"
#include "P2KAPI.h"
#include "SimulatedKnobs.h"
#include "StatusPoster.h"

using DocSupport::Bytes;
const char* const kPhoneName = "/a/funlight.pat";

// Bends the answer to the next command as the input says; true when it replaces the answer data.
static bool Bend(FuzzSupport::TInput& in, TTestMachine& phone) {
  const std::uint8_t what = in.Byte();
  if (what & 0x80) {
    const TRequestKind kinds[] = {TRequestKind::Command, TRequestKind::Poll, TRequestKind::Fetch};
    const TRequestKind kind = kinds[in.Byte() % 3];
    const std::uint32_t bytes = in.Word() % 1100;
    const auto fault = (what & 0x40) ? TIoFaultKind::Short : TIoFaultKind::Fail;
    phone.InjectIoFault({.Kind = kind, .Fault = fault, .Skip = in.Byte() % 4, .Bytes = bytes});
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
    tweak.Data.emplace(in.Byte() % 64);
    for (std::uint8_t& b : *tweak.Data) b = in.Byte();
  }
  phone.QueueTweak(tweak);
  return tweak.Data.has_value() || tweak.Status.has_value();
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const auto local = FuzzSupport::ScratchPath("phone-copy.pat");
  FuzzSupport::TInput in{data, size};

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
          FUZZ_CHECK(!link.ReadPhoneFile(local.string(), kPhoneName, file.size()) || bent ||
                     DocSupport::ReadBytes(local) == file);
          break;
        case 1:
          link.FindPhoneFiles("*", true);
          break;
        default: {
          std::uint8_t buffer[256] = {};
          std::uint16_t got = sizeof buffer;
          FUZZ_CHECK(!link.ReadSeem(0x32, 1, 0, 100, buffer, got) || bent ||
                     Bytes(buffer, buffer + got) == Bytes(100, 0x08));
          break;
        }
      }
    }
  }
  poster.Pump();
  FUZZ_CHECK(sim.InvalidHandleUses() == 0);
  return 0;
}
