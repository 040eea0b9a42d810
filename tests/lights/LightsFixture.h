// A light controller test: the three forms made as the program makes them, off-screen,
// with dialogs answered by the test, and the lamp byte read back from the virtual port
// that the real "DLPortIO.dll" beside the test program writes.
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>
#include <sstream>
#include <string>
#include <vector>

#include "dlportio/dlportio.h"
#include "lights/Unit1.h"
#include "lights/Unit2.h"
#include "lights/Unit3.h"
#include "platform/classlib/GuiFixture.h"
#include "support/TestSupport.h"
#include "win32/Win32.h"

class LightsTest : public GuiTest {
 protected:
  void SetUp() override {
    GuiTest::SetUp();
    std::error_code ec;
    std::filesystem::remove_all(PortDir(), ec);
    std::filesystem::remove_all(kaztest::Prefix() + "/services", ec);
    // INI files of an earlier test of this process must not be read by this one.
    std::filesystem::remove_all(WindowsDir() + "/kaz_pro.ini", ec);
    std::filesystem::remove_all(WindowsDir() + "/KAZ_PRO.ini", ec);
    std::filesystem::remove_all(WindowsDir() + "/Spots.ini", ec);
  }
  void TearDown() override {
    GuiTest::TearDown();
    Form1 = nullptr;
    Form2 = nullptr;
    Form3 = nullptr;
  }

  static std::string PortDir() { return kaztest::Prefix() + "/" + kDlPortFolder; }
  static std::string WindowsDir() { return kaztest::Prefix() + "/windows"; }
  static void WriteIni(const std::string& name, const std::string& text) {
    std::filesystem::create_directories(WindowsDir());
    kaztest::WriteFile(WindowsDir() + "/" + name, text);
  }

  void StartLights() {
    Application->CreateForm(Form1);
    Application->CreateForm(Form2);
    Application->CreateForm(Form3);
    ASSERT_TRUE(Form1->PortIO->ActiveHW()) << Form1->PortIO->LastError();
  }

  // Every byte written to the lamp port so far, in order.
  static std::vector<int> PortBytes() {
    std::vector<int> out;
    std::istringstream in(kaztest::ReadFile(PortDir() + "/" + kDlPortLogName));
    std::string ns, port, byte;
    while (in >> ns >> port >> byte)
      if (port == "0378") out.push_back(std::stoi(byte, nullptr, 16));
    return out;
  }
  static int LastByte() {
    auto b = PortBytes();
    return b.empty() ? -1 : b.back();
  }
  // The bytes of the given number of steps, each read right after it.
  static std::vector<int> Steps(int n) {
    std::vector<int> out;
    for (int i = 0; i < n; ++i) {
      Form1->Timer1Timer(Form1);
      out.push_back(LastByte());
    }
    return out;
  }


  // Texts of the message boxes and messages shown so far (not the file dialogs).
  std::vector<String> Boxes() const {
    std::vector<String> out;
    for (auto& d : dialogs)
      if (d.Kind == dkMessageBox || d.Kind == dkShowMessage) out.push_back(d.Text);
    return out;
  }

  static void Beat() { SendMessageA(Form1->Handle(), WM_LIGHTS_BEAT, 0, 0); }
};
