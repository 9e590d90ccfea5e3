// Finding the phone: mode switch, device search, storage switch, the watcher and its notices.
#include "PhoneTestSupport.h"

using P = IPhonePlatform;

namespace {

const std::string kModem = "\\\\.\\Motorola USB Modem";
const std::string kFlashPath =
    "\\\\?\\usb#vid_22b8&pid_4903&mi_01#6&2c1e7a4b&0&0001#{4e1e1e15-52d7-11d4-852d-00105aa6f80b}";

TSimInterface Interface(const std::string& path, const std::string& name, std::uint16_t usb = 8) {
  TSimInterface i;
  i.Path = path;
  i.Name = name;
  i.UsbInterface = usb;
  return i;
}

}  // namespace

// --------------------------------------------------------------------------- mode switch

struct ModemCase {
  std::string port;  // the name the phone's modem answers to
  int numbersTried;  // how many "#n" names are tried after the plain name
  bool sent;
};

class ModemNames : public PhoneLinkTest, public ::testing::WithParamInterface<ModemCase> {};

TEST_P(ModemNames, AreTriedInOrderUntilOneOpens) {
  const ModemCase c = GetParam();
  Sim.Phone().Configure([&](TPhoneSetup& s) { s.ModemPort = c.port; });
  Sim.Phone().Plug(TPhoneMode::Modem);

  EXPECT_EQ(Link->SendModeSwitch(), c.sent);

  std::vector<std::string> expected = {kModem};
  for (int n = 0; n < c.numbersTried; ++n) expected.push_back(kModem + " #" + std::to_string(n));
  std::vector<std::string> tried;
  for (const auto& r : Calls(TSimCall::OpenDevice)) {
    tried.push_back(r.Name);
    EXPECT_EQ(r.Code, 0xC0000000u);  // GENERIC_READ | GENERIC_WRITE
    EXPECT_EQ(r.Share, 0u);
    EXPECT_EQ(r.Flags, 0u);
  }
  EXPECT_EQ(tried, expected);

  const auto writes = Calls(TSimCall::WriteDevice);
  if (c.sent) {
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].Name, c.port);
    EXPECT_EQ(std::string(writes[0].Input.begin(), writes[0].Input.end()), "AT+MODE=8\r");
    const auto closes = Calls(TSimCall::CloseHandle);
    ASSERT_EQ(closes.size(), 1u);
    EXPECT_EQ(closes[0].Handle, writes[0].Handle);
    EXPECT_EQ(Sim.Phone().Mode(), TPhoneMode::P2K);
  } else {
    EXPECT_TRUE(writes.empty());
    EXPECT_EQ(Sim.Phone().Mode(), TPhoneMode::Modem);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Phone, ModemNames,
    ::testing::Values(ModemCase{kModem, 0, true}, ModemCase{kModem + " #0", 1, true},
                      ModemCase{kModem + " #3", 4, true}, ModemCase{kModem + " #20", 21, true},
                      ModemCase{kModem + " #21", 21, false}, ModemCase{"COM3", 21, false}));

// --------------------------------------------------------------------------- device search

struct ChoiceCase {
  std::vector<TSimInterface> interfaces;
  std::string chosenPath;
  std::string chosenName;
  std::vector<Bytes> queries;  // the name queries sent, in order
};

class InterfaceChoice : public PhoneLinkTest, public ::testing::WithParamInterface<ChoiceCase> {};

TEST_P(InterfaceChoice, WatcherPrefersTheTestCommandInterface) {
  const ChoiceCase c = GetParam();
  Sim.Phone().Configure([&](TPhoneSetup& s) { s.Interfaces = c.interfaces; });
  Sim.Phone().Plug(TPhoneMode::P2K);
  Link->Start(true);
  ASSERT_TRUE(RunUntilStatuses(2, 10000));

  EXPECT_EQ(Statuses, (std::vector<int>{0, 1}));
  EXPECT_EQ(Sim.Now(), 500u);  // found right after the 500 ms pause of the first cycle
  EXPECT_EQ(Link->DevicePath, c.chosenPath);
  EXPECT_EQ(Link->CurrentInterface.Name, c.chosenName);
  EXPECT_NE(Link->CurrentDevice(), P::kNoHandle);
  std::vector<Bytes> queries;
  for (const auto& r : Ioctls(P2KAPI::kNameQueryIoctl)) queries.push_back(r.Input);
  EXPECT_EQ(queries, c.queries);
}

