// The settings kept between runs in "KAZ_PRO.ini", read once at start and written back
// at close, and the window's close. The same file carries the light controller's keys
// under "Handle": every read and write goes through the profile functions, key by key, so
// each program changes only its own lines and both programs' writes survive each other.
#include <iterator>
#include <utility>

#include "classlib/IniFiles.h"
#include "player/uMain.h"

namespace {

const char* const SettingsFile = "KAZ_PRO.ini";

// Handles are 32-bit values; the file keeps them as the platform's signed integers.
HWND HandleOf(Integer Value) {
  return static_cast<HWND>(static_cast<Cardinal>(Value));
}

Integer Flag(bool On) {
  return On ? -1 : 0;
}

}  // namespace

void TfrmMain::LoadSettings() {
  TIniFile ini(SettingsFile);
  HandleAnnounced = true;
  // When the light controller started first, its window is already known.
  LightWindow = HandleOf(ini.ReadInteger("Handle", "SPOTS", 0));
  // The light controller reads this at its start and answers with WM_LIGHTS_ATTACH. The
  // player runs without it, so a refused write is not worth stopping the start for.
  try {
    ini.WriteInteger("Handle", "KAZ", static_cast<Integer>(Handle()));
  } catch (const Exception&) {
  }

  AutoMix = Flag(ini.ReadBool("Mix", "AutoMix", false));
  MixStart = ini.ReadInteger("Mix", "Start", 20);
  MixLength = ini.ReadInteger("Mix", "Length", 10);
  MixSeek = ini.ReadInteger("Mix", "Seek", 5);
  MixMethod = ini.ReadInteger("Mix", "Method", 1);
  SoundLine = Flag(ini.ReadBool("Graph", "SoundLine", false));
  Deck1.BoomLine = Flag(ini.ReadBool("Graph", "BoomLine1", false));
  Deck2.BoomLine = Flag(ini.ReadBool("Graph", "BoomLine2", false));
  BoomMethod = ini.ReadInteger("Graph", "BoomMethod", 1);
  const String folder = ini.ReadString("Browse", "LastDir", "C:");
  CardIndex1 = ini.ReadInteger("Sound Card", "#1", 0);
  CardIndex2 = ini.ReadInteger("Sound Card", "#2", 0);

  // Each of these runs its control's own handler when it changes what the control shows.
  chkVuMeters->SetChecked(ini.ReadBool("Setup", "VuMeters", true));
  sldRefreshVU->SetValue(ini.ReadInteger("Setup", "VURefresh", 70));
  AlwaysHeadphones = Flag(ini.ReadBool("Setup", "ASound", false));
  chkPreL->SetChecked(ini.ReadBool("Setup", "PreL", false));
  chk2SC->SetChecked(ini.ReadBool("Setup", "TurnTable", false));
  chkDPitchBend->SetChecked(ini.ReadBool("Setup", "DynamicPitchBend", true));
  SettingsRead = true;

  chkAutoMix->SetChecked(AutoMix != 0);
  // The spin edits keep their values in range; what they show is what the mix uses, also
  // when a value out of range comes back as the one they already showed (no change then).
  const Integer stored[] = {MixStart, MixLength, MixSeek, MixMethod};
  TRxSpinEdit* const spins[] = {spnAMixStart, spnAMixLength, spnASeek, spnAMethod};
  for (size_t i = 0; i < std::size(spins); ++i) spins[i]->SetValue(stored[i]);
  spnAMixStartChange(spnAMixStart);
  spnAMixLengthChange(spnAMixLength);
  spnASeekChange(spnASeek);
  spnAMethodChange(spnAMethod);
  popSoundLine->SetChecked(SoundLine != 0);
  chkASound->SetChecked(AlwaysHeadphones != 0);

  chkPreLClick(chkPreL);
  TMenuItem* method = BoomMethod == 1 ? popBDetect1 : popBDetect2;
  method->SetDefault(true);
  method->SetChecked(true);
  OpenExplorer(folder);
  RunVUTimer();
  chk2SCClick(chk2SC);
}

void TfrmMain::SaveSettings() {
  TIniFile ini(SettingsFile);
  if (HandleAnnounced) ini.WriteInteger("Handle", "KAZ", 0);
  if (!SettingsRead) return;
  ini.WriteBool("Mix", "AutoMix", AutoMix != 0);
  ini.WriteInteger("Mix", "Start", MixStart);
  ini.WriteInteger("Mix", "Length", MixLength);
  ini.WriteInteger("Mix", "Seek", MixSeek);
  ini.WriteInteger("Mix", "Method", MixMethod);
  ini.WriteBool("Graph", "SoundLine", SoundLine != 0);
  ini.WriteBool("Graph", "BoomLine1", Deck1.BoomLine != 0);
  ini.WriteBool("Graph", "BoomLine2", Deck2.BoomLine != 0);
  ini.WriteInteger("Graph", "BoomMethod", BoomMethod);
  ini.WriteInteger("Sound Card", "#1", CardIndex1);
  ini.WriteInteger("Sound Card", "#2", CardIndex2);
  // The meters' timer rests while no deck plays; the box says whether the meters are on.
  ini.WriteBool("Setup", "VuMeters", chkVuMeters->Checked());
  ini.WriteInteger("Setup", "VURefresh", sldRefreshVU->Value());
  ini.WriteBool("Setup", "ASound", chkASound->Checked());
  ini.WriteBool("Setup", "PreL", chkPreL->Checked());
  ini.WriteBool("Setup", "TurnTable", chk2SC->Checked());
  ini.WriteBool("Setup", "DynamicPitchBend", chkDPitchBend->Checked());
  ini.WriteString("Browse", "LastDir", CurrentFolder);
}

void TfrmMain::FormCloseQuery(TObject*, bool&) {
  // A settings file that cannot be written is reported, but the shut-down goes on: the
  // user asked to leave, and the decks must not play on behind a window that is gone.
  try {
    SaveSettings();
  } catch (const Exception&) {
    Application->HandleException(this);
  }
  tmrVU->SetEnabled(false);
  CloseCD();
  // No mix step or bend may reach the decks once they are stopped.
  StopMix();
  tmrPitchBend->SetEnabled(false);
  if (Deck1.Xaudio) {
    Xaudio1->Stop();
    Xaudio2->Stop();
  }
  // The list goes with the window; a device report still on its way finds it empty.
  CardList->Clear();
}

void TfrmMain::FormClose(TObject*, TCloseAction&) {
  // The close action stays as it is: closing the main window ends the program.
}
