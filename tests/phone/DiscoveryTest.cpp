// Finding the phone: mode switch, device search, storage switch, the watcher and its notices, and
// what the Linux platform does for them.
#include <filesystem>
#include <fstream>

#include "DocSupport.h"
#include "PhoneTestSupport.h"

namespace fs = std::filesystem;

const std::string kModem = "\\\\.\\Motorola USB Modem";
const std::string kFlashPath =
    "\\\\?\\usb#vid_22b8&pid_4903&mi_01#6&2c1e7a4b&0&0001#{4e1e1e15-52d7-11d4-852d-00105aa6f80b}";
const TSimInterface kPhone = TPhoneSetup{}.Interfaces.at(0);

class Discovery : public PhoneLinkTest {
 protected:
  // Plugs a phone with these interfaces and searches for the test command interface once.
  THandle Find(const std::vector<TSimInterface>& interfaces) {
    Sim.Phone().Configure([&](TPhoneSetup& s) { s.Interfaces = interfaces; });
    Sim.Phone().Plug(TPhoneMode::P2K);
    Link->Start(false);
    Sim.Clear();
    Handles = Sim.OpenHandles();
    return Link->FindP2KDevice(kTC, 0x0102);
  }
  int Handles = 0;
};

TEST_F(Discovery, ModemNamesAreTriedInOrderUntilOneOpens) {
  for (const int port : {20, 21}) {
    Sim.Clear();
    Sim.Phone().Configure([&](auto& s) { s.ModemPort = kModem + " #" + std::to_string(port); });
    Sim.Phone().Plug(TPhoneMode::Modem);
    EXPECT_EQ(Link->SendModeSwitch(), port == 20);
    const auto opens = Calls(TSimCall::OpenDevice);
    ASSERT_EQ(opens.size(), 22u);
    for (std::size_t i = 0; i < 22; ++i)
      EXPECT_EQ(
          std::tie(opens[i].Name, opens[i].Code, opens[i].Share, opens[i].Flags),
          std::tuple(i ? kModem + " #" + std::to_string(i - 1) : kModem, 0xC0000000u, 0u, 0u));
    const auto writes = Calls(TSimCall::WriteDevice);
    EXPECT_EQ(writes.size(), Calls(TSimCall::CloseHandle).size());
    EXPECT_EQ(writes.empty() ? "" : std::string(writes[0].Input.begin(), writes[0].Input.end()),
              port == 20 ? "AT+MODE=8\r" : "");
  }
}

TEST_F(Discovery, TheWatcherFallsBackToTheFlashInterface) {
  Sim.Phone().Configure([](auto& s) { s.Interfaces = {{kFlashPath, "Motorola Flash", 1}}; });
  Sim.Phone().Plug(TPhoneMode::P2K);
  Link->Start(true);
  ASSERT_TRUE(RunUntilStatuses(2, 10000));
  EXPECT_EQ(Sim.Now(), 500u);  // found right after the 500 ms pause of the first cycle
  EXPECT_EQ(std::tie(Link->DevicePath, Link->InterfaceNumber), std::tuple(kFlashPath, 1));
  const auto queries = Calls(TSimCall::IoControl, P2KAPI::kNameQueryIoctl);
  EXPECT_EQ(std::tie(queries.at(0).Input, queries.at(1).Input),
            std::tuple(Bytes{2, 1}, Bytes{2, 0}));
  // Opened for reading and writing, shared both ways, for overlapped requests.
  const TSimRequest open = Calls(TSimCall::OpenDevice).back();
  EXPECT_EQ(std::tie(open.Name, open.Code, open.Share, open.Flags),
            std::tuple(kFlashPath, 0xC0000000u, 3u, 0x40000000u));
}

Bytes NameAnswer(std::uint32_t count, const std::string& text) {
  Bytes b = {static_cast<std::uint8_t>(count), static_cast<std::uint8_t>(count >> 8), 0, 0};
  for (char c : text) b.insert(b.end(), {static_cast<std::uint8_t>(c), 0});
  return b;
}

