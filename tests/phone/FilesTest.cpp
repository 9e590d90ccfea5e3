// Phone files, the file list, seem bytes, a phone pulled out during a transfer, and the simulated
// phone's seed folder.
#include <unistd.h>

#include <cmath>

#include "DocSupport.h"
#include "InOutError.h"
#include "PhoneCopy.h"
#include "PhoneTestSupport.h"

namespace fs = std::filesystem;
using DocSupport::ReadBytes;

const std::string kPat = "/a/funlight.pat";

class PhoneFiles : public PhoneLinkOnBothTest {
 protected:
  void SetUp() override {
    PhoneLinkOnBothTest::SetUp();
    Sim.Phone().AddFile(kPat, Content);
    ConnectDirect();
  }
  std::vector<long> Subs() {
    std::vector<long> subs;
    for (const auto& c : Sim.Commands()) subs.push_back(c.SubCommand());
    return subs;
  }
  DocSupport::TTempDir Dir;
  const Bytes Content = Pattern(3000, 9);
  const std::string Local = (Dir / "funlight.pat").string();
};
INSTANTIATE_TEST_SUITE_P(Platforms, PhoneFiles, testing::Bool());

// Written in chunks of 1024 bytes padded to 1032, read back in chunks of 1024, with progress.
TEST_P(PhoneFiles, WriteAndReadInChunks) {
  for (const std::size_t size : {2500u, 1025u, 1u}) {
    const Bytes content = Pattern(size, 3);
    DocSupport::WriteBytes(Local, content);
    Sim.Clear(), Progress.clear();
    ASSERT_TRUE(Link->WritePhoneFile(Local, kPat, false, 0xFF));
    EXPECT_EQ(Link->FileSize, 0u);  // a write opens with size 0
    ASSERT_TRUE(Link->ReadPhoneFile(Local, kPat, static_cast<std::uint32_t>(size)));
    EXPECT_EQ(std::tuple(Sim.Phone().File(kPat), ReadBytes(Local)), std::tuple(content, content));
    const auto commands = Sim.Commands();
    const std::size_t chunks = (size + 1023) / 1024;
    ASSERT_EQ(commands.size(), 4 + 2 * chunks);
    for (std::size_t i = 0; i < chunks; ++i) {
      const std::size_t n = std::min<std::size_t>(size - 1024 * i, 1024);
      Bytes sent = {0, 0, 0, 2, 0, 0, std::uint8_t(n >> 8), std::uint8_t(n)};
      sent.insert(sent.end(), content.begin() + 1024 * i, content.begin() + 1024 * i + n);
      sent.resize(1032, 0);
      EXPECT_EQ(commands[1 + i].Data, sent);
      sent[3] = 1;  // the read of the same chunk
      EXPECT_EQ(commands[chunks + 3 + i].Data, Bytes(sent.begin(), sent.begin() + 8));
    }
    ASSERT_EQ(Progress.size(), 2 * chunks + 4);
    EXPECT_EQ(
        std::tie(Progress[0], Progress[1], Progress[chunks], Progress[chunks + 1], Progress.back()),
        std::tuple(0, std::lround(std::min<std::size_t>(size, 1024) * 100.0 / size), 100, 0, 0));
  }
}

TEST_P(PhoneFiles, ShortOrFailedReadKeepsTheBytesReceivedAndClosesThePhoneFile) {
  EXPECT_FALSE(Link->ReadPhoneFile(Local, kPat, 5000));
  EXPECT_EQ(std::tuple(Subs(), ReadBytes(Local), Link->LastFailure),
            std::tuple(std::vector<long>{0, 1, 1, 1, 4}, Content, BadAnswer));
  Sim.Clear();
  Sim.InjectIoFault({TRequestKind::Command, TIoFaultKind::Fail, 0, 2});
  EXPECT_FALSE(Link->ReadPhoneFile(Local, kPat, 3000));
  EXPECT_EQ(std::tuple(Subs(), ReadBytes(Local).size()),
            std::tuple(std::vector<long>{0, 1, 4}, 1024u));
  Sim.Clear();
  EXPECT_THROW(Link->WritePhoneFile((Dir / "absent").string(), kPat, false, 0xFF), EInOutError);
  EXPECT_EQ(Subs(), (std::vector<long>{0, 4}));
  Sim.QueueTweak({.Command = 0x4A, .SubCommand = 0, .Status = 9});
  EXPECT_FALSE(Link->ReadPhoneFile(Local, kPat, 10));  // refused open
}

