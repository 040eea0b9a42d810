#include "win32/Mixer.h"

#include <alsa/asoundlib.h>
#include <poll.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "win32/Ansi.h"
#include "win32/Prefix.h"
#include "win32/Profile.h"

namespace {

constexpr DWORD kDestination = 0xFFFFFFFF;  // `source` of a destination line

struct Control {
  DWORD id = 0;
  DWORD type = 0;
  std::string name;
  DWORD items = 0;  // > 0 for MIXER and MUX controls: one value per source line
  bool uniform = true;
  size_t count = 1;  // values: (uniform ? 1 : channels) x max(1, items)
  // Where a written value goes: the mixer file's section, or a sound card's element.
  std::function<bool(const std::vector<LONG>&)> apply;
  // Where the value is now: another program may have changed it since the device was
  // opened.
  std::function<std::vector<LONG>()> read;
};

struct Line {
  DWORD destination = 0;
  DWORD source = kDestination;
  DWORD id = 0;
  DWORD type = 0;
  DWORD channels = 2;
  DWORD connections = 0;
  std::string name, shortName;
  std::vector<Control> controls;
};

struct Device {
  std::string name;
  WORD manufacturer = 0, product = 0;
  DWORD version = 0;
  std::vector<Line> lines;  // destinations and sources, in no particular order
  std::shared_ptr<snd_mixer_t> alsa;

