// A media player over the platform's media control: it opens a device (here CD audio for
// a drive), plays, pauses, stops, moves between tracks and opens the door, and offers a bar
// of buttons for the same. GUI thread only.
#pragma once

#include "classlib/Controls.h"
#include "classlib/SysUtils.h"
#include "win32/Mci.h"

// A failed device operation; the message is the platform's error text.
KAZ_DECLARE_EXCEPTION(EMCIDeviceError, Exception)

enum TMPDeviceTypes { dtAutoSelect, dtCDAudio };
enum TMPModes { mpNotReady, mpStopped, mpPlaying, mpRecording, mpSeeking, mpPaused, mpOpen };
enum TMPTimeFormats { tfMilliseconds, tfMSF, tfTMSF };
// Scoped: the up-down control has a btNext and btPrev of its own.
enum class TMPBtnType { btPlay, btPause, btStop, btNext, btPrev, btStep, btBack, btRecord, btEject };
using TButtonSet = TSet<TMPBtnType>;

class TMediaPlayer : public TCustomControl {
 public:
  explicit TMediaPlayer(TComponent* AOwner);
  ~TMediaPlayer() override;

  TMPDeviceTypes DeviceType() const { return deviceType_; }
  void SetDeviceType(TMPDeviceTypes v) { deviceType_ = v; }
  // For CD audio: the drive letter.
  const String& FileName() const { return fileName_; }
  void SetFileName(const String& v) { fileName_ = v; }
  bool Shareable() const { return shareable_; }
  void SetShareable(bool v) { shareable_ = v; }
  TButtonSet ColoredButtons() const { return colored_; }
  void SetColoredButtons(TButtonSet v);
  TButtonSet VisibleButtons() const { return visible_; }
  void SetVisibleButtons(TButtonSet v);
  TMPTimeFormats TimeFormat() const { return timeFormat_; }
  void SetTimeFormat(TMPTimeFormats v);

  MCIDEVICEID DeviceID() const { return device_; }
  // The last operation's result and its text (0 and the text of success when it worked).
  MCIERROR Error() const { return error_; }
  String ErrorMessage() const;

  // Raise EMCIDeviceError when the device cannot be opened, and "No MCI device open" when
  // no device is open; the other failures of an open device are kept in Error only.
  void Open();
  void Close();
  void Play();
  void Pause();
  void Stop();
  void Next();
  void Previous();
  void Eject();
  TMPModes Mode();
  Integer Tracks();
  // Where track n starts, in the time format.
  Integer TrackPosition(Integer Track);
  Integer Position();
  // Moves there (in the time format).
  void SetPosition(Integer v);

  // A button of the bar was pressed: (Sender, button, DoDefault).
  std::function<void(TObject* Sender, TMPBtnType Button, bool& DoDefault)> OnClick;

 protected:
  void Paint() override;
  void MouseDown(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) override;

 private:
  void CheckOpen() const;
  MCIERROR Send(UINT Msg, DWORD Flags, void* Params);
  DWORD Status(DWORD Item, DWORD Track = 0);
  std::vector<TMPBtnType> Shown() const;

  TMPDeviceTypes deviceType_ = dtAutoSelect;
  String fileName_;
  bool shareable_ = false;
  TButtonSet colored_;
  TButtonSet visible_;
  TMPTimeFormats timeFormat_ = tfMSF;
  MCIDEVICEID device_ = 0;
  MCIERROR error_ = 0;
};

// The samples area's media player: opens a file for listening with whatever the desktop
// plays it with.
class TWindowsMediaPlayer : public TComponent {
 public:
  explicit TWindowsMediaPlayer(TComponent* AOwner) : TComponent(AOwner) {}
  // False when no player could be started for the file.
  bool OpenFile(const String& FileName);
};
