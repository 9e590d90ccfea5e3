// A phone pulled out while a transfer runs: the transfer fails through its own error paths and
// the watcher closes the interface only when no transfer uses it.
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "PhoneTestSupport.h"

namespace fs = std::filesystem;

namespace {

const std::string kPat = "/a/funlight.pat";

fs::path LocalFile(const std::string& tag) {
  return fs::temp_directory_path() /
         ("glowsmith-unplug-" + std::to_string(::getpid()) + "-" + tag + ".pat");
}

Bytes ReadLocal(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

struct UnplugCase {
  TRequestKind kind;
  int skip;     // matching requests that go through before the phone is pulled out
  bool readOk;  // only an unplug during the final close leaves the read successful
  std::size_t bytesKept;
};

class UnplugDuringTransfer : public PhoneLinkTest,
                             public ::testing::WithParamInterface<UnplugCase> {};

TEST_P(UnplugDuringTransfer, FailsTheTransferAndReportsThePhoneGone) {
  const UnplugCase c = GetParam();
  const Bytes content = Pattern(5000);
  Sim.Phone().AddFile(kPat, content);
  Sim.Phone().Plug(TPhoneMode::P2K);
  Link->Start(true);
  ASSERT_TRUE(RunUntilStatuses(2, 5000));
  Link->Connected = true;
  const THandle device = Link->CurrentDevice();
  ASSERT_NE(device, IPhonePlatform::kNoHandle);

  Sim.InjectIoFault({c.kind, TIoFaultKind::Unplug, 0, c.skip});
  const fs::path local =
      LocalFile(std::to_string(static_cast<int>(c.kind)) + "-" + std::to_string(c.skip));
  fs::remove(local);
  EXPECT_EQ(Link->ReadPhoneFile(local.string(), kPat, 5000), c.readOk);
  const Bytes kept = ReadLocal(local);
  EXPECT_EQ(kept, Bytes(content.begin(), content.begin() + static_cast<long>(c.bytesKept)));

  ASSERT_TRUE(RunUntilStatuses(3, 2000));
  EXPECT_EQ(Statuses, (std::vector<int>{0, 1, 0}));
  EXPECT_EQ(Link->CurrentDevice(), IPhonePlatform::kNoHandle);
  std::size_t closes = 0;
  for (const auto& r : Calls(TSimCall::CloseHandle)) closes += r.Handle == device;
  EXPECT_EQ(closes, 1u);

  // Back again, the same read goes through.
  Sim.Phone().Plug(TPhoneMode::P2K);
  ASSERT_TRUE(RunUntilStatuses(4, 5000));
  EXPECT_TRUE(Link->ReadPhoneFile(local.string(), kPat, 5000));
  EXPECT_EQ(ReadLocal(local), content);
  fs::remove(local);
}

INSTANTIATE_TEST_SUITE_P(Phone, UnplugDuringTransfer,
                         ::testing::Values(UnplugCase{TRequestKind::Command, 0, false, 0},
                                           UnplugCase{TRequestKind::Command, 1, false, 0},
                                           UnplugCase{TRequestKind::Poll, 2, false, 1024},
                                           UnplugCase{TRequestKind::Fetch, 2, false, 1024},
                                           UnplugCase{TRequestKind::Command, 6, true, 5000}));

// The same on real time, with the phone pulled out from another thread at an arbitrary moment.
TEST(UnplugDuringTransferRealTime, TransfersAndTheWatcherNeverShareTheHandle) {
  TTestMachine sim(TClockMode::RealTime);
  TQueuedPoster poster;
  const Bytes content = Pattern(65536);
  sim.Phone().AddFile(kPat, content);
  sim.Phone().Plug(TPhoneMode::P2K);
  const fs::path local = LocalFile("realtime");
  {
    P2KAPI::TP2KAPI link(sim, poster);
    std::vector<int> statuses;
    link.OnStatus = [&](int s) { statuses.push_back(s); };
    link.Start(true);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (poster.Pending() < 2 && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    poster.Pump();
    ASSERT_EQ(statuses, (std::vector<int>{0, 1}));
    link.Connected = true;

    std::thread unplug([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(15));
      sim.Phone().Unplug();
    });
    int reads = 0;
    while (link.ReadPhoneFile(local.string(), kPat, 65536) && reads < 100) ++reads;
    unplug.join();
    EXPECT_LT(reads, 100);
    const auto gone = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (poster.Pending() < 1 && std::chrono::steady_clock::now() < gone) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    poster.Pump();
    EXPECT_EQ(statuses, (std::vector<int>{0, 1, 0}));
    EXPECT_EQ(link.CurrentDevice(), IPhonePlatform::kNoHandle);
  }
  EXPECT_EQ(sim.InvalidHandleUses(), 0);
  fs::remove(local);
}
