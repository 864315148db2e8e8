// The daemon's debug switch, its next-hop-index file and the chip test.
#include <gtest/gtest.h>

#include "fakes.h"

namespace {

using nv::ErrorKind;
using nvtest::Rig;

const char kLs[] = "ls /norvask/kestrad/debug/mroute/info";
const char kCat[] = "cat /norvask/kestrad/debug/mroute/info";
const char kSwitch[] = "echo 1 > /norvask/kestrad/ctrl/debug";

TEST(DebugProbe, TrueWhenLsPrintsAnything) {
  struct Case {
    std::optional<std::string> out;
    bool want;
  } cases[] = {{std::string("/norvask/kestrad/debug/mroute/info\n"), true},
               {std::string("\n"), true},
               {std::string(""), false},
               {std::nullopt, false}};
  for (const auto& c : cases) {
    Rig rig;
    if (c.out) rig.sys->programs[kLs] = c.out;
    EXPECT_EQ(nv::XgsAsic::get_kestrad_debug(*rig.sys), c.want);
  }
  Rig rig;
  rig.sys->missing.insert(kLs);
  EXPECT_NV_ERROR(nv::XgsAsic::get_kestrad_debug(*rig.sys), ErrorKind::OS, "No such file or directory");
}

TEST(DebugSwitch, WritesOnlyToSwitchWhatItSwitchedOn) {
  struct Step {
    bool enable;
    bool writes;
    bool after;
  };
  struct Case {
    bool was_on;
    std::vector<Step> steps;
  } cases[] = {
      {false, {{true, true, true}, {true, false, true}, {false, true, false}, {false, false, false}}},
      {false, {{false, false, false}, {true, true, true}}},
      {true, {{true, false, true}, {false, false, false}, {false, false, false}}},
  };
  for (const auto& c : cases) {
    Rig rig;
    rig.bare();
    rig.asic.kestrad_debug_enabled = c.was_on;
    for (const auto& s : c.steps) {
      size_t before = rig.sys->shell_lines.size();
      if (s.enable)
        rig.asic.enable_kestrad_debug();
      else
        rig.asic.disable_kestrad_debug();
      EXPECT_EQ(rig.sys->shell_lines.size() - before, s.writes ? 1u : 0u);
      EXPECT_EQ(rig.asic.nq_mroute_kestrad_debug_enabled, s.after);
    }
    for (const auto& l : rig.sys->shell_lines) EXPECT_EQ(l, kSwitch);
  }
}

TEST(NextHopFile, ReadsIndexAndInterfaceFromLongLines) {
  Rig rig;
  rig.bare(true);
  rig.sys->programs[kCat] =
      "mroute info\n"
      "l3intf 1 vlan 100 nhi 100001 mac 02:00:00:00:00:01\n"
      "l3intf 2 vlan 200 nhi 100002\n"
      "nhi 3 x\n"                      // three words
      "l3intf 4 vlan nhi 100004\n"     // five words: no index word
      "L3INTF 5 VLAN 500 NHI 100005\n" // no lower-case nhi
      "l3intf 6 vlan 600 nhi 100001\n";  // same index: replaces
  rig.asic.parse_l3_intf_nhi();
  EXPECT_EQ(*rig.asic.l3_intf_nhi, (nv::IntMap{{100001, 6}, {100002, 2}}));
  EXPECT_EQ(rig.sys->shell_lines, std::vector<std::string>(2, kSwitch));
}

TEST(NextHopFile, MissingFileGivesNothingAndSwitchesBack) {
  Rig rig;
  rig.bare(true);
  rig.asic.parse_l3_intf_nhi();
  EXPECT_TRUE(rig.asic.l3_intf_nhi->empty());
  EXPECT_EQ(rig.logged(""), (std::vector<std::string>{"shell " + std::string(kSwitch),
                                                      "capture " + std::string(kCat),
                                                      "shell " + std::string(kSwitch)}));
}

TEST(NextHopFile, FailureAfterSwitchingOnSwitchesBackAndKeepsTheError) {
  {
    Rig rig;
    rig.bare(true);
    rig.sys->programs[kCat] = "l3intf 1 vlan 100 nhi 10000x\nl3intf 2 vlan 200 nhi 100002\n";
    EXPECT_NV_ERROR(rig.asic.parse_l3_intf_nhi(), ErrorKind::Value,
                    "invalid literal for int() with base 10: '10000x'");
    EXPECT_EQ(rig.sys->shell_lines, std::vector<std::string>(2, kSwitch));
    EXPECT_EQ(rig.asic.nq_mroute_kestrad_debug_enabled, false);
  }
  {
    Rig rig;
    rig.bare(true);
    rig.sys->missing.insert(kCat);
    EXPECT_NV_ERROR(rig.asic.parse_l3_intf_nhi(), ErrorKind::OS, "No such file or directory");
    EXPECT_EQ(rig.sys->shell_lines, std::vector<std::string>(2, kSwitch));
  }
  {
    // Output that was on before is left on, failure or not.
    Rig rig;
    rig.bare(true);
    rig.asic.kestrad_debug_enabled = true;
    rig.sys->programs[kCat] = "a 1 b c nhi x\n";
    EXPECT_THROW(rig.asic.parse_l3_intf_nhi(), nv::Error);
    EXPECT_TRUE(rig.sys->shell_lines.empty());
  }
}

TEST(ChipTest, OneGigChipByItsNumber) {
  Rig rig;
  rig.bare();
  rig.shell->answers["show unit"] = "Unit 0 chip XGS56340_A0 (current)\n";
  EXPECT_TRUE(rig.asic.is_1G_chip());
  rig.shell->answers["show unit"] = "Unit 0 chip XGS56850_A0 (current)\n";
  EXPECT_FALSE(rig.asic.is_1G_chip());
  rig.shell->timeouts.insert("show unit");
  EXPECT_NV_ERROR(rig.asic.is_1G_chip(), ErrorKind::Runtime, "show unit timed out");
}

}  // namespace