INSTANTIATE_TEST_SUITE_P(
    Phone, InterfaceChoice,
    ::testing::Values(ChoiceCase{{Interface(kFlashPath, "Motorola Flash", 1),
                                  Interface(kPhonePath, "Motorola Test Command")},
                                 kPhonePath,
                                 "Motorola Test Command",
                                 {{0x02, 0x01}, {0x02, 0x01}}},
                      ChoiceCase{{Interface(kFlashPath, "Motorola Flash", 1)},
                                 kFlashPath,
                                 "Motorola Flash",
                                 {{0x02, 0x01}, {0x02, 0x00}}},
                      ChoiceCase{{Interface(kPhonePath, "Motorola Test Command")},
                                 kPhonePath,
                                 "Motorola Test Command",
                                 {{0x02, 0x01}}}));

TEST_F(PhoneLinkTest, NameQueriesCarryTheTwoQueryCodes) {
  Sim.Phone().Configure(
      [&](TPhoneSetup& s) { s.Interfaces = {Interface(kFlashPath, "Motorola Flash", 1)}; });
  Sim.Phone().Plug(TPhoneMode::P2K);
  Link->Start(false);
  EXPECT_EQ(Link->FindP2KDevice("Motorola Test Command", 0x0102), P::kNoHandle);
  const THandle flash = Link->FindP2KDevice("Motorola Flash", 0x0002);
  EXPECT_NE(flash, P::kNoHandle);
  const auto queries = Ioctls(P2KAPI::kNameQueryIoctl);
  ASSERT_EQ(queries.size(), 2u);
  EXPECT_EQ(queries[0].Input, (Bytes{0x02, 0x01}));
  EXPECT_EQ(queries[1].Input, (Bytes{0x02, 0x00}));
  // Opened for reading and writing, shared both ways, for overlapped requests.
  for (const auto& open : Calls(TSimCall::OpenDevice)) {
    EXPECT_EQ(open.Name, kFlashPath);
    EXPECT_EQ(open.Code, 0xC0000000u);
    EXPECT_EQ(open.Share, 3u);
    EXPECT_EQ(open.Flags, 0x40000000u);  // FILE_FLAG_OVERLAPPED
  }
  EXPECT_EQ(Logged(), (std::vector<std::string>{"Dev name is " + kFlashPath, "Motorola Flash",
                                                "Dev name is " + kFlashPath, "Motorola Flash"}));
  Sim.CloseHandle(flash);
}

struct NumberCase {
  std::string marker;  // replaces "&mi_08" in the phone's path
  std::uint16_t expected;
};

class InterfaceNumber : public PhoneLinkTest, public ::testing::WithParamInterface<NumberCase> {};

TEST_P(InterfaceNumber, ComesFromTheMarkerInThePath) {
  const NumberCase c = GetParam();
  std::string path = kPhonePath;
  path.replace(path.find("&mi_08"), 6, c.marker);
  Sim.Phone().Configure([&](TPhoneSetup& s) {
    s.Interfaces = {Interface(path, "Motorola Test Command", c.expected)};
  });
  Sim.Phone().Plug(TPhoneMode::P2K);
  Link->Start(false);
  Link->DeviceHandle = Link->FindP2KDevice("Motorola Test Command", 0x0102);
  ASSERT_NE(Link->DeviceHandle, P::kNoHandle);
  EXPECT_EQ(Link->InterfaceNumber, c.expected);

  // Every transfer is addressed to that interface; the phone refuses any other.
  std::uint8_t answer[4];
  std::uint16_t length = 0;
  EXPECT_TRUE(Link->SendCommand(0x22, nullptr, 0, answer, 4, length));
  for (const auto& r : Ioctls(P2KAPI::kTransferIoctl)) {
    EXPECT_EQ(r.Input[4] | (r.Input[5] << 8), c.expected);
  }
}