  Line* Find(DWORD destination, DWORD source) {
    for (Line& l : lines)
      if (l.destination == destination && l.source == source) return &l;
    return nullptr;
  }
  Line* FindId(DWORD id) {
    for (Line& l : lines)
      if (l.id == id) return &l;
    return nullptr;
  }
  DWORD Destinations() const {
    DWORD n = 0;
    for (const Line& l : lines) n += l.source == kDestination;
    return n;
  }
};

DWORD LineId(DWORD destination, DWORD source) {
  return destination << 16 | (source == kDestination ? 0xFFFF : source);
}

void NumberControls(Line& line) {
  for (size_t c = 0; c < line.controls.size(); ++c)
    line.controls[c].id = line.id << 8 | static_cast<DWORD>(c);
}

// --- The mixer file ----------------------------------------------------------------------

std::string Read(const std::string& file, const std::string& section, const char* key,
                 const char* fallback = "") {
  char buf[1024];
  GetPrivateProfileStringA(section.c_str(), key, fallback, buf, sizeof buf, file.c_str());
  return buf;
}
int ReadInt(const std::string& file, const std::string& section, const char* key, int fallback) {
  return static_cast<int>(GetPrivateProfileIntA(section.c_str(), key, fallback, file.c_str()));
}

DWORD ControlType(const std::string& text) {
  static const std::map<std::string, DWORD> kTypes = {{"MUTE", MIXERCONTROL_CONTROLTYPE_MUTE},
                                                      {"VOLUME", MIXERCONTROL_CONTROLTYPE_VOLUME},
                                                      {"MIXER", MIXERCONTROL_CONTROLTYPE_MIXER},
                                                      {"MUX", MIXERCONTROL_CONTROLTYPE_MUX}};
  auto it = kTypes.find(text);
  return it != kTypes.end() ? it->second
                            : static_cast<DWORD>(std::strtoul(text.c_str(), nullptr, 0));
}

std::vector<LONG> ParseValues(const std::string& text, size_t count) {
  std::vector<LONG> v(count, 0);
  size_t i = 0;
  for (const char* p = text.c_str(); *p && i < count; ++i) {
    v[i] = static_cast<LONG>(std::strtol(p, const_cast<char**>(&p), 10));
    while (*p && *p != ',') ++p;
    if (*p == ',') ++p;
  }
  return v;
}

Line FileLine(const std::string& file, const std::string& section, DWORD destination,
              DWORD source) {
  Line l;
  l.destination = destination;
  l.source = source;
  l.id = LineId(destination, source);
  l.name = Read(file, section, "Name").substr(0, MIXER_LONG_NAME_CHARS - 1);
  l.shortName =
      Read(file, section, "ShortName", l.name.c_str()).substr(0, MIXER_SHORT_NAME_CHARS - 1);
  l.type = static_cast<DWORD>(ReadInt(file, section, "Type", 0));
  l.channels = static_cast<DWORD>(std::clamp(ReadInt(file, section, "Channels", 2), 1, 8));
  const int controls = std::clamp(ReadInt(file, section, "Controls", 0), 0, 64);
  for (int c = 0; c < controls; ++c) {
    Control k;
    const std::string at = section + ".C" + std::to_string(c);
    k.type = ControlType(Read(file, at, "Type"));
    k.name = Read(file, at, "Name").substr(0, MIXER_LONG_NAME_CHARS - 1);
    k.items = static_cast<DWORD>(std::clamp(ReadInt(file, at, "Items", 0), 0, 64));
    k.uniform = ReadInt(file, at, "Uniform", 1) != 0;
    k.count = (k.uniform ? 1 : l.channels) * std::max<DWORD>(1, k.items);
    k.read = [path = file, at, count = k.count] {
      return ParseValues(Read(path, at, "Values"), count);
    };
    k.apply = [path = file, at](const std::vector<LONG>& values) {
      std::string text;
      for (size_t i = 0; i < values.size(); ++i) text += (i ? "," : "") + std::to_string(values[i]);
      return WritePrivateProfileStringA(at.c_str(), "Values", text.c_str(), path.c_str()) != 0;
    };
    l.controls.push_back(std::move(k));
  }
  NumberControls(l);
  return l;
}

std::vector<std::shared_ptr<Device>> FileDevices(const std::string& file) {
  std::vector<std::shared_ptr<Device>> out;
  const int count = std::clamp(ReadInt(file, "Mixer", "Count", 0), 0, 32);
  for (int m = 0; m < count; ++m) {
    auto d = std::make_shared<Device>();
    const std::string s = "Mixer" + std::to_string(m);
    d->name = Read(file, s, "Name").substr(0, MAXPNAMELEN - 1);
    d->manufacturer = static_cast<WORD>(ReadInt(file, s, "Manufacturer", 0));
    d->product = static_cast<WORD>(ReadInt(file, s, "Product", 0));
    d->version = static_cast<DWORD>(ReadInt(file, s, "Version", 0));
    const int dests = std::clamp(ReadInt(file, s, "Destinations", 0), 0, 16);
    for (int dst = 0; dst < dests; ++dst) {
      const std::string ds = s + "." + std::to_string(dst);
      Line dest = FileLine(file, ds, static_cast<DWORD>(dst), kDestination);
      const int sources = std::clamp(ReadInt(file, ds, "Sources", 0), 0, 64);
      dest.connections = static_cast<DWORD>(sources);
      d->lines.push_back(std::move(dest));
      for (int src = 0; src < sources; ++src)
        d->lines.push_back(FileLine(file, ds + "." + std::to_string(src), static_cast<DWORD>(dst),
                                    static_cast<DWORD>(src)));
    }
    out.push_back(std::move(d));
  }
  return out;
}

// --- Sound cards through ALSA ------------------------------------------------------------

std::string WindowsLineName(const std::string& alsa) {
  static const std::map<std::string, std::string> kNames = {
      {"Mic", "Microphone"}, {"Line", "Line In"}, {"CD", "CD Audio"}, {"PCM", "Wave"}};
  auto it = kNames.find(alsa);
  return (it != kNames.end() ? it->second : alsa).substr(0, MIXER_LONG_NAME_CHARS - 1);
}

// Takes in what other programs changed on the card since the last look, without waiting:
// the element values read below are the ones ALSA last heard of.
void TakeCardEvents(snd_mixer_t* mixer) {
  pollfd fds[8];
  const int n = snd_mixer_poll_descriptors(mixer, fds, 8);
  if (n > 0 && poll(fds, static_cast<nfds_t>(n), 0) > 0) snd_mixer_handle_events(mixer);
}

// A mute control over an element's playback or capture switch (switch on = audible).
Control SwitchMute(snd_mixer_t* mixer, snd_mixer_elem_t* e, bool capture) {
  Control k;
  k.type = MIXERCONTROL_CONTROLTYPE_MUTE;
  k.name = "Mute";
  k.read = [mixer, e, capture] {
    TakeCardEvents(mixer);
    int on = 1;
    if (capture) {
      snd_mixer_selem_get_capture_switch(e, SND_MIXER_SCHN_FRONT_LEFT, &on);
    } else {
      snd_mixer_selem_get_playback_switch(e, SND_MIXER_SCHN_FRONT_LEFT, &on);
    }
    return std::vector<LONG>{on ? 0 : 1};
  };
  k.apply = [e, capture](const std::vector<LONG>& v) {
    const int value = v.empty() || v[0] == 0 ? 1 : 0;
    return (capture ? snd_mixer_selem_set_capture_switch_all(e, value)
                    : snd_mixer_selem_set_playback_switch_all(e, value)) == 0;
  };
  return k;
}

// The next source line of a card's destination, named after the card's element.
Line SourceLine(Line& destination, const std::string& element) {
  Line s;
  s.destination = destination.destination;
  s.source = static_cast<DWORD>(destination.connections++);
  s.name = s.shortName = WindowsLineName(element);
  return s;
}

// A card that records one source at a time: its recording lines are the selector's items,
// chosen through a MUX control on the recording destination.
void AddSelector(snd_mixer_t* mixer, snd_mixer_elem_t* selectorElem, Line& record,
                 std::vector<Line>& sources) {
  const int items = std::max(0, snd_mixer_selem_get_enum_items(selectorElem));
  Control selector;
  selector.type = MIXERCONTROL_CONTROLTYPE_MUX;
  selector.name = "Recording Source";
  selector.items = static_cast<DWORD>(items);
  selector.count = static_cast<size_t>(std::max(1, items));
  for (int i = 0; i < items; ++i) {
    char item[64] = {};
    snd_mixer_selem_get_enum_item_name(selectorElem, static_cast<unsigned>(i), sizeof item, item);
    sources.push_back(SourceLine(record, item));
  }
  selector.read = [mixer, selectorElem, items, count = selector.count] {
    TakeCardEvents(mixer);
    unsigned int chosen = 0;
    snd_mixer_selem_get_enum_item(selectorElem, SND_MIXER_SCHN_FRONT_LEFT, &chosen);
    std::vector<LONG> values(count, 0);
    if (chosen < static_cast<unsigned>(items)) values[chosen] = 1;
    return values;
  };
  selector.apply = [selectorElem](const std::vector<LONG>& v) {
    for (size_t i = 0; i < v.size(); ++i)
      if (v[i])
        return snd_mixer_selem_set_enum_item(selectorElem, SND_MIXER_SCHN_FRONT_LEFT,
                                             static_cast<unsigned>(i)) == 0;
    return true;  // nothing chosen: the card keeps its source
  };
  record.controls.push_back(std::move(selector));
}

std::shared_ptr<Device> CardDevice(int card) {
  snd_mixer_t* raw = nullptr;
  if (snd_mixer_open(&raw, 0) < 0) return nullptr;
  std::shared_ptr<snd_mixer_t> mixer(raw, &snd_mixer_close);
  const std::string hw = "hw:" + std::to_string(card);
  if (snd_mixer_attach(raw, hw.c_str()) < 0 ||
      snd_mixer_selem_register(raw, nullptr, nullptr) < 0 || snd_mixer_load(raw) < 0)
    return nullptr;
  auto d = std::make_shared<Device>();
  d->alsa = mixer;
  char* name = nullptr;
  if (snd_card_get_name(card, &name) == 0 && name) {
    d->name = win32::AnsiText(name).substr(0, MAXPNAMELEN - 1);
    free(name);
  }
  Line play, record;
  play.destination = 0, play.id = LineId(0, kDestination), play.name = "Volume Control";
  play.type = MIXERLINE_COMPONENTTYPE_DST_SPEAKERS;
  record.destination = 1, record.id = LineId(1, kDestination), record.name = "Recording Control";
  record.type = MIXERLINE_COMPONENTTYPE_DST_WAVEIN;
  std::vector<Line> sources;
  snd_mixer_elem_t* selectorElem = nullptr;
  for (snd_mixer_elem_t* e = snd_mixer_first_elem(raw); e; e = snd_mixer_elem_next(e)) {
    if (!snd_mixer_selem_is_active(e)) continue;
    const std::string elem = snd_mixer_selem_get_name(e);
    if (snd_mixer_selem_is_enum_capture(e) && !selectorElem) {
      selectorElem = e;
      continue;
    }
    if (elem == "Master") {
      if (snd_mixer_selem_has_playback_switch(e))
        play.controls.push_back(SwitchMute(raw, e, false));
      continue;
    }
    if (snd_mixer_selem_has_playback_switch(e) || snd_mixer_selem_has_playback_volume(e)) {
      Line s = SourceLine(play, elem);
      if (snd_mixer_selem_has_playback_switch(e)) s.controls.push_back(SwitchMute(raw, e, false));
      sources.push_back(std::move(s));
    }
    if (!selectorElem && snd_mixer_selem_has_capture_switch(e)) {
      Line s = SourceLine(record, elem);
      s.controls.push_back(SwitchMute(raw, e, true));
      sources.push_back(std::move(s));
    }
  }
  if (selectorElem) AddSelector(raw, selectorElem, record, sources);
  for (Line* l : {&play, &record}) {
    l->shortName = l->name.substr(0, MIXER_SHORT_NAME_CHARS - 1);
    NumberControls(*l);
    d->lines.push_back(std::move(*l));
  }
  for (Line& s : sources) {
    s.id = LineId(s.destination, s.source);
    s.shortName = s.shortName.substr(0, MIXER_SHORT_NAME_CHARS - 1);
    NumberControls(s);
    d->lines.push_back(std::move(s));
  }
  return d;
}

std::vector<std::shared_ptr<Device>> LoadDevices() {
  const std::string prefix = win32::PrefixDir();
  const std::string file = prefix.empty() ? std::string() : prefix + "/mixer.ini";
  if (!file.empty()) {
    if (FILE* f = std::fopen(file.c_str(), "rb")) {
      std::fclose(f);
      return FileDevices(file);
    }
  }
  std::vector<std::shared_ptr<Device>> out;
  for (int card = -1; snd_card_next(&card) == 0 && card >= 0;) {
    if (auto d = CardDevice(card)) out.push_back(std::move(d));
  }
  return out;
}

// --- Handles -----------------------------------------------------------------------------

std::mutex g_mutex;
std::map<HMIXER, std::shared_ptr<Device>> g_open;
uintptr_t g_nextHandle = 0x4D580000;  // "MX"

// The device an object names: an open handle, or a device number.
std::shared_ptr<Device> Resolve(HMIXEROBJ obj) {
  auto it = g_open.find(obj);
  if (it != g_open.end()) return it->second;
  const auto id = reinterpret_cast<uintptr_t>(obj);
  auto devices = LoadDevices();
  return id < devices.size() ? devices[id] : nullptr;
}

void CopyName(char* to, size_t size, const std::string& from) {
  std::memset(to, 0, size);
  std::memcpy(to, from.data(), std::min(from.size(), size - 1));
}

void Describe(const Line& l, MIXERLINEA* out) {
  const DWORD size = out->cbStruct;
  std::memset(out, 0, sizeof *out);
  out->cbStruct = size;
  out->dwDestination = l.destination;
  out->dwSource = l.source == kDestination ? 0 : l.source;
  out->dwLineID = l.id;
  out->fdwLine = 1;  // active
  out->dwComponentType = l.type;
  out->cChannels = l.channels;
  out->cConnections = l.source == kDestination ? l.connections : 0;
  out->cControls = static_cast<DWORD>(l.controls.size());
  CopyName(out->szShortName, sizeof out->szShortName, l.shortName);
  CopyName(out->szName, sizeof out->szName, l.name);
}

void Describe(const Control& k, MIXERCONTROLA* out) {
  std::memset(out, 0, sizeof *out);
  out->cbStruct = sizeof *out;
  out->dwControlID = k.id;
  out->dwControlType = k.type;
  out->fdwControl = (k.uniform ? MIXERCONTROL_CONTROLF_UNIFORM : 0) |
                    (k.items > 0 ? MIXERCONTROL_CONTROLF_MULTIPLE : 0);
  out->cMultipleItems = k.items;
  CopyName(out->szShortName, sizeof out->szShortName, k.name);
  CopyName(out->szName, sizeof out->szName, k.name);
  const bool onOff = k.type == MIXERCONTROL_CONTROLTYPE_MUTE || k.items > 0;
  out->Bounds.lMinimum = 0;
  out->Bounds.lMaximum = onOff ? 1 : 65535;
  out->Metrics.cSteps = onOff ? 0 : 65535;
}

std::pair<Line*, Control*> FindControl(Device& d, DWORD id) {
  Line* l = d.FindId(id >> 8);
  if (!l || (id & 0xFF) >= l->controls.size()) return {nullptr, nullptr};
  return {l, &l->controls[id & 0xFF]};
}

// How many values a details record moves for a control, or 0 when it does not fit.
size_t DetailCount(const Line& l, const Control& k, const MIXERCONTROLDETAILS& d) {
  if (d.cbDetails != sizeof(LONG) || !d.paDetails || d.cChannels == 0) return 0;
  const DWORD channels = k.uniform ? 1 : l.channels;
  if (d.cChannels != 1 && d.cChannels != channels) return 0;
  const DWORD items = std::max<DWORD>(1, k.items);
  if (k.items > 0 && d.cMultipleItems != k.items) return 0;
  return static_cast<size_t>(d.cChannels) * items;
}

}  // namespace