// Only the exact name, terminated within the counted units and the answer buffer, matches.
TEST_F(Discovery, NameAnswers) {
  const std::string x253(253, 'x');
  // clang-format off
  for (const auto& [answer, logged, matches] : std::vector<std::tuple<Bytes, std::string, bool>>{
       {NameAnswer(44, kTC + '\0'), kTC, true}, {NameAnswer(42, kTC + '\0'), "", false},
       {NameAnswer(60, kTC + std::string("\0garbage", 8)), kTC, true},
       {NameAnswer(44, "motorola test command" + std::string(1, '\0')), "motorola test command", false},
       {NameAnswer(0xFFFFFFF0u, kTC + '\0'), kTC, true},
       {NameAnswer(508, x253 + '\0'), x253, false}}) {
    // clang-format on
    TSimInterface entry = kPhone;
    entry.Name = "", entry.NameAnswer = answer;
    const THandle found = Find({entry});
    EXPECT_EQ(std::tuple(found != P::kNoHandle, Logged().back()), std::tuple(matches, logged));
    // A handle that does not match is closed; the search leaves no other handle open.
    EXPECT_EQ(Sim.OpenHandles() - Handles, matches ? 1 : 0);
    if (found) Sim.CloseHandle(found);
  }
}

TEST_F(Discovery, InterfacesThatCannotBeUsedAreSkippedOrEndTheSearch) {
  TSimInterface silent = kPhone, big = kPhone, unsized = kPhone, fits = kPhone;
  silent.AnswersNameQuery = false;
  big.DetailSize = 257, fits.DetailSize = 256, unsized.SizeQuerySucceeds = true;
  EXPECT_EQ(Find({big}), P::kNoHandle);
  EXPECT_EQ(Find({unsized}), P::kNoHandle);
  EXPECT_TRUE(Calls(TSimCall::OpenDevice).empty());
  Sim.CloseHandle(Find({fits}));
  const auto start = Sim.Now();
  EXPECT_EQ(Find({silent}), P::kNoHandle);  // cancelled and closed after five seconds
  EXPECT_EQ(std::tuple(Sim.Now() - start, Logged().back(), Calls(TSimCall::CancelIo).size()),
            std::tuple(5000u, "DevIOCtl fail", 1u));
  EXPECT_EQ(Sim.OpenHandles(), Handles);
}

TEST_F(Discovery, StorageSwitchGoesOnlyToTheFirstMotorolaUsbDisk) {
  Sim.AddDisk("\\\\?\\ide#diskwdc#5&0#{53f56307}");
  Sim.AddDisk("\\\\?\\scsi#disk&ven_motorola#1&0#{53f56307}");
  Sim.AddDisk("\\\\?\\usbstor#disk&ven_sandisk&prod_cruzer#1&0#{53f56307}");
  Sim.Phone().Configure([](auto& s) { s.DiskPath = "\\\\?\\USBSTOR#Disk&Ven_Motorola#1"; });
  Sim.Phone().Plug(TPhoneMode::Storage);
  EXPECT_TRUE(Link->SwitchStorageToP2K(8));
  const auto commands = Calls(TSimCall::IoControl, P2KAPI::kScsiPassThroughDirectIoctl);
  ASSERT_EQ(commands.size(), 1u);
  EXPECT_EQ(commands[0].Input,
            (Bytes{44, 0, 0, 0, 0, 0, 12,   0, 1, 0, 0, 0, 0, 0, 0, 0, 25, 0, 0, 0, 0, 0,
                   0,  0, 0, 0, 0, 0, 0xD6, 0, 0, 0, 0, 0, 0, 0, 0, 0, 8,  0, 0, 0, 0, 0}));
  const auto opens = Calls(TSimCall::OpenDevice);
  ASSERT_EQ(opens.size(), 1u);
  EXPECT_EQ(std::tuple(opens[0].Share, opens[0].Flags, Calls(TSimCall::CloseHandle).size()),
            std::tuple(3u, 0x20000000u, 1u));
  EXPECT_EQ(Logged().back(), "Storage Dev name is \\\\?\\usbstor#disk&ven_motorola#1");
  EXPECT_EQ(Sim.Phone().Mode(), TPhoneMode::P2K);
}

