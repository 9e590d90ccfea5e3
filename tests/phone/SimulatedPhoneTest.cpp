// The simulated phone as the program uses it: a seed folder, real time, and the machine with no
// phone that stands for the system platform off Windows.
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <stdexcept>

#include "PhoneTestSupport.h"

namespace fs = std::filesystem;

namespace {

fs::path FreshDir(const std::string& tag) {
  const fs::path dir =
      fs::temp_directory_path() / ("glowsmith-seed-" + std::to_string(::getpid()) + "-" + tag);
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

void Write(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

void Write(const fs::path& path, const Bytes& data) {
  Write(path, std::string(data.begin(), data.end()));
}

}  // namespace

TEST(SimulatedPhoneSeed, LoadsFilesAndSeemsAndSavesThemBack) {
  const fs::path dir = FreshDir("load");
  const Bytes pat = Pattern(300);
  Write(dir / "funlight.pat", pat);
  Write(dir / "c" / "other.bin", Bytes{1, 2, 3});
  Write(dir / "a" / "extra" / "deep.txt", std::string("deep"));
  Write(dir / "seems.txt",
        "# the two options\n"
        "0x0032 1 0 00 00 00 00\n"
        "0x0032 1 89 08      # C380\n"
        "0x32 1 99 0C\n"
        "\n"
        "50 2 4 DEAD beef\n");

  TTestMachine sim;
  sim.Phone().LoadSeed(dir.string());

  EXPECT_EQ(sim.Phone().File("/a/funlight.pat"), pat);
  EXPECT_EQ(sim.Phone().File("/c/other.bin"), (Bytes{1, 2, 3}));
  EXPECT_EQ(sim.Phone().File("/a/extra/deep.txt"), (Bytes{'d', 'e', 'e', 'p'}));
  const auto options = sim.Phone().Seem(0x32, 1);
  ASSERT_TRUE(options);
  ASSERT_EQ(options->size(), 100u);
  EXPECT_EQ(options->at(89), 0x08);
  EXPECT_EQ(options->at(99), 0x0C);
  EXPECT_EQ(std::count(options->begin(), options->end(), 0), 98);
  EXPECT_EQ(sim.Phone().Seem(50, 2), (Bytes{0, 0, 0, 0, 0xDE, 0xAD, 0xBE, 0xEF}));

  const fs::path saved = FreshDir("saved");
  sim.Phone().SaveSeed(saved.string());
  TTestMachine again;
  again.Phone().LoadSeed(saved.string());
  EXPECT_EQ(again.Phone().FileNames(), sim.Phone().FileNames());
  for (const auto& name : sim.Phone().FileNames()) {
    EXPECT_EQ(again.Phone().File(name), sim.Phone().File(name)) << name;
  }
  EXPECT_EQ(again.Phone().Seem(0x32, 1), options);
  EXPECT_EQ(again.Phone().Seem(50, 2), sim.Phone().Seem(50, 2));
  std::ifstream copy(saved / "funlight.pat", std::ios::binary);
  EXPECT_EQ(Bytes(std::istreambuf_iterator<char>(copy), {}), pat);
  fs::remove_all(dir);
  fs::remove_all(saved);
}

class MalformedSeems : public ::testing::TestWithParam<std::string> {};

TEST_P(MalformedSeems, AreRefusedWithTheLine) {
  const fs::path dir = FreshDir("bad");
  Write(dir / "seems.txt", "0x32 1 0 00\n" + GetParam() + "\n");
  TTestMachine sim;
  try {
    sim.Phone().LoadSeed(dir.string());
    ADD_FAILURE() << "accepted: " << GetParam();
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find(GetParam()), std::string::npos) << e.what();
  }
  fs::remove_all(dir);
}

INSTANTIATE_TEST_SUITE_P(Phone, MalformedSeems,
                         ::testing::Values("0x32 1", "0x32 1 0", "0x32 1 0 0G", "0x32 1 0 123",
                                           "zz 1 0 00", "0x10000 1 0 00", "0x32 1 -1 00"));

// The OFFSET field read as a number: the byte lands at that offset, or the line is refused.
struct SeemNumberCase {
  std::string token;
  std::optional<std::size_t> value;
};

void PrintTo(const SeemNumberCase& c, std::ostream* out) {
  *out << '"' << c.token << '"';
}

class SeemNumbers : public ::testing::TestWithParam<SeemNumberCase> {};

TEST_P(SeemNumbers, AreDecimalUnlessMarkedHexadecimal) {
  const SeemNumberCase c = GetParam();
  const fs::path dir = FreshDir("number");
  Write(dir / "seems.txt", "0x32 1 " + c.token + " AB\n");
  TTestMachine sim;
  if (!c.value) {
    EXPECT_THROW(sim.Phone().LoadSeed(dir.string()), std::runtime_error);
  } else {
    sim.Phone().LoadSeed(dir.string());
    Bytes expected(*c.value + 1, 0);
    expected.back() = 0xAB;
    EXPECT_EQ(sim.Phone().Seem(0x32, 1), expected);
  }
  fs::remove_all(dir);
}

INSTANTIATE_TEST_SUITE_P(
    Phone, SeemNumbers,
    ::testing::Values(SeemNumberCase{"0", 0}, SeemNumberCase{"7", 7}, SeemNumberCase{"010", 10},
                      SeemNumberCase{"09", 9}, SeemNumberCase{"0x10", 16},
                      SeemNumberCase{"0X1f", 31}, SeemNumberCase{"00", 0}, SeemNumberCase{"0x0", 0},
                      SeemNumberCase{"+1", std::nullopt}, SeemNumberCase{"-0", std::nullopt},
                      SeemNumberCase{"0x", std::nullopt}, SeemNumberCase{"0x-1", std::nullopt},
                      SeemNumberCase{"1e2", std::nullopt}, SeemNumberCase{"0b1", std::nullopt},
                      SeemNumberCase{"x10", std::nullopt}));

TEST(SeemNumberRange, EndsAt65535) {
  const fs::path dir = FreshDir("range");
  TTestMachine sim;
  Write(dir / "seems.txt", "65535 0xFFFF 0 01\n");
  sim.Phone().LoadSeed(dir.string());
  EXPECT_EQ(sim.Phone().Seem(0xFFFF, 0xFFFF), Bytes{1});
  for (const std::string line : {"65536 1 0 01", "0x10000 1 0 01", "1 99999999999999999999 0 01"}) {
    Write(dir / "seems.txt", line + "\n");
    EXPECT_THROW(sim.Phone().LoadSeed(dir.string()), std::runtime_error) << line;
  }
  fs::remove_all(dir);
}

TEST(SimulatedPhoneSeed, SeededPhoneServesTheProgramsCommands) {
  const fs::path dir = FreshDir("serve");
  const Bytes pat = Pattern(2500);
  Write(dir / "funlight.pat", pat);
  Write(dir / "seems.txt", "0x0032 1 99 0C\n");
  TTestMachine sim;
  TQueuedPoster poster;
  P2KAPI::TFileList files;
  P2KAPI::PhoneFiles = &files;
  {
    P2KAPI::TP2KAPI link(sim, poster);
    std::vector<int> statuses;
    link.OnStatus = [&](int s) { statuses.push_back(s); };
    sim.Phone().LoadSeed(dir.string());
    sim.Phone().Plug(TPhoneMode::Modem);
    link.Start(true);
    ASSERT_TRUE(sim.AdvanceUntil(
        [&] {
          poster.Pump();
          return statuses.size() == 2;
        },
        5000));
    link.Connected = true;

    ASSERT_TRUE(link.FindPhoneFiles(P2KAPI::FunlightPattern1, true));
    ASSERT_EQ(files.Count(), 1);
    EXPECT_EQ(files.Items(0).Size, 2500u);
    const fs::path local = dir / "copy.pat";
    ASSERT_TRUE(link.ReadPhoneFile(local.string(), files.Items(0).Name, files.Items(0).Size));
    std::ifstream in(local, std::ios::binary);
    EXPECT_EQ(Bytes(std::istreambuf_iterator<char>(in), {}), pat);

    std::uint8_t clublights = 0;
    std::uint16_t size = 1;
    ASSERT_TRUE(link.ReadSeem(0x32, 1, 99, 1, &clublights, size));
    EXPECT_EQ(clublights, 0x0C);
  }
  P2KAPI::PhoneFiles = nullptr;
  fs::remove_all(dir);
}

TEST(SimulatedPhoneClock, RealTimeMachineSleepsForReal) {
  const fs::path dir = FreshDir("realtime");
  Write(dir / "funlight.pat", Pattern(10));
  auto sim = CreateSimulatedPhonePlatform(dir.string());
  EXPECT_EQ(sim->ClockMode(), TClockMode::RealTime);
  EXPECT_TRUE(sim->Phone().Plugged());
  EXPECT_EQ(sim->Phone().Mode(), TPhoneMode::Modem);
  const auto start = std::chrono::steady_clock::now();
  const std::uint32_t ticks = sim->GetTickCount();
  sim->Sleep(20);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(20));
  EXPECT_GE(sim->GetTickCount() - ticks, 20u);
  fs::remove_all(dir);
}

