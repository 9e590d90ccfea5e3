// The simulated phone's seed folder, and the machine with no phone that stands for the system
// platform off Windows.
#include <stdexcept>

#include "DocSupport.h"
#include "PhoneTestSupport.h"

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

TEST(NoPhonePlatform, FindsNothingAndSendsNothing) {
  auto platform = CreateSystemPhonePlatform();
  EXPECT_FALSE(platform->HasPhoneDriver());
  TQueuedPoster poster;
  P2KAPI::TP2KAPI link(*platform, poster);
  EXPECT_FALSE(link.SendModeSwitch());
  EXPECT_EQ(link.FindP2KDevice(kTC, 0x0102), P::kNoHandle);
  EXPECT_FALSE(link.SwitchStorageToP2K(8));
}