TEST_P(PhoneFiles, ReadNeverWritesThroughALinkAndKeepsItsCopyPrivate) {
  const fs::path victim = Dir / "victim.txt", link = Dir / "link.pat";
  std::ofstream(victim) << "keep";
  for (const fs::path& target : {victim, Dir / "absent.txt"}) {
    fs::remove(link);
    fs::create_symlink(target, link);
    EXPECT_THROW(Link->ReadPhoneFile(link.string(), kPat, 10), EInOutError);
  }
  EXPECT_EQ(std::tuple(ReadBytes(victim), fs::exists(Dir / "absent.txt")),
            std::tuple(Bytes{'k', 'e', 'e', 'p'}, false));
  const int input = dup(0);  // without standard input the copy is opened as descriptor 0
  close(0);
  const bool read = Link->ReadPhoneFile(Local, kPat, 10);
  dup2(input, 0), close(input);
  ASSERT_TRUE(read);
  EXPECT_EQ(fs::status(Local).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
  // The copy folder is made private; one that others may enter, a link, a file or another
  // user's folder is refused.
  const unsigned user = getuid();
  const std::string base = Dir.Path().string() + "/";
  const fs::path folder = Dir / ("glowsmith-" + std::to_string(user));
  EXPECT_EQ(PhoneCopy::PrivateFolder(base), folder.string() + "/");
  EXPECT_EQ(fs::status(folder).permissions() & fs::perms::all, fs::perms::owner_all);
  EXPECT_THROW(PhoneCopy::PrivateFolder(base, user + 1), PhoneCopy::EUnsafeFolder);
  fs::permissions(folder, fs::perms::others_exec, fs::perm_options::add);
  EXPECT_THROW(PhoneCopy::PrivateFolder(base), PhoneCopy::EUnsafeFolder);
  fs::remove(folder);
  fs::create_directory_symlink(Dir.Path(), folder);
  EXPECT_THROW(PhoneCopy::PrivateFolder(base), PhoneCopy::EUnsafeFolder);
}

// Open: status 9 refuses, 0 closes and opens again; close fails only on status 1.
TEST_P(PhoneFiles, OpenAndCloseStatus) {
  for (const auto& [status, ok, subs] : std::vector<std::tuple<int, bool, std::vector<long>>>{
           {0, true, {0, 4, 0}}, {9, false, {0}}, {10, true, {0}}}) {
    Sim.Clear();
    Sim.QueueTweak({.Command = 0x4A, .SubCommand = 0, .Status = static_cast<std::uint8_t>(status)});
    EXPECT_EQ(Link->OpenPhoneFile(kPat, 1234, 0x20), ok);
    const Bytes open = Sim.Commands().at(0).Data;
    EXPECT_EQ(std::tuple(Link->FileSize, Subs(), Bytes(open.begin(), open.begin() + 9)),
              std::tuple(ok ? 1234u : 0u, subs, Bytes{0, 0, 0, 0, 0, 0, 0, 0x20, '/'}));
  }
  EXPECT_EQ(Link->LastFailure, Refused);
  for (const std::uint8_t status : {1, 0, 2}) {
    Sim.QueueTweak({.Status = status});
    EXPECT_EQ(Link->ClosePhoneFile(), status != 1);
  }
}

TEST_P(PhoneFiles, SevenFilesAreListedInThreeAnswers) {
  for (int i = 1; i <= 6; ++i)
    Sim.Phone().AddFile("/a/f" + std::to_string(i) + ".pat", Pattern(10));
  Sim.Phone().AddFile("/c/f8.pat", Pattern(5));
  const std::string pattern = P2KAPI::MakeSearchPattern("/a/|*.pat");
  ASSERT_TRUE(Link->FindPhoneFiles(pattern, true));
  ASSERT_EQ(Files.Count(), 7);
  Bytes search = {0, 0, 0, 7};
  search.insert(search.end(), pattern.begin(), pattern.end());
  EXPECT_EQ(std::tuple(Sim.Commands().at(0).Data, Sim.Commands().at(3).Data, Progress),
            std::tuple(search, Bytes{0, 0, 0, 8, 3}, std::vector{43, 86, 100, 0}));
  EXPECT_EQ(Link->SearchPhoneFiles(P2KAPI::FunlightPattern2, true),
            P2KAPI::TSearchResult::NotFound);
  EXPECT_TRUE(Link->FindPhoneFiles(P2KAPI::FunlightPattern1, true));
  EXPECT_EQ(Files.Count(), 1);  // exactly one
}

TEST_P(PhoneFiles, SeemBytes) {
  Bytes record(128, 0);
  record[99] = 0x08, record[100] = 0x44;
  Sim.Phone().SetSeem(0x32, 1, record);
  std::uint8_t buffer[2] = {0xEE, 0xEE};
  std::uint16_t size = 1;
  EXPECT_FALSE(Link->ReadSeem(0x32, 1, 99, 2, buffer, size));
  EXPECT_EQ(std::tuple(size, Link->LastError, Link->LastFailure),
            std::tuple(2, "Buffer too small", BadAnswer));
  EXPECT_TRUE(Link->ReadSeem(0x32, 1, 99, 2, buffer, size));
  EXPECT_EQ(std::tuple(Sim.Commands().at(0).Data, buffer[0], buffer[1], size),
            std::tuple(Bytes{0, 0x32, 0, 1, 0, 99, 0, 2}, 0x08, 0x44, 2));
  Sim.QueueTweak({.Data = Bytes{}});
  EXPECT_FALSE(Link->ReadSeem(0x32, 1, 99, 1, buffer, size));
  EXPECT_EQ(Link->LastFailure, BadAnswer);
  Sim.Clear();
  ASSERT_TRUE(Link->WriteSeem(0x32, 1, 89, 1, buffer));
  EXPECT_EQ(Sim.Commands().at(0).Data, (Bytes{0, 0x32, 0, 1, 0, 89, 0, 1, 0x08}));
  EXPECT_FALSE(Link->WriteSeem(0x33, 1, 89, 1, buffer));
  EXPECT_EQ(std::tuple(Link->LastError, Link->LastFailure),
            std::tuple("No seem or access denided", Refused));
  EXPECT_FALSE(Link->WriteSeem(0x32, 1, 0, 1025, Pattern(1025).data()));  // more than one request
  Sim.InjectIoFault({TRequestKind::Command, TIoFaultKind::Fail});
  EXPECT_FALSE(Link->WriteSeem(0x32, 1, 89, 1, buffer));  // not delivered
}

// Pulled out during a transfer: the transfer fails through its own error path, the watcher
// closes the interface once, and the same read goes through when the phone is back. Over USB it
// is claimed for transfers (a bound kernel driver gives way) and given back when hot-plug, or
// the look each second, finds the phone gone.
TEST_P(PhoneFiles, UnplugDuringTransfer) {
  using enum TRequestKind;
  Platform().CloseHandle(Link->DeviceHandle);
  Link->DeviceHandle = P::kNoHandle;
  Link->Start(true);
  if (Usb) Usb->KernelDriver = true;
  // clang-format off
  for (const auto& [kind, skip, kept] : {std::tuple{Command, 1, 0u}, std::tuple{Poll, 2, 1024u},
       std::tuple{Fetch, 2, 1024u}, std::tuple{Command, 4, 3000u}}) {
    // clang-format on
    ASSERT_TRUE(Sim.AdvanceUntil([&] { return Poster.Pump(), Statuses.back() == 1; }, 5000));
    const THandle device = Link->CurrentDevice();
    Link->Connected = true;
    Sim.InjectIoFault({kind, TIoFaultKind::Unplug, 0, skip});
    EXPECT_EQ(Link->ReadPhoneFile(Local, kPat, 3000), kept == 3000);
    EXPECT_EQ(ReadBytes(Local), Bytes(Content.begin(), Content.begin() + kept));
    ASSERT_TRUE(Sim.AdvanceUntil([&] { return Poster.Pump(), Statuses.back() == 0; }, 2000));
    EXPECT_EQ(Link->CurrentDevice(), P::kNoHandle);
    EXPECT_EQ(Calls(TSimCall::CloseHandle).back().Handle, Usb ? Usb->LastOpen : device);
    Sim.Phone().Plug(TPhoneMode::P2K);
    if (Usb) Usb->Hotplug = !Usb->Hotplug;
  }
  std::vector<std::string> calls;  // four connections, each claimed by its transfers
  for (int i = 0; i < 4; ++i)
    calls.insert(calls.end(), {"detach 8", "claim 8", "release 8", "attach 8"});
  EXPECT_EQ(std::tuple(Usb ? Usb->Calls : calls, LoggedLine("Removal key unavailable")),
            std::tuple(calls, false));
}

TEST(SimulatedPhoneSeed, LoadsFilesAndSeemsAndSavesThemBack) {
  const DocSupport::TTempDir seed;
  const auto dir = seed / "seed";
  std::filesystem::create_directories(dir / "c");
  std::ofstream(dir / "funlight.pat") << "pat";
  std::ofstream(dir / "c" / "other.bin") << "bin";
  std::ofstream(dir / "seems.txt") << "# options\n0x0032 1 89 08  # C380\n0x32 1 010 0C\n\n"
                                      "65535 0xFFFF 0X1f DEAD\n";
  TTestMachine sim, again;
  sim.Phone().LoadSeed(dir.string());
  EXPECT_EQ(std::tuple(sim.Phone().File("/a/funlight.pat"), sim.Phone().File("/c/other.bin")),
            std::tuple(Bytes{'p', 'a', 't'}, Bytes{'b', 'i', 'n'}));
  Bytes options(90, 0);
  options[89] = 0x08, options[10] = 0x0C;
  EXPECT_EQ(sim.Phone().Seem(0x32, 1), options);
  EXPECT_EQ(sim.Phone().Seem(0xFFFF, 0xFFFF)->at(31), 0xDE);
  std::filesystem::remove_all(dir);
  sim.Phone().SaveSeed(dir.string());
  again.Phone().LoadSeed(dir.string());
  EXPECT_EQ(again.Phone().FileNames(), sim.Phone().FileNames());
  EXPECT_EQ(again.Phone().Seem(0x32, 1), options);
  for (const std::string line : {"0x32 1", "0x32 1 0 0G", "0x32 1 0 123", "65536 1 0 01",
                                 "0x32 1 -1 00", "0x32 1 +1 00", "0x32 1 0x 00", "0x32 1 1e2 00"}) {
    std::ofstream(dir / "seems.txt") << "0x32 1 0 00\n" << line << "\n";
    EXPECT_THROW(sim.Phone().LoadSeed(dir.string()), std::runtime_error) << line;
  }
}
