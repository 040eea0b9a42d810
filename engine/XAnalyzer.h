// The file analyser component: the stream facts and tag texts of one MPEG audio file, read
// through "xanalyze.dll" the moment its FileName is written.
//
// The library is a load-time import of the engine binding: a program using the component
// does not start without it.
//
// GUI thread only. The analysis runs synchronously inside SetFileName.
#pragma once

#include "classlib/Classes.h"
#include "classlib/System.h"
#include "xanalyze/xanalyze.h"

// The record the library fills in place.
using TAnalyzerFileInfo = XA_AnalyzerFileInfo;

class TXAnalyzer : public TComponent {
 public:
  explicit TXAnalyzer(TComponent* AOwner);
  ~TXAnalyzer() override;

  const String& FileName() const { return file_name_; }
  // Analyses the file, every time (also when the name is the one already set). A file that
  // cannot be analysed reads back with Frames, Duration and Flags 0; nothing is raised.
  void SetFileName(const String& Value);

  // Passed to the library unchanged.
  Integer StopMask() const { return stop_mask_; }
  void SetStopMask(Integer Value) { stop_mask_ = Value; }
  Integer WatchDog() const { return watch_dog_; }
  void SetWatchDog(Integer Value) { watch_dog_ = Value; }
  Integer MaxFrames() const { return max_frames_; }
  void SetMaxFrames(Integer Value) { max_frames_ = Value; }

  Cardinal Frames() const { return info_.frames; }
  // Length in milliseconds.
  Cardinal Duration() const { return info_.duration; }
  Cardinal Flags() const { return info_.flags; }
  Cardinal Level() const { return info_.level; }
  Cardinal Layer() const { return info_.layer; }
  Cardinal Bitrate() const { return info_.bitrate; }
  Cardinal Frequency() const { return info_.frequency; }
  Cardinal Mode() const { return info_.mode; }
  Cardinal Channels() const { return info_.channels; }

  // Each read is a fresh copy of the library's text for the last analysis ("" for none).
  String Title() const { return Text(info_.title); }
  String Artist() const { return Text(info_.artist); }
  String Album() const { return Text(info_.album); }
  String Year() const { return Text(info_.year); }
  String Comment() const { return Text(info_.comment); }
  Byte Genre() const { return info_.genre; }

 private:
  static String Text(const char* p) { return p ? String(p) : String(); }

  void* handle_ = nullptr;
  String file_name_;
  Integer stop_mask_ = 0;
  Integer watch_dog_ = 0;
  Integer max_frames_ = 0;
  TAnalyzerFileInfo info_{};
};