INSTANTIATE_TEST_SUITE_P(Phone, InterfaceNumber,
                         ::testing::Values(NumberCase{"&mi_08", 8}, NumberCase{"&MI_0A", 10},
                                           NumberCase{"&mi_1f", 31}, NumberCase{"&Mi_0c", 12},
                                           NumberCase{"", 8}, NumberCase{"&mi_zz", 8},
                                           NumberCase{"&mi_0g", 8}, NumberCase{"&mi_", 8}));

struct NameCase {
  Bytes answer;
  bool matches;
  std::string logged;
};

Bytes NameAnswer(std::uint32_t count, const std::string& text) {
  Bytes b = {static_cast<std::uint8_t>(count), static_cast<std::uint8_t>(count >> 8), 0, 0};
  for (char c : text) {
    b.push_back(static_cast<std::uint8_t>(c));
    b.push_back(0);
  }
  return b;
}

class NameAnswers : public PhoneLinkTest, public ::testing::WithParamInterface<NameCase> {};

TEST_P(NameAnswers, MatchOnlyTheExactTerminatedName) {
  const NameCase c = GetParam();
  TSimInterface entry = Interface(kPhonePath, "");
  entry.NameAnswer = c.answer;
  Sim.Phone().Configure([&](TPhoneSetup& s) { s.Interfaces = {entry}; });
  Sim.Phone().Plug(TPhoneMode::P2K);
  Link->Start(false);

  const THandle found = Link->FindP2KDevice("Motorola Test Command", 0x0102);

  EXPECT_EQ(found != P::kNoHandle, c.matches);
  EXPECT_EQ(Logged().back(), c.logged);
  const auto opens = Calls(TSimCall::OpenDevice);
  ASSERT_EQ(opens.size(), 1u);
  const auto closes = Calls(TSimCall::CloseHandle);
  const bool closed = std::any_of(closes.begin(), closes.end(), [&](const TSimRequest& r) {
    return r.Handle == opens[0].Handle;
  });
  EXPECT_EQ(closed, !c.matches);
  if (found) Sim.CloseHandle(found);
}

const std::string kTC = "Motorola Test Command";

INSTANTIATE_TEST_SUITE_P(
    Phone, NameAnswers,
    ::testing::Values(
        NameCase{NameAnswer(44, kTC + '\0'), true, kTC},
        // The count covers the text but not its terminator: no NUL among the counted units.
        NameCase{NameAnswer(42, kTC + '\0'), false, ""},
        NameCase{NameAnswer(10, kTC + '\0'), false, ""},
        NameCase{NameAnswer(60, kTC + std::string("\0garbage", 8)), true, kTC},
        NameCase{NameAnswer(44, "motorola test command" + std::string(1, '\0')), false,
                 "motorola test command"},
        NameCase{NameAnswer(46, kTC + "X" + '\0'), false, kTC + "X"},
        // A count far beyond the answer buffer is read no further than the buffer.
        NameCase{NameAnswer(0xFFFFFFF0u, kTC + '\0'), true, kTC},
        // A name that fills the buffer up to its terminator in the last code unit.
        NameCase{NameAnswer(508, std::string(253, 'x') + '\0'), false, std::string(253, 'x')}));

TEST_F(PhoneLinkTest, UnopenableInterfaceEndsTheSearchAfterFiveSeconds) {
  TSimInterface broken = Interface(
      "\\\\?\\usb#vid_22b8&pid_4902&mi_08#7&0&0008#{4e1e1e15-52d7-11d4-852d-00105aa6f80b}", kTC);
  broken.Openable = false;
  Sim.AddP2KInterface(broken);
  Sim.Phone().Plug(TPhoneMode::P2K);
  Link->Start(false);
  const auto started = Sim.Now();

  EXPECT_EQ(Link->FindP2KDevice(kTC, 0x0102), P::kNoHandle);

  EXPECT_EQ(Sim.Now() - started, 5000u);
  EXPECT_TRUE(LoggedLine("DevIOCtl fail"));
  EXPECT_EQ(Calls(TSimCall::CancelIo).size(), 1u);
  // The phone's own interface, listed after it, is not looked at in this search.
  for (const auto& open : Calls(TSimCall::OpenDevice)) EXPECT_EQ(open.Name, broken.Path);
}