UINT mixerGetNumDevs() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return static_cast<UINT>(LoadDevices().size());
}

MMRESULT mixerOpen(HMIXER* phmx, UINT uMxId, DWORD_PTR, DWORD_PTR, DWORD fdwOpen) {
  if (!phmx) return MMSYSERR_INVALPARAM;
  if (fdwOpen != 0 && fdwOpen != CALLBACK_WINDOW) return MMSYSERR_INVALFLAG;
  std::lock_guard<std::mutex> lock(g_mutex);
  auto devices = LoadDevices();
  if (uMxId >= devices.size()) return MMSYSERR_BADDEVICEID;
  auto handle = reinterpret_cast<HMIXER>(g_nextHandle++);
  g_open[handle] = devices[uMxId];
  *phmx = handle;
  return MMSYSERR_NOERROR;
}

MMRESULT mixerClose(HMIXER hmx) {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_open.erase(hmx) ? MMSYSERR_NOERROR : MMSYSERR_INVALHANDLE;
}

MMRESULT mixerGetDevCapsA(UINT_PTR uMxId, MIXERCAPSA* pmxcaps, UINT cbmxcaps) {
  if (!pmxcaps || cbmxcaps < sizeof(MIXERCAPSA)) return MMSYSERR_INVALPARAM;
  std::lock_guard<std::mutex> lock(g_mutex);
  auto d = Resolve(reinterpret_cast<HMIXEROBJ>(uMxId));
  if (!d) return MMSYSERR_BADDEVICEID;
  std::memset(pmxcaps, 0, sizeof *pmxcaps);
  pmxcaps->wMid = d->manufacturer;
  pmxcaps->wPid = d->product;
  pmxcaps->vDriverVersion = d->version;
  CopyName(pmxcaps->szPname, sizeof pmxcaps->szPname, d->name);
  pmxcaps->cDestinations = d->Destinations();
  return MMSYSERR_NOERROR;
}