// The machine answers only the values Windows and the drivers define, written out here, so that a
// wrong constant in the link finds no phone.
struct LiteralCase {
  const char* name;
  std::function<bool(TTestMachine&)> call;  // true when the machine accepted the call
  bool accepted;
};

const TGuid kP2KClassLiteral = {
    0x4E1E1E15, 0x52D7, 0x11D4, {0x85, 0x2D, 0x00, 0x10, 0x5A, 0xA6, 0xF8, 0x0B}};
const TGuid kDiskClassLiteral = {
    0x53F56307, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};

// Lists the class with the flags; true when the list holds a device.
bool ListsDevice(TTestMachine& sim, TGuid listed, std::uint32_t flags, TGuid enumerated) {
  const THandle list = sim.GetClassDevices(listed, flags);
  if (list == IPhonePlatform::kNoHandle) return false;
  const bool found = sim.EnumDeviceInterface(list, enumerated, 0);
  sim.DestroyDeviceList(list);
  return found;
}

TGuid Changed(TGuid g) {
  g.Data4[7] ^= 1;
  return g;
}

bool NameQueryAnswered(TTestMachine& sim, Bytes query) {
  const THandle device = sim.OpenDevice(kPhonePath, 0xC0000000u, 3, 0x40000000u);
  TOverlapped overlapped;
  overlapped.Event = sim.CreateEventObject(true, false);
  std::uint8_t answer[512] = {};
  std::uint32_t error = 0;
  sim.IoControl(device, 0x80002010u, query.data(), static_cast<std::uint32_t>(query.size()), answer,
                sizeof answer, &overlapped, error);
  std::uint32_t n = 0;
  const bool ok = sim.GetOverlappedResult(device, overlapped, n, true);
  sim.CloseHandle(overlapped.Event);
  sim.CloseHandle(device);
  return ok && n > 4;
}