TEST_F(PhoneLinkTest, SilentInterfaceIsCancelledAndClosed) {
  TSimInterface silent = Interface(kPhonePath, kTC);
  silent.AnswersNameQuery = false;
  Sim.Phone().Configure([&](TPhoneSetup& s) { s.Interfaces = {silent}; });
  Sim.Phone().Plug(TPhoneMode::P2K);
  Link->Start(false);
  const int handlesBefore = Sim.OpenHandles();

  EXPECT_EQ(Link->FindP2KDevice(kTC, 0x0102), P::kNoHandle);

  EXPECT_TRUE(LoggedLine("DevIOCtl fail"));
  EXPECT_EQ(Calls(TSimCall::CancelIo).size(), 1u);
  EXPECT_EQ(Sim.OpenHandles(), handlesBefore);  // interface, event and list all released
}

struct DetailCase {
  std::optional<std::uint32_t> size;
  bool sizeQuerySucceeds;
  bool used;
};

class DetailSize : public PhoneLinkTest, public ::testing::WithParamInterface<DetailCase> {};

TEST_P(DetailSize, SkipsInterfacesWhoseDetailDoesNotFit) {
  const DetailCase c = GetParam();
  TSimInterface entry = Interface(kPhonePath, kTC);
  entry.DetailSize = c.size;
  entry.SizeQuerySucceeds = c.sizeQuerySucceeds;
  Sim.Phone().Configure([&](TPhoneSetup& s) { s.Interfaces = {entry}; });
  Sim.Phone().Plug(TPhoneMode::P2K);
  Link->Start(false);

  const THandle found = Link->FindP2KDevice(kTC, 0x0102);

  EXPECT_EQ(found != P::kNoHandle, c.used);
  EXPECT_EQ(Calls(TSimCall::OpenDevice).size(), c.used ? 1u : 0u);
  if (found) Sim.CloseHandle(found);
}

INSTANTIATE_TEST_SUITE_P(Phone, DetailSize,
                         ::testing::Values(DetailCase{std::nullopt, false, true},
                                           DetailCase{256, false, true},
                                           DetailCase{257, false, false},
                                           DetailCase{std::nullopt, true, false}));

TEST_F(PhoneLinkTest, FailingClassListsAreLogged) {
  Sim.SetClassListFails(kP2KInterfaceClass, true);
  Sim.SetClassListFails(kDiskInterfaceClass, true);
  EXPECT_EQ(Link->FindP2KDevice(kTC, 0x0102), P::kNoHandle);
  EXPECT_FALSE(Link->SwitchStorageToP2K(8));
  EXPECT_EQ(Logged(), (std::vector<std::string>{"Get class fail", "Get class fail"}));
}

// --------------------------------------------------------------------------- storage switch

struct StorageCase {
  std::vector<std::string> disks;
  int receiver;  // index of the disk sent the command, -1 for none
};

class StorageSwitch : public PhoneLinkTest, public ::testing::WithParamInterface<StorageCase> {};