MMRESULT mixerGetLineInfoA(HMIXEROBJ hmxobj, MIXERLINEA* pmxl, DWORD fdwInfo) {
  if (!pmxl || pmxl->cbStruct < sizeof(MIXERLINEA)) return MMSYSERR_INVALPARAM;
  std::lock_guard<std::mutex> lock(g_mutex);
  auto d = Resolve(hmxobj);
  if (!d) return MMSYSERR_INVALHANDLE;
  const Line* l = nullptr;
  switch (fdwInfo & 0xF) {
    case MIXER_GETLINEINFOF_DESTINATION:
      l = d->Find(pmxl->dwDestination, kDestination);
      break;
    case MIXER_GETLINEINFOF_SOURCE:
      l = d->Find(pmxl->dwDestination, pmxl->dwSource);
      break;
    case MIXER_GETLINEINFOF_LINEID:
      l = d->FindId(pmxl->dwLineID);
      break;
    default:
      return MMSYSERR_INVALFLAG;
  }
  if (!l) return MIXERR_INVALLINE;
  Describe(*l, pmxl);
  return MMSYSERR_NOERROR;
}

MMRESULT mixerGetLineControlsA(HMIXEROBJ hmxobj, MIXERLINECONTROLSA* pmxlc, DWORD fdwControls) {
  if (!pmxlc || pmxlc->cbmxctrl < sizeof(MIXERCONTROLA) || !pmxlc->pamxctrl)
    return MMSYSERR_INVALPARAM;
  std::lock_guard<std::mutex> lock(g_mutex);
  auto d = Resolve(hmxobj);
  if (!d) return MMSYSERR_INVALHANDLE;
  auto at = [&](DWORD i) {
    return reinterpret_cast<MIXERCONTROLA*>(reinterpret_cast<char*>(pmxlc->pamxctrl) +
                                            static_cast<size_t>(i) * pmxlc->cbmxctrl);
  };
  switch (fdwControls & 0xF) {
    case MIXER_GETLINECONTROLSF_ALL: {
      const Line* l = d->FindId(pmxlc->dwLineID);
      if (!l) return MIXERR_INVALLINE;
      if (pmxlc->cControls != l->controls.size() || l->controls.empty()) return MMSYSERR_INVALPARAM;
      for (DWORD i = 0; i < pmxlc->cControls; ++i) Describe(l->controls[i], at(i));
      return MMSYSERR_NOERROR;
    }
    case MIXER_GETLINECONTROLSF_ONEBYID: {
      auto [l, k] = FindControl(*d, pmxlc->dwControlID);
      if (!k) return MIXERR_INVALCONTROL;
      pmxlc->dwLineID = l->id;
      Describe(*k, at(0));
      return MMSYSERR_NOERROR;
    }
    case MIXER_GETLINECONTROLSF_ONEBYTYPE: {
      const Line* l = d->FindId(pmxlc->dwLineID);
      if (!l) return MIXERR_INVALLINE;
      for (const Control& k : l->controls) {
        if (k.type != pmxlc->dwControlType) continue;
        Describe(k, at(0));
        return MMSYSERR_NOERROR;
      }
      return MIXERR_INVALCONTROL;
    }
    default:
      return MMSYSERR_INVALFLAG;
  }
}

