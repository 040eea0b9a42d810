// The recording engine seen from a test: the "xaudio.dll" beside the test program plays
// nothing and keeps every command the player sends, one line each ("<deck> <code> <args>").
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "win32/Modules.h"

struct Recorder {
  HMODULE lib = LoadLibraryA("xaudio.dll");
  const char* (*log)() = reinterpret_cast<const char* (*)()>(GetProcAddress(lib, "rec_log"));
  void (*clear)() = reinterpret_cast<void (*)()>(GetProcAddress(lib, "rec_clear"));
  void (*reset)() = reinterpret_cast<void (*)()>(GetProcAddress(lib, "rec_reset"));

  bool Loaded() const { return log && clear && reset; }
  std::vector<std::string> Lines() const {
    std::vector<std::string> out;
    std::istringstream in(log());
    for (std::string l; std::getline(in, l);) out.push_back(l);
    return out;
  }
};

#include "PlayerFixture.h"

// A player test against the recording engine: the main window made and shown, with the
// log emptied of what start-up sent.
class RecordedPlayerTest : public PlayerTest {
 protected:
  void SetUp() override {
    PlayerTest::SetUp();
    ASSERT_TRUE(rec.Loaded()) << "not the recording engine";
    rec.reset();
    StartPlayer();
    frmMain->Show();
    rec.clear();
  }
  Recorder rec;
};