TEST_P(StorageSwitch, GoesOnlyToTheFirstMotorolaUsbDisk) {
  const StorageCase c = GetParam();
  for (const auto& d : c.disks) Sim.AddDisk(d);

  EXPECT_EQ(Link->SwitchStorageToP2K(8), c.receiver >= 0);

  const auto commands = Ioctls(P2KAPI::kScsiPassThroughDirectIoctl);
  if (c.receiver < 0) {
    EXPECT_TRUE(commands.empty());
    return;
  }
  ASSERT_EQ(commands.size(), 1u);
  EXPECT_EQ(commands[0].Name, c.disks[static_cast<size_t>(c.receiver)]);
  const Bytes expected = {44, 0, 0, 0, 0, 0, 12,   0, 1, 0, 0, 0, 0, 0, 0, 0, 25, 0, 0, 0, 0, 0,
                          0,  0, 0, 0, 0, 0, 0xD6, 0, 0, 0, 0, 0, 0, 0, 0, 0, 8,  0, 0, 0, 0, 0};
  EXPECT_EQ(commands[0].Input, expected);
  const auto opens = Calls(TSimCall::OpenDevice);
  ASSERT_EQ(opens.size(), 1u);
  EXPECT_EQ(opens[0].Share, 3u);
  EXPECT_EQ(opens[0].Flags, 0x20000000u);  // FILE_FLAG_NO_BUFFERING
  EXPECT_EQ(Calls(TSimCall::CloseHandle).size(), 1u);
}

const std::string kMotoDisk =
    "\\\\?\\usbstor#disk&ven_motorola&prod_v3&rev_0001#1&0#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";

INSTANTIATE_TEST_SUITE_P(
    Phone, StorageSwitch,
    ::testing::Values(
        StorageCase{{kMotoDisk}, 0},
        StorageCase{{"\\\\?\\scsi#disk&ven_motorola&prod_x#1&0#{53f56307}"}, -1},
        StorageCase{{"\\\\?\\usbstor#disk&ven_sandisk&prod_cruzer#1&0#{53f56307}"}, -1},
        StorageCase{{"\\\\?\\ide#diskwdc#5&0#{53f56307}",
                     "\\\\?\\scsi#disk&ven_motorola#1&0#{53f56307}", kMotoDisk, kMotoDisk + "2"},
                    2},
        StorageCase{{"\\\\?\\USBSTOR#DISK&VEN_MOTOROLA&PROD_E398#1&0#{53F56307}"}, 0},
        StorageCase{{}, -1}));

TEST_F(PhoneLinkTest, StorageSwitchLogsLowerCasePathsAndSwitchesThePhone) {
  Sim.Phone().Configure([&](TPhoneSetup& s) { s.DiskPath = "\\\\?\\USBSTOR#Disk&Ven_Motorola#1"; });
  Sim.Phone().Plug(TPhoneMode::Storage);
  EXPECT_TRUE(Link->SwitchStorageToP2K(8));
  EXPECT_EQ(Logged(),
            (std::vector<std::string>{"Storage Dev name is \\\\?\\usbstor#disk&ven_motorola#1"}));
  EXPECT_EQ(Sim.Phone().Mode(), TPhoneMode::P2K);
}

// --------------------------------------------------------------------------- the watcher

TEST_F(PhoneLinkTest, WatcherWithoutPhoneKeepsTryingEveryCycleSilently) {
  Link->Start(true);
  Sim.Advance(14999);

  std::vector<std::uint64_t> cycleStarts;
  for (const auto& r : Calls(TSimCall::OpenDevice)) {
    if (r.Name == kModem) cycleStarts.push_back(r.Time);
  }
  std::vector<std::uint64_t> expected;
  for (std::uint64_t t = 0; t < 15000; t += 1500) expected.push_back(t);
  EXPECT_EQ(cycleStarts, expected);
  EXPECT_EQ(Calls(TSimCall::OpenDevice).size(), 22u * expected.size());
  EXPECT_EQ(Calls(TSimCall::GetClassDevices).size(), 3u * expected.size());  // two searches, disks
  Poster.Pump();
  EXPECT_EQ(Statuses, (std::vector<int>{0}));
  EXPECT_TRUE(Logged().empty());
  EXPECT_TRUE(Link->WatcherRunning());
}