TEST_F(Discovery, WatcherWithoutPhoneKeepsTryingEveryCycleSilentlyUntilStopped) {
  Link->Start(true);
  Sim.Advance(700);
  Link->Start(true);  // Connect pressed again: still one watcher
  Sim.Advance(14299);
  const auto opens = Calls(TSimCall::OpenDevice);  // a cycle every 1.5 s, 22 modem names each
  ASSERT_EQ(opens.size(), 220u);
  for (std::size_t i = 0; i < 220; i += 22)
    EXPECT_EQ(std::tie(opens[i].Name, opens[i].Time), std::tuple(kModem, i / 22 * 1500));
  Poster.Pump();
  EXPECT_EQ(std::tuple(Calls(TSimCall::StartThread).size(), Statuses, Logged().size()),
            std::tuple(1u, std::vector{0, 0}, 0u));
  Link->Stop();
  Sim.Advance(10);
  EXPECT_FALSE(Link->WatcherRunning());
  Sim.Phone().Plug(TPhoneMode::Storage);  // attached as a disk: switched, found on the next cycle
  Link->Start(true);
  Link->Stop();
  Link->Start(true);  // pressed again at once: the stopped watcher is collected, a new one starts
  const auto start = Sim.Now();
  ASSERT_TRUE(RunUntilStatuses(5, 10000));
  // 500 ms, the storage switch and its 1,000 ms, the cycle's 1,000 ms, then 500 ms again.
  EXPECT_EQ(std::tuple(Statuses, Sim.Now() - start, Calls(TSimCall::StartThread).size()),
            std::tuple(std::vector{0, 0, 0, 0, 1}, 3000u, 3u));
}

TEST_F(Discovery, WatcherWaitsForTheRemovalKeyThenReconnects) {
  Sim.Phone().Plug(TPhoneMode::Modem);
  Link->Start(true);
  ASSERT_TRUE(Sim.AdvanceUntil([&] { return Poster.Pending() == 2; }, 5000));
  Link->Start(true);  // before "connected" is seen: no "not connected" after it
  ASSERT_TRUE(RunUntilStatuses(2, 10));
  const THandle device = Link->CurrentDevice();
  const auto opens = Calls(TSimCall::RegOpenKey), notes = Calls(TSimCall::RegNotify);
  ASSERT_EQ(std::tuple(opens.size(), notes.size()), std::tuple(1u, 1u));
  EXPECT_EQ(std::tie(opens[0].Name, opens[0].Code),
            std::tuple("SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\"
                       "{4e1e1e15-52d7-11d4-852d-00105aa6f80b}\\##?#usb#vid_22b8&pid_4902&mi_08#"
                       "6&2c1e7a4b&0&0008#{4e1e1e15-52d7-11d4-852d-00105aa6f80b}\\#\\Control",
                       0x20019u));
  EXPECT_EQ(std::tie(notes[0].Code, notes[0].Flags), std::tuple(5u, 3u));  // subtree, async
  const auto requests = Sim.Requests().size();
  Link->Connected = true;
  Link->Start(true);
  Sim.Advance(60000);  // the removal wait makes no driver calls
  EXPECT_EQ(Sim.Requests().size(), requests);
  Sim.Phone().Unplug();
  ASSERT_TRUE(RunUntilStatuses(3, 100));
  EXPECT_EQ(Statuses, (std::vector<int>{0, 1, 0}));
  EXPECT_EQ(
      std::tuple(Calls(TSimCall::CloseHandle).back().Handle, Calls(TSimCall::RegCloseKey).size()),
      std::tuple(device, 1u));
  const auto unplugged = Sim.Now();
  Sim.Phone().Plug(TPhoneMode::Modem);
  ASSERT_TRUE(RunUntilStatuses(4, 3000));
  EXPECT_EQ(Sim.Now() - unplugged, 1500u);  // the 1,000 ms pause, then a cycle's 500 ms
}

TEST_F(Discovery, WithoutRemovalKeyTheWatcherLooksForTheInterfaceEachSecond) {
  Sim.Phone().Configure([](auto& s) { s.Interfaces[0].HasRegistryKey = false; });
  Sim.Phone().Plug(TPhoneMode::P2K);
  Link->Start(true);
  ASSERT_TRUE(RunUntilStatuses(2, 5000));
  Sim.Advance(10000);
  Poster.Pump();
  EXPECT_EQ(std::tuple(Statuses, LoggedLine("Removal key unavailable")),
            std::tuple(std::vector{0, 1}, true));
  Sim.Phone().Unplug();
  EXPECT_TRUE(RunUntilStatuses(3, 1000));
}