bool KeyWatched(TTestMachine& sim, std::uint32_t access, std::uint32_t filter, bool subtree) {
  THandle key = IPhonePlatform::kNoHandle;
  if (sim.RegOpenLocalMachineKey(DeviceInterfaceKey(kPhonePath), access, key) != 0) return false;
  const THandle event = sim.CreateEventObject(true, false);
  const bool ok = sim.RegNotifyChange(key, subtree, filter, event, true) == 0;
  sim.CloseHandle(event);
  sim.RegCloseKey(key);
  return ok;
}

void PrintTo(const LiteralCase& c, std::ostream* out) {
  *out << c.name;
}

class LiteralValues : public ::testing::TestWithParam<LiteralCase> {};

TEST_P(LiteralValues, AreTheOnlyOnesTheMachineTakes) {
  TTestMachine sim;
  sim.Phone().Plug(TPhoneMode::P2K);
  sim.AddDisk("\\\\?\\usbstor#disk&ven_motorola#1");
  EXPECT_EQ(GetParam().call(sim), GetParam().accepted);
  EXPECT_EQ(sim.OpenHandles(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Phone, LiteralValues,
    ::testing::Values(
        LiteralCase{
            "P2KClass",
            [](auto& s) { return ListsDevice(s, kP2KClassLiteral, 0x12, kP2KClassLiteral); }, true},
        LiteralCase{
            "DiskClass",
            [](auto& s) { return ListsDevice(s, kDiskClassLiteral, 0x12, kDiskClassLiteral); },
            true},
        LiteralCase{"OtherClass",
                    [](auto& s) {
                      return ListsDevice(s, Changed(kP2KClassLiteral), 0x12,
                                         Changed(kP2KClassLiteral));
                    },
                    false},
        LiteralCase{
            "EnumeratedWithOtherClass",
            [](auto& s) { return ListsDevice(s, kP2KClassLiteral, 0x12, kDiskClassLiteral); },
            false},
        LiteralCase{
            "AllDevices",
            [](auto& s) { return ListsDevice(s, kP2KClassLiteral, 0x10, kP2KClassLiteral); },
            false},
        LiteralCase{
            "NotInterfaces",
            [](auto& s) { return ListsDevice(s, kP2KClassLiteral, 0x02, kP2KClassLiteral); },
            false},
        LiteralCase{"ReadWriteOpen",
                    [](auto& s) {
                      const THandle h = s.OpenDevice(kPhonePath, 0xC0000000u, 3, 0);
                      if (h) s.CloseHandle(h);
                      return h != IPhonePlatform::kNoHandle;
                    },
                    true},
        LiteralCase{"ReadOnlyOpen",
                    [](auto& s) {
                      const THandle h = s.OpenDevice(kPhonePath, 0x80000000u, 3, 0);
                      if (h) s.CloseHandle(h);
                      return h != IPhonePlatform::kNoHandle;
                    },
                    false},
        LiteralCase{"TestCommandQuery",
                    [](auto& s) {
                      return NameQueryAnswered(s, {0x02, 0x01});
                    },
                    true},
        LiteralCase{"FlashQuery",
                    [](auto& s) {
                      return NameQueryAnswered(s, {0x02, 0x00});
                    },
                    true},
        LiteralCase{"SwappedQuery",
                    [](auto& s) {
                      return NameQueryAnswered(s, {0x01, 0x02});
                    },
                    false},
        LiteralCase{"LongQuery",
                    [](auto& s) {
                      return NameQueryAnswered(s, {0x02, 0x01, 0x00, 0x00});
                    },
                    false},
        LiteralCase{"KeyReadAndWatch", [](auto& s) { return KeyWatched(s, 0x20019, 0x5, true); },
                    true},
        LiteralCase{"KeyAllAccess", [](auto& s) { return KeyWatched(s, 0xF003F, 0x5, true); },
                    false},
        LiteralCase{"KeyNamesOnly", [](auto& s) { return KeyWatched(s, 0x20019, 0x1, true); },
                    false},
        LiteralCase{"KeyWithoutSubtree", [](auto& s) { return KeyWatched(s, 0x20019, 0x5, false); },
                    false}),
    [](const ::testing::TestParamInfo<LiteralCase>& info) { return std::string(info.param.name); });

TEST(NoPhonePlatform, FindsNothingAndSendsNothing) {
  auto platform = CreateSystemPhonePlatform();
  EXPECT_FALSE(platform->HasPhoneDriver());
  EXPECT_TRUE(TSimulatedMachine().HasPhoneDriver());
  TQueuedPoster poster;
  P2KAPI::TP2KAPI link(*platform, poster);
  std::vector<std::string> lines;
  P2KAPI::OnLog = [&](const std::string& line) { lines.push_back(line); };
  EXPECT_FALSE(link.SendModeSwitch());
  EXPECT_EQ(link.FindP2KDevice("Motorola Test Command", 0x0102), IPhonePlatform::kNoHandle);
  EXPECT_EQ(link.FindP2KDevice("Motorola Flash", 0x0002), IPhonePlatform::kNoHandle);
  EXPECT_FALSE(link.SwitchStorageToP2K(8));
  EXPECT_TRUE(lines.empty());
  P2KAPI::OnLog = nullptr;
}