namespace {

// The values of the control a details record names, under the lock: `use` gets the control
// and how many values the record moves.
template <typename Use>
MMRESULT WithDetails(HMIXEROBJ hmxobj, MIXERCONTROLDETAILS* pmxcd, DWORD fdwDetails, Use use) {
  if (!pmxcd || (fdwDetails & 0xF) != MIXER_GETCONTROLDETAILSF_VALUE) return MMSYSERR_INVALPARAM;
  std::lock_guard<std::mutex> lock(g_mutex);
  auto d = Resolve(hmxobj);
  if (!d) return MMSYSERR_INVALHANDLE;
  auto [l, k] = FindControl(*d, pmxcd->dwControlID);
  if (!k) return MIXERR_INVALCONTROL;
  const size_t n = DetailCount(*l, *k, *pmxcd);
  if (n == 0) return MMSYSERR_INVALPARAM;
  return use(*k, n);
}

}  // namespace

MMRESULT mixerGetControlDetailsA(HMIXEROBJ hmxobj, MIXERCONTROLDETAILS* pmxcd, DWORD fdwDetails) {
  return WithDetails(hmxobj, pmxcd, fdwDetails, [&](Control& k, size_t n) {
    const std::vector<LONG> values = k.read();
    auto* out = static_cast<LONG*>(pmxcd->paDetails);
    // One channel asked of a control that has several: the first channel's values.
    for (size_t i = 0; i < n; ++i) out[i] = values[i % values.size()];
    return MMSYSERR_NOERROR;
  });
}

MMRESULT mixerSetControlDetails(HMIXEROBJ hmxobj, MIXERCONTROLDETAILS* pmxcd, DWORD fdwDetails) {
  return WithDetails(hmxobj, pmxcd, fdwDetails, [&](Control& k, size_t n) {
    const auto* in = static_cast<const LONG*>(pmxcd->paDetails);
    std::vector<LONG> values(k.count);
    // One channel given for a control that has several: every channel takes it.
    for (size_t i = 0; i < values.size(); ++i) values[i] = in[i % n];
    if (k.apply && !k.apply(values)) return MMSYSERR_ERROR;
    return MMSYSERR_NOERROR;
  });
}