TEST_F(PhoneLinkTest, ConnectPressedSeveralTimesStartsOneWatcher) {
  Link->Start(true);
  const std::uint32_t first = Link->ThreadId;
  Sim.Advance(700);
  Link->Start(true);
  Sim.Advance(700);
  Link->Start(true);
  Sim.Advance(1599);

  EXPECT_EQ(Calls(TSimCall::StartThread).size(), 1u);
  EXPECT_EQ(Link->ThreadId, first);
  EXPECT_NE(first, 0u);
  int cycles = 0;
  for (const auto& r : Calls(TSimCall::OpenDevice)) cycles += r.Name == kModem;
  EXPECT_EQ(cycles, 2);  // at 0 and 1500 ms
  Poster.Pump();
  EXPECT_EQ(Statuses, (std::vector<int>{0, 0, 0}));
  EXPECT_FALSE(Link->Connected);
  EXPECT_EQ(Link->PacketNumber, 1);
}

TEST_F(PhoneLinkTest, UnplugPostsNotConnectedAndReplugReconnects) {
  Sim.Phone().Plug(TPhoneMode::Modem);
  Link->Start(true);
  ASSERT_TRUE(RunUntilStatuses(2, 5000));
  EXPECT_EQ(Sim.Now(), 500u);
  const THandle device = Link->CurrentDevice();
  ASSERT_NE(device, P::kNoHandle);

  // Connected, the watcher only waits for the interface's registry key to change.
  const auto opens = Calls(TSimCall::RegOpenKey);
  ASSERT_EQ(opens.size(), 1u);
  EXPECT_EQ(opens[0].Name,
            "SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\"
            "{4e1e1e15-52d7-11d4-852d-00105aa6f80b}\\##?#usb#vid_22b8&pid_4902&mi_08#"
            "6&2c1e7a4b&0&0008#{4e1e1e15-52d7-11d4-852d-00105aa6f80b}\\#\\Control");
  EXPECT_EQ(opens[0].Code, 0x20019u);
  const auto notes = Calls(TSimCall::RegNotify);
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_EQ(notes[0].Code, 5u);
  EXPECT_EQ(notes[0].Flags, 3u);  // subtree, asynchronous
  const auto requestsWhileConnected = Sim.Requests().size();
  Sim.Advance(60000);
  EXPECT_EQ(Sim.Requests().size(), requestsWhileConnected);

  Sim.Phone().Unplug();
  ASSERT_TRUE(RunUntilStatuses(3, 100));
  EXPECT_EQ(Statuses, (std::vector<int>{0, 1, 0}));
  EXPECT_EQ(Link->CurrentDevice(), P::kNoHandle);
  const auto closes = Calls(TSimCall::CloseHandle);
  EXPECT_TRUE(std::any_of(closes.begin(), closes.end(),
                          [&](const TSimRequest& r) { return r.Handle == device; }));
  EXPECT_EQ(Calls(TSimCall::RegCloseKey).size(), 1u);

  const auto unplugged = Sim.Now();
  Sim.Phone().Plug(TPhoneMode::Modem);
  ASSERT_TRUE(RunUntilStatuses(4, 3000));
  EXPECT_EQ(Statuses, (std::vector<int>{0, 1, 0, 1}));
  EXPECT_EQ(Sim.Now() - unplugged, 1500u);  // the 1,000 ms pause, then a cycle's 500 ms
}

TEST_F(PhoneLinkTest, PhoneAttachedAsDiskIsSwitchedAndFoundOnTheNextCycle) {
  Sim.Phone().Plug(TPhoneMode::Storage);
  Link->Start(true);
  ASSERT_TRUE(RunUntilStatuses(2, 10000));
  EXPECT_EQ(Statuses, (std::vector<int>{0, 1}));
  // 500 ms, the storage switch and its 1,000 ms, the cycle's 1,000 ms, then 500 ms again.
  EXPECT_EQ(Sim.Now(), 3000u);
  EXPECT_EQ(Ioctls(P2KAPI::kScsiPassThroughDirectIoctl).size(), 1u);
}