TEST_F(Discovery, FreeingTheLinkEndsTheWatcher) {
  Sim.Phone().Plug(TPhoneMode::P2K);
  Link->Start(true);
  ASSERT_TRUE(RunUntilStatuses(2, 5000));
  const auto now = Sim.Now();
  EXPECT_FALSE(P2KAPI::TP2KAPI::Free(Link.release()));  // Stop ends the removal wait at once
  EXPECT_EQ(std::tuple(Sim.Now(), LoggedLine("Removal key unavailable"), Sim.OpenHandles()),
            std::tuple(now, false, 0));
  // Held up in a driver call that cannot be cancelled: waited for one second, then it ends alone.
  for (const auto& [mode, call] : {std::pair{TPhoneMode::Modem, TRequestKind::ModemWrite},
                                   std::pair{TPhoneMode::Storage, TRequestKind::StorageSwitch}}) {
    TTestMachine sim;
    TQueuedPoster poster;
    sim.Phone().Plug(mode);
    sim.InjectIoFault({call, TIoFaultKind::Delay, 25000, 0});
    auto* link = new P2KAPI::TP2KAPI(sim, poster);
    link->Start(true);
    sim.Advance(600);
    EXPECT_TRUE(P2KAPI::TP2KAPI::Free(link));
    EXPECT_EQ(sim.Now(), 1600u);
    sim.Advance(30000);
    EXPECT_EQ(std::tuple(sim.Threads(), sim.OpenHandles(), poster.Pending()), std::tuple(0, 0, 1));
  }
}

TEST_F(Discovery, OnlyTheStatusMessageCallsOnStatusWithOneOrZero) {
  for (const std::uintptr_t w : {1u, 0u, 2u, 0x101u})
    Link->StatusWindow->Deliver(P2KAPI::WM_P2KSTATUS, w, 0);
  Link->StatusWindow->Deliver(0x436, 1, 0);
  EXPECT_EQ(Statuses, (std::vector<int>{1, 0, 0, 0}));
}

class LinuxDiscovery : public PhoneLinkTest {
 protected:
  void SetUp() override {
    ThroughUsb = true;
    Paths = {(Dir / "sys").string(), (Dir / "dev").string()};
    PhoneLinkTest::SetUp();
  }
  DocSupport::TTempDir Dir;
};

// Found but not to be opened by this user: reported from the refusal on, and no longer once the
// phone opens.
TEST_F(LinuxDiscovery, APhoneThatMayNotBeOpenedIsReportedAsSuch) {
  Usb->OpenError = kUsbErrorAccess;
  Sim.Phone().Plug(TPhoneMode::P2K);
  Link->Start(true);
  Sim.Advance(400);
  EXPECT_FALSE(Linux->AccessDenied());
  Sim.Advance(20000), Poster.Pump();
  EXPECT_EQ(std::tuple(Linux->AccessDenied(), Statuses), std::tuple(true, std::vector{0}));
  Usb->OpenError = 0;
  ASSERT_TRUE(RunUntilStatuses(2, 15000));
  EXPECT_FALSE(Linux->AccessDenied());
}

// The modem command goes to the phone's serial ports in their order, the SCSI command to the
// phone's USB disk; other vendors' ports and disks, and disks not on USB, are left alone.
TEST_F(LinuxDiscovery, ModemPortsAndDisksOfThePhone) {
  const fs::path sys = Paths.Sys, dev = Paths.Dev, bus = sys / "devices" / "usb1";
  const auto device = [&](const std::string& name, const std::string& vendor) {
    fs::create_directories(bus / name / (name + ":1.0"));
    std::ofstream(bus / name / "idVendor") << vendor << "\n";
    return bus / name / (name + ":1.0");
  };
  const fs::path phone = device("1-1", "22b8"), other = device("1-2", "1234");
  for (const auto& [cls, name, to] : {std::tuple{"class/tty", "ttyACM1", other},
                                      {"class/tty", "ttyACM10", phone},
                                      {"class/tty", "ttyACM2", phone},
                                      {"block", "sda", sys / "devices" / "pci0"},
                                      {"block", "sdb", other},
                                      {"block", "sdc", phone}}) {
    fs::create_directories(sys / cls / name);
    fs::create_directory_symlink(to, sys / cls / name / "device");
    fs::create_directories(dev), std::ofstream(dev / name) << "";
  }
  const auto text = [&](const char* name) {
    return DocSupport::ReadBytes<std::string>(dev / name);
  };
  EXPECT_TRUE(Link->SendModeSwitch());
  EXPECT_EQ(text("ttyACM2"), "AT+MODE=8\r");
  fs::remove(dev / "ttyACM2");
  fs::create_directory(dev / "ttyACM2");  // cannot be opened
  EXPECT_TRUE(Link->SendModeSwitch());    // "#0" is ttyACM2 again, "#1" ttyACM10
  EXPECT_EQ(text("ttyACM10") + "|" + text("ttyACM1"), "AT+MODE=8\r|");
  EXPECT_TRUE(Link->SwitchStorageToP2K(8));
  EXPECT_EQ(Logged(), (std::vector<std::string>{"Storage Dev name is sdb#usbstor#ven_1234",
                                                "Storage Dev name is sdc#usbstor#motorola"}));
}
