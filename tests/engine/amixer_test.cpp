// The mixer component over mixers described in the prefix: the shapes a sound card's mixer
// comes in (a line with its own mute, sources chosen by a MIXER or MUX control, several
// devices, none, a damaged description).
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "classlib/SysUtils.h"
#include "engine/AMixer.h"
#include "win32/Profile.h"
#include "support/TestSupport.h"

namespace {

std::string MixerFile() {
  return kaztest::Prefix() + "/mixer.ini";
}

// Device 0: destination 0 "Volume Control" with a mute of its own and three sources
// (Microphone with a mute, Line In and CD Audio without one) whose selection is a
// destination control of type `selector`; destination 1 with one source and no controls.
// Device 1: one destination, no sources.
std::string TwoDevices(const std::string& selector, const std::string& values) {
  return "[Mixer]\r\nCount=2\r\n"
         "[Mixer0]\r\nName=Test Card\r\nManufacturer=1\r\nProduct=7\r\nVersion=513\r\n"
         "Destinations=2\r\n"
         "[Mixer0.0]\r\nName=Volume Control\r\nChannels=2\r\nSources=3\r\nControls=2\r\n"
         "[Mixer0.0.C0]\r\nType=MUTE\r\nValues=0\r\n"
         "[Mixer0.0.C1]\r\nType=" + selector + "\r\nItems=3\r\nValues=" + values + "\r\n"
         "[Mixer0.0.0]\r\nName=Microphone\r\nControls=1\r\n"
         "[Mixer0.0.0.C0]\r\nType=MUTE\r\nValues=1\r\n"
         "[Mixer0.0.1]\r\nName=Line In\r\n"
         "[Mixer0.0.2]\r\nName=CD Audio\r\n"
         "[Mixer0.1]\r\nName=Recording Control\r\nSources=1\r\n"
         "[Mixer0.1.0]\r\nName=Micro\r\n"
         "[Mixer1]\r\nName=Second Card\r\nManufacturer=2\r\nDestinations=1\r\n"
         "[Mixer1.0]\r\nName=Speakers\r\n";
}

std::string Values(const std::string& section) {
  char buf[256];
  GetPrivateProfileStringA(section.c_str(), "Values", "", buf, sizeof buf, MixerFile().c_str());
  return buf;
}

class MixerTest : public ::testing::Test {
 protected:
  void Use(const std::string& description) { kaztest::WriteFile(MixerFile(), description); }
  void TearDown() override { std::remove(MixerFile().c_str()); }
  TComponent owner{nullptr};
};

TEST_F(MixerTest, AMachineWithoutMixersOpensNone) {
  Use("[Mixer]\r\nCount=0\r\n");
  TAudioMixer mixer(&owner);
  EXPECT_EQ(mixer.MixerId(), -1);
  EXPECT_EQ(mixer.Destinations(), nullptr);
  EXPECT_EQ(mixer.ProductName(), "");
  EXPECT_EQ(mixer.Manufacturer(), "");
  bool muted = true;
  EXPECT_FALSE(mixer.GetLineMute(0, 0, muted));
  EXPECT_FALSE(muted);
  EXPECT_FALSE(mixer.SetLineMute(0, -1, true));
  mixer.SetMixerId(0);
  EXPECT_EQ(mixer.MixerId(), -1);
}

TEST_F(MixerTest, DescribesTheDeviceAndBuildsItsTree) {
  Use(TwoDevices("MIXER", "0,1,0"));
  TAudioMixer mixer(&owner);
  ASSERT_EQ(mixer.MixerId(), 0);
  EXPECT_EQ(mixer.Manufacturer(), "Microsoft");
  EXPECT_EQ(mixer.ProductName(), "Test Card");
  EXPECT_EQ(mixer.ProductId(), 7);
  EXPECT_EQ(mixer.DriverVersion(), 513u);
  EXPECT_EQ(mixer.NumberOfLine(), 2);
  ASSERT_EQ(mixer.Destinations()->Count(), 2);
  TMixerDestination* d0 = mixer.Destinations()->DestinationAt(0);
  EXPECT_STREQ(d0->Line.szName, "Volume Control");
  EXPECT_EQ(d0->Controls->ControlCount(), 2);
  ASSERT_EQ(d0->Connections->ConnectionCount(), 3);
  EXPECT_STREQ(d0->Connections->ConnectionAt(2)->Line.szName, "CD Audio");
  EXPECT_EQ(d0->Connections->ConnectionAt(0)->Controls->ControlCount(), 1);
  EXPECT_EQ(d0->Controls->ControlAt(1)->dwControlType, MIXERCONTROL_CONTROLTYPE_MIXER);
  EXPECT_EQ(d0->Controls->ControlAt(1)->cMultipleItems, 3u);

  // Past the last device: the last one; a negative number: none; 0 again: a new tree.
  mixer.SetMixerId(5);
  EXPECT_EQ(mixer.MixerId(), 1);
  EXPECT_EQ(mixer.Manufacturer(), "2 = Unknown");
  EXPECT_EQ(mixer.Destinations()->DestinationAt(0)->Connections->ConnectionCount(), 0);
  mixer.SetMixerId(-3);
  EXPECT_EQ(mixer.MixerId(), -1);
  EXPECT_EQ(mixer.Destinations(), nullptr);
  EXPECT_EQ(mixer.ProductName(), "Second Card");  // the description stays
  mixer.SetMixerId(0);
  EXPECT_EQ(mixer.Destinations()->Count(), 2);
  EXPECT_THROW(mixer.Destinations()->DestinationAt(2), EListError);
}

TEST_F(MixerTest, ALineWithItsOwnMuteIsReadAndSetThroughIt) {
  Use(TwoDevices("MIXER", "0,1,0"));
  TAudioMixer mixer(&owner);
  bool muted = false;
  ASSERT_TRUE(mixer.GetLineMute(0, 0, muted));
  EXPECT_TRUE(muted);
  ASSERT_TRUE(mixer.SetLineMute(0, 0, false));
  EXPECT_EQ(Values("Mixer0.0.0.C0"), "0");
  EXPECT_EQ(Values("Mixer0.0.C1"), "0,1,0");  // the selector is left alone
  ASSERT_TRUE(mixer.GetLineMute(0, -1, muted));
  EXPECT_FALSE(muted);
  ASSERT_TRUE(mixer.SetLineMute(0, -1, true));
  EXPECT_EQ(Values("Mixer0.0.C0"), "1");
  // Another program mutes the microphone while the mixer is open.
  WritePrivateProfileStringA("Mixer0.0.0.C0", "Values", "1", MixerFile().c_str());
  ASSERT_TRUE(mixer.GetLineMute(0, 0, muted));
  EXPECT_TRUE(muted);
  // A destination without a mute has nothing to read.
  EXPECT_FALSE(mixer.GetLineMute(1, -1, muted));
  EXPECT_FALSE(mixer.SetLineMute(1, 0, true));
}

TEST_F(MixerTest, SourcesWithoutAMuteGoThroughTheDestinationsSelector) {
  Use(TwoDevices("MIXER", "0,1,0"));
  {
    TAudioMixer mixer(&owner);
    bool muted = false;
    ASSERT_TRUE(mixer.GetLineMute(0, 1, muted));
    EXPECT_TRUE(muted);
    ASSERT_TRUE(mixer.GetLineMute(0, 2, muted));
    EXPECT_FALSE(muted);
    // A MIXER control is written back as read, with this line's entry set.
    ASSERT_TRUE(mixer.SetLineMute(0, 2, false));
    EXPECT_EQ(Values("Mixer0.0.C1"), "0,1,0");
    ASSERT_TRUE(mixer.SetLineMute(0, 2, true));
    EXPECT_EQ(Values("Mixer0.0.C1"), "0,1,1");
  }
  Use(TwoDevices("MUX", "0,1,0"));
  TAudioMixer mixer(&owner);
  // A MUX control chooses one: clearing a line clears every choice.
  ASSERT_TRUE(mixer.SetLineMute(0, 2, false));
  EXPECT_EQ(Values("Mixer0.0.C1"), "0,0,0");
  ASSERT_TRUE(mixer.SetLineMute(0, 1, true));
  EXPECT_EQ(Values("Mixer0.0.C1"), "0,1,0");
  bool muted = false;
  EXPECT_THROW(mixer.GetLineMute(0, 3, muted), EListError);
  EXPECT_THROW(mixer.SetLineMute(2, 0, true), EListError);
}

TEST_F(MixerTest, ADamagedDescriptionGivesWhatItCanAndNoCrash) {
  std::string junk = "[Mixer]\r\nCount=3\r\n[Mixer0]\r\nDestinations=99999\r\n";
  for (int i = 0; i < 4096; ++i) junk += static_cast<char>((i * 131) & 0xFF);
  junk += "\r\n[Mixer0.0]\r\nSources=-5\r\nControls=1000000\r\n[Mixer0.0.C0]\r\nType=MUX\r\n"
          "Items=1000\r\nValues=1,2,x,,9999999999999\r\n";
  Use(junk);
  TAudioMixer mixer(&owner);
  EXPECT_EQ(mixer.MixerId(), 0);
  bool muted = false;
  // The selector has more values than are read at once: passed over.
  EXPECT_FALSE(mixer.GetLineMute(0, -1, muted));
  mixer.SetMixerId(2);
  EXPECT_EQ(mixer.MixerId(), 2);
}

}  // namespace