TEST_F(PhoneLinkTest, StartWhileTheInterfaceIsOpenNeverReportsNotConnected) {
  Sim.Phone().Plug(TPhoneMode::P2K);
  Link->Start(true);
  // The watcher has opened the interface and posted "connected"; the window has not seen it yet
  // when Connect is pressed again.
  ASSERT_TRUE(Sim.AdvanceUntil([&] { return Poster.Pending() == 2; }, 5000));
  Link->Start(true);
  Poster.Pump();
  EXPECT_EQ(Statuses, (std::vector<int>{0, 1}));

  // Delivered and taken: a later Start leaves the connection as it is.
  Link->Connected = true;
  Link->Start(true);
  Sim.Advance(10000);
  Poster.Pump();
  EXPECT_EQ(Statuses, (std::vector<int>{0, 1}));
  EXPECT_TRUE(Link->Connected);
  EXPECT_EQ(Link->PacketNumber, 1);

  // Once the interface is closed, Start says "not connected" again.
  Sim.Phone().Unplug();
  ASSERT_TRUE(RunUntilStatuses(3, 100));
  Link->Start(true);
  Poster.Pump();
  EXPECT_EQ(Statuses, (std::vector<int>{0, 1, 0, 0}));
  EXPECT_FALSE(Link->Connected);
}

TEST_F(PhoneLinkTest, WithoutRemovalKeyTheWatcherLooksForTheInterfaceEachSecond) {
  TSimInterface entry = Interface(kPhonePath, kTC);
  entry.HasRegistryKey = false;
  Sim.Phone().Configure([&](TPhoneSetup& s) { s.Interfaces = {entry}; });
  Sim.Phone().Plug(TPhoneMode::P2K);
  Link->Start(true);
  ASSERT_TRUE(RunUntilStatuses(2, 5000));
  Sim.Advance(10000);
  Poster.Pump();
  EXPECT_EQ(Statuses, (std::vector<int>{0, 1}));  // not reported gone while it is there
  EXPECT_TRUE(LoggedLine("Removal key unavailable"));

  Sim.Phone().Unplug();
  const auto unplugged = Sim.Now();
  ASSERT_TRUE(RunUntilStatuses(3, 2000));
  EXPECT_LE(Sim.Now() - unplugged, 1000u);
  EXPECT_EQ(Link->CurrentDevice(), P::kNoHandle);
}

TEST_F(PhoneLinkTest, DestroyingTheLinkEndsAConnectedWatcher) {
  Sim.Phone().Plug(TPhoneMode::P2K);
  const int handlesBefore = Sim.OpenHandles();
  Link->Start(true);
  ASSERT_TRUE(RunUntilStatuses(2, 5000));
  const auto now = Sim.Now();

  Link.reset();  // Stop, then wait for the watcher blocked in the removal wait

  EXPECT_EQ(Sim.Now(), now);
  EXPECT_FALSE(LoggedLine("Removal key unavailable"));  // the stop ended the wait, not the key
  // Interface, key and events are released; so are the link's own two events.
  EXPECT_EQ(Sim.OpenHandles(), handlesBefore - 2);
  Poster.Pump();  // a notice posted on the way out reaches no one
  EXPECT_EQ(Statuses, (std::vector<int>{0, 1}));
}

// Freeing the link while the watcher is held up in a driver call that cannot be cancelled.
struct StuckCase {
  const char* name;
  TPhoneMode mode;
  TRequestKind call;
};

void PrintTo(const StuckCase& c, std::ostream* out) {
  *out << c.name;
}

class StuckWatcher : public PhoneLinkTest, public ::testing::WithParamInterface<StuckCase> {};

TEST_P(StuckWatcher, IsWaitedForAtMostOneSecondThenEndsByItself) {
  const StuckCase c = GetParam();
  Sim.Phone().Plug(c.mode);
  Sim.InjectIoFault({c.call, TIoFaultKind::Delay, 25000, 0});
  Link->Start(true);
  Sim.Advance(600);
  ASSERT_EQ(Sim.Threads(), 1);
  const auto closing = Sim.Now();

  EXPECT_TRUE(P2KAPI::TP2KAPI::Free(Link.release()));

  EXPECT_EQ(Sim.Now() - closing, 1000u);
  const auto lines = Logged().size();
  // The call returns long after; the watcher ends without a notice or a log line, and its link
  // goes with it.
  Sim.Advance(30000);
  EXPECT_EQ(Sim.Threads(), 0);
  EXPECT_EQ(Sim.OpenHandles(), 0);
  EXPECT_EQ(Logged().size(), lines);
  EXPECT_EQ(Poster.Pending(), 1);  // only the notice of Start
}

