// The sound card's mixer as a component: it opens one mixer device, describes it, builds
// the tree of its destination lines, their source lines and every line's controls, and
// reads or sets the mute state of one line. It does not touch volumes.
// GUI thread only.
#pragma once

#include <functional>
#include <memory>

#include "classlib/Classes.h"
#include "win32/Mixer.h"

class TAudioMixer;

// A list of untyped pointers; when given a release callback, clearing the list hands each
// item to it (with the context) in index order.
class TPointerList : public TObject {
 public:
  using TRelease = void (*)(void* Context, void* Item);
  TPointerList() = default;
  TPointerList(TRelease Release, void* Context) : release_(Release), context_(Context) {}
  ~TPointerList() override;
  void Add(void* Item) { list_.Add(Item); }
  // Raises EListError "List index out of bounds (%d)" outside 0..Count-1.
  void* Get(Integer Index) const { return list_.Items(Index); }
  Integer Count() const { return list_.Count(); }
  void Clear();

 private:
  TList list_;
  TRelease release_ = nullptr;
  void* context_ = nullptr;
};

// The control records of one line, in the mixer's order.
class TMixerControls : public TObject {
 public:
  TMixerControls(TAudioMixer* Mixer, const MIXERLINEA& Line);
  MIXERCONTROLA* ControlAt(Integer Index) const {
    return static_cast<MIXERCONTROLA*>(list_.Get(Index));
  }
  Integer ControlCount() const { return list_.Count(); }

 private:
  std::unique_ptr<MIXERCONTROLA[]> block_;
  TPointerList list_;
};

class TMixerConnection : public TObject {
 public:
  TMixerConnection(TAudioMixer* Mixer, const MIXERLINEA& Line);
  TAudioMixer* Mixer;
  MIXERLINEA Line;
  std::unique_ptr<TMixerControls> Controls;
};

class TMixerConnections : public TObject {
 public:
  TMixerConnections(TAudioMixer* Mixer, const MIXERLINEA& Destination);
  TMixerConnection* ConnectionAt(Integer Index) const {
    return static_cast<TMixerConnection*>(list_.Get(Index));
  }
  Integer ConnectionCount() const { return list_.Count(); }

 private:
  TAudioMixer* mixer_;
  TPointerList list_;
};

class TMixerDestination : public TObject {
 public:
  TMixerDestination(TAudioMixer* Mixer, const MIXERLINEA& Line);
  ~TMixerDestination() override;
  TAudioMixer* Mixer;
  MIXERLINEA Line;
  TMixerControls* Controls = nullptr;
  TMixerConnections* Connections = nullptr;
};

class TMixerDestinations : public TObject {
 public:
  explicit TMixerDestinations(TAudioMixer* Mixer);
  TMixerDestination* DestinationAt(Integer Index) const {
    return static_cast<TMixerDestination*>(list_.Get(Index));
  }
  Integer Count() const { return list_.Count(); }

 private:
  TPointerList list_;
};

// (Sender, mixer handle, line or control id)
using TMixerChange = std::function<void(TObject* Sender, Integer MixerH, Integer ID)>;

class TAudioMixer : public TComponent {
 public:
  explicit TAudioMixer(TComponent* AOwner);
  ~TAudioMixer() override;

  Cardinal DriverVersion() const { return driverVersion_; }
  Word ProductId() const { return productId_; }
  Integer NumberOfLine() const { return numberOfLine_; }
  const String& Manufacturer() const { return manufacturer_; }
  const String& ProductName() const { return productName_; }
  Integer MixerId() const { return mixerId_; }
  // Opens device Value (clamped to the last device; a negative value opens none) and
  // builds its tree afresh. Nothing happens on a machine without mixers.
  void SetMixerId(Integer Value);
  // Never raised: the mixer's change messages go to the default window procedure.
  TMixerChange OnLineChange;
  TMixerChange OnControlChange;

  // The line tree of the open mixer; null while none is open.
  TMixerDestinations* Destinations() const { return destinations_.get(); }
  HMIXER Handle() const { return handle_; }

  // Connection -1 is the destination line itself, otherwise one of its source lines. True
  // when a value was read or written; a bad index raises EListError.
  bool GetLineMute(Integer Destination, Integer Connection, bool& Muted);
  bool SetLineMute(Integer Destination, Integer Connection, bool Mute);

 private:
  void CloseMixer();
  const MIXERLINEA& LineOf(Integer Destination, Integer Connection) const;
  bool FindMute(const MIXERLINEA& Line, MIXERCONTROLA& Control) const;
  bool ReadItems(const TMixerDestination& Dest, const MIXERCONTROLA& Control, LONG* Items,
                 MIXERCONTROLDETAILS* Details) const;

  HWND window_ = 0;
  std::unique_ptr<TMixerDestinations> destinations_;
  UINT deviceCount_ = 0;
  HMIXER handle_ = nullptr;
  Integer mixerId_ = -1;
  MIXERCAPSA caps_{};
  Cardinal driverVersion_ = 0;
  String manufacturer_;
  Word productId_ = 0;
  Integer numberOfLine_ = 0;
  String productName_;
};