INSTANTIATE_TEST_SUITE_P(
    Phone, StuckWatcher,
    ::testing::Values(StuckCase{"ModemWrite", TPhoneMode::Modem, TRequestKind::ModemWrite},
                      StuckCase{"StorageSwitch", TPhoneMode::Storage, TRequestKind::StorageSwitch}),
    [](const ::testing::TestParamInfo<StuckCase>& info) { return std::string(info.param.name); });

TEST_F(PhoneLinkTest, FreeingTheLinkWaitsForAWatcherThatCanStop) {
  Sim.Phone().Plug(TPhoneMode::P2K);
  Link->Start(true);
  ASSERT_TRUE(RunUntilStatuses(2, 5000));
  const auto now = Sim.Now();
  EXPECT_FALSE(P2KAPI::TP2KAPI::Free(Link.release()));
  EXPECT_EQ(Sim.Now(), now);
  EXPECT_EQ(Sim.Threads(), 0);
  EXPECT_EQ(Sim.OpenHandles(), 0);
}

TEST_F(PhoneLinkTest, StopEndsTheSearchingWatcherAndStartRunsANewOne) {
  Link->Start(true);
  Sim.Advance(200);
  Link->Stop();
  Sim.Advance(10);
  EXPECT_FALSE(Link->WatcherRunning());
  const auto cycles = Calls(TSimCall::GetClassDevices).size();
  Sim.Advance(5000);
  EXPECT_EQ(Calls(TSimCall::GetClassDevices).size(), cycles);

  Sim.Phone().Plug(TPhoneMode::Modem);
  Link->Start(true);
  ASSERT_TRUE(RunUntilStatuses(3, 5000));
  EXPECT_EQ(Statuses, (std::vector<int>{0, 0, 1}));
  EXPECT_EQ(Calls(TSimCall::StartThread).size(), 2u);
}

// --------------------------------------------------------------------------- status notices

struct NoticeCase {
  std::uint32_t message;
  std::uintptr_t wParam;
  std::vector<int> statuses;
};

class StatusNotices : public PhoneLinkTest, public ::testing::WithParamInterface<NoticeCase> {};

TEST_P(StatusNotices, CallOnStatusWithOneOrZero) {
  const NoticeCase c = GetParam();
  Link->StatusWindow->Deliver(c.message, c.wParam, 0);
  EXPECT_EQ(Statuses, c.statuses);
}

INSTANTIATE_TEST_SUITE_P(Phone, StatusNotices,
                         ::testing::Values(NoticeCase{P2KAPI::WM_P2KSTATUS, 1, {1}},
                                           NoticeCase{P2KAPI::WM_P2KSTATUS, 0, {0}},
                                           NoticeCase{P2KAPI::WM_P2KSTATUS, 2, {0}},
                                           NoticeCase{P2KAPI::WM_P2KSTATUS, 0x101, {0}},
                                           NoticeCase{0x436, 1, {}}, NoticeCase{0x438, 1, {}}));

TEST_F(PhoneLinkTest, StartPostsNotConnectedAndResetsTheLink) {
  Link->Connected = true;
  Link->PacketNumber = 7;
  EXPECT_TRUE(Link->Start(false));
  EXPECT_FALSE(Link->Connected);
  EXPECT_EQ(Link->PacketNumber, 1);
  EXPECT_EQ(Link->CurrentInterface.Name, "Motorola Test Command");
  EXPECT_EQ(Link->CurrentInterface.QueryCode, 0x0102);
  EXPECT_EQ(Link->FlashInterface.QueryCode, 0x0002);
  EXPECT_TRUE(Statuses.empty());  // posted, not called
  EXPECT_EQ(Poster.Pump(), 1);
  EXPECT_EQ(Statuses, (std::vector<int>{0}));
  EXPECT_EQ(Calls(TSimCall::StartThread).size(), 0u);
  EXPECT_EQ(Link->ThreadId, 0u);
}
