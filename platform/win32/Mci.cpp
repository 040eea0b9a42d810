#include "win32/Mci.h"

#include <cdio/cdio.h>
#include <cdio/logging.h>
#include <strings.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <vector>

#include "win32/Modules.h"
#include "win32/Paths.h"
#include "xaudio/xaudio_modules.h"

namespace {

constexpr int kSectorFrames = CDIO_CD_FRAMESIZE_RAW / 4;  // 588 stereo frames of 16 bits
constexpr uint32_t kCdRate = 44100;
constexpr lsn_t kLeadIn = 150;  // MSF positions count the two seconds before track 1
constexpr int kSectorsARead = 8;

// The decks' output module, loaded once for every CD device of the process.
const XA_OutputModule* Output() {
  static XA_OutputModule table{};
  static bool loaded = [] {
    HMODULE lib = LoadLibraryA("xdsound.dll");
    auto reg = lib ? reinterpret_cast<XA_OutputModuleRegisterFn>(
                         GetProcAddress(lib, "dsound_output_module_register"))
                   : nullptr;
    table.size = sizeof table;
    return reg && reg(&table) == 0 && table.voice_open && table.voice_write;
  }();
  return loaded ? &table : nullptr;
}

// libcdio's remarks about the discs it reads (short pregaps and the like) are not for the
// user; its errors are answered through the MCI error codes.
void QuietLibrary() {
  static std::once_flag once;
  std::call_once(once, [] {
    cdio_log_set_handler([](cdio_log_level_t, const char*) {});
  });
}

class CdDevice {
 public:
  ~CdDevice() {
    StopPlaying();
    if (cdio_) cdio_destroy(cdio_);
  }

  // 0, or why the disc cannot be used.
  MCIERROR Open(const std::string& target) {
    struct stat st {};
    if (target.empty() || stat(target.c_str(), &st) != 0 || S_ISDIR(st.st_mode))
      return MCIERR_INVALID_DEVICE_NAME;
    driver_id_t driver = DRIVER_DEVICE;
    const auto ends = [&](const char* ext) {
      const size_t n = std::strlen(ext);
      return target.size() > n && strcasecmp(target.c_str() + target.size() - n, ext) == 0;
    };
    if (ends(".cue")) driver = DRIVER_BINCUE;
    if (ends(".toc")) driver = DRIVER_CDRDAO;
    if (ends(".nrg")) driver = DRIVER_NRG;
    QuietLibrary();
    target_ = target;
    driver_ = driver;
    cdio_ = cdio_open(target.c_str(), driver);
    if (!cdio_) return MCIERR_DEVICE_NOT_READY;
    const track_t first = cdio_get_first_track_num(cdio_);
    const track_t count = cdio_get_num_tracks(cdio_);
    if (first == CDIO_INVALID_TRACK || count == CDIO_INVALID_TRACK || count == 0)
      return MCIERR_DEVICE_NOT_READY;
    for (track_t t = first; t < first + count; ++t) starts_.push_back(cdio_get_track_lsn(cdio_, t));
    end_ = cdio_get_disc_last_lsn(cdio_);
    // An image that says more than it holds ends where its data does.
    if (end_ == CDIO_INVALID_LSN || end_ < starts_.back()) return MCIERR_DEVICE_NOT_READY;
    for (lsn_t& s : starts_) s = std::min(s, end_);
    return 0;
  }

  // False once the disc has left: the device then only answers for its mode.
  bool HasDisc() const { return cdio_ != nullptr; }
  DWORD Tracks() const { return static_cast<DWORD>(starts_.size()); }
  lsn_t TrackStart(DWORD track) const { return starts_[track - 1]; }
  lsn_t TrackEnd(DWORD track) const { return track < Tracks() ? starts_[track] : end_; }
  lsn_t End() const { return end_; }
  DWORD TrackOf(lsn_t at) const {
    DWORD t = 1;
    while (t < Tracks() && starts_[t] <= at) ++t;
    return t;
  }

  DWORD Mode() const { return mode_.load(); }
  lsn_t Position() const {
    if (mode_.load() != MCI_MODE_PLAY) return position_.load();
    const XA_OutputModule* out = Output();
    const uint64_t heard = out->voice_heard(voice_);
    const uint64_t played = heard > voiceStart_ ? heard - voiceStart_ : 0;
    return std::min<lsn_t>(end_, playFrom_ + static_cast<lsn_t>(played * kCdRate / rate_ / kSectorFrames));
  }

  MCIERROR Seek(lsn_t to) {
    StopPlaying();
    position_ = std::clamp<lsn_t>(to, starts_.empty() ? 0 : starts_.front(), end_);
    mode_ = MCI_MODE_STOP;
    return 0;
  }
  MCIERROR Play(lsn_t from, lsn_t to) {
    const XA_OutputModule* out = Output();
    if (!out) return MCIERR_HARDWARE;
    StopPlaying();
    from = std::clamp<lsn_t>(from, starts_.front(), end_);
    to = std::clamp<lsn_t>(to, from, end_);
    uint32_t rate = kCdRate;
    voice_ = out->voice_open(0, &rate);
    if (!voice_) return MCIERR_HARDWARE;
    rate_ = rate;
    voiceStart_ = out->voice_written(voice_);
    playFrom_ = from;
    position_ = from;
    stop_ = false;
    mode_ = MCI_MODE_PLAY;
    out->voice_set_active(voice_, 1);
    thread_ = std::thread([this, from, to] { Run(from, to); });
    return 0;
  }
  // Pause keeps the place; stop does too (a CD player's stop goes back to the start only on
  // the next seek).
  void Halt(DWORD mode) {
    const lsn_t at = Position();
    StopPlaying();
    position_ = at;
    mode_ = mode;
  }
  // The disc leaves the drive (an image leaves the device alone): the device stays open
  // without it and is not ready until it is opened again.
  MCIERROR Eject() {
    Halt(MCI_MODE_STOP);
    if (cdio_) cdio_destroy(cdio_);
    cdio_ = nullptr;
    if (driver_ == DRIVER_DEVICE) cdio_eject_media_drive(target_.c_str());
    mode_ = MCI_MODE_NOT_READY;
    return 0;
  }

 private:
  void StopPlaying() {
    if (thread_.joinable()) {
      stop_ = true;
      thread_.join();
    }
    if (voice_) {
      const XA_OutputModule* out = Output();
      out->voice_flush(voice_);
      out->voice_close(voice_);
      voice_ = nullptr;
    }
  }

  // The play thread: reads sectors ahead of what is heard and hands them to the voice.
  void Run(lsn_t from, lsn_t to) {
    const XA_OutputModule* out = Output();
    std::vector<int16_t> raw(static_cast<size_t>(kSectorsARead) * kSectorFrames * 2);
    std::vector<float> pcm;
    double phase = 0;  // position between two CD frames when the device's rate differs
    float last[2] = {0, 0};
    lsn_t reached = to;
    for (lsn_t next = from; next < to && !stop_;) {
      const uint64_t queued = out->voice_written(voice_) - out->voice_heard(voice_);
      if (queued >= out->voice_target_fill(voice_)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(3));
        continue;
      }
      const int n = static_cast<int>(std::min<lsn_t>(kSectorsARead, to - next));
      // A scratched or short disc stops where it can no longer be read.
      if (cdio_read_audio_sectors(cdio_, raw.data(), next, static_cast<uint32_t>(n)) !=
          DRIVER_OP_SUCCESS) {
        reached = next;
        break;
      }
      Convert(raw.data(), static_cast<size_t>(n) * kSectorFrames, &pcm, &phase, last);
      for (size_t done = 0; done < pcm.size() / 2 && !stop_;) {
        const uint32_t took = out->voice_write(voice_, pcm.data() + done * 2,
                                               static_cast<uint32_t>(pcm.size() / 2 - done));
        done += took;
        if (took == 0) std::this_thread::sleep_for(std::chrono::milliseconds(3));
      }
      next += n;
    }
    // Played out: the disc stops by itself at the end of what was asked. The voice stays
    // active until then, since a sink that outruns real time only takes from active ones.
    while (!stop_ && out->voice_heard(voice_) < out->voice_written(voice_))
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    out->voice_set_active(voice_, 0);
    if (!stop_) {
      position_ = reached;
      mode_ = MCI_MODE_STOP;
    }
  }

  // CD samples (16-bit little-endian stereo at 44.1 kHz) to the device's rate as floats.
  void Convert(const int16_t* in, size_t frames, std::vector<float>* out, double* phase,
               float* last) const {
    out->clear();
    auto sample = [&](size_t i, int c) {
      const auto* b = reinterpret_cast<const uint8_t*>(in + i * 2 + c);
      return static_cast<int16_t>(b[0] | b[1] << 8) / 32768.0f;
    };
    if (rate_ == kCdRate) {
      out->resize(frames * 2);
      for (size_t i = 0; i < frames * 2; ++i) (*out)[i] = sample(i / 2, static_cast<int>(i % 2));
      return;
    }
    // Straight lines between CD frames; the previous block's last frame starts this one.
    const double step = static_cast<double>(kCdRate) / rate_;
    for (; *phase < static_cast<double>(frames); *phase += step) {
      const size_t i = static_cast<size_t>(*phase);
      const float t = static_cast<float>(*phase - static_cast<double>(i));
      for (int c = 0; c < 2; ++c) {
        const float a = i == 0 ? last[c] : sample(i - 1, c);
        out->push_back(a + (sample(i, c) - a) * t);
      }
    }
    *phase -= static_cast<double>(frames);
    last[0] = sample(frames - 1, 0);
    last[1] = sample(frames - 1, 1);
  }

  CdIo_t* cdio_ = nullptr;
  std::string target_;
  driver_id_t driver_ = DRIVER_DEVICE;
  std::vector<lsn_t> starts_;
  lsn_t end_ = 0;
  std::atomic<DWORD> mode_{MCI_MODE_STOP};
  std::atomic<lsn_t> position_{0};
  std::thread thread_;
  std::atomic<bool> stop_{false};
  void* voice_ = nullptr;
  uint32_t rate_ = kCdRate;
  uint64_t voiceStart_ = 0;
  lsn_t playFrom_ = 0;

 public:
  DWORD timeFormat = MCI_FORMAT_MSF;
};

std::mutex g_mutex;
std::map<MCIDEVICEID, std::unique_ptr<CdDevice>> g_devices;
MCIDEVICEID g_nextId = 1;

DWORD Msf(lsn_t frames) {
  return static_cast<DWORD>(frames / (60 * 75)) | static_cast<DWORD>(frames / 75 % 60) << 8 |
         static_cast<DWORD>(frames % 75) << 16;
}

// A position in the device's time format, and back.
DWORD Encode(const CdDevice& d, lsn_t at) {
  switch (d.timeFormat) {
    case MCI_FORMAT_MILLISECONDS:
      return static_cast<DWORD>(static_cast<int64_t>(at) * 1000 / 75);
    case MCI_FORMAT_TMSF: {
      const DWORD track = d.TrackOf(at);
      return track | Msf(at - d.TrackStart(track)) << 8;
    }
    default:
      return Msf(at + kLeadIn);
  }
}

bool Decode(const CdDevice& d, DWORD value, lsn_t* at) {
  const auto msf = [](DWORD v) {
    return static_cast<lsn_t>((v & 0xFF) * 60 * 75 + (v >> 8 & 0xFF) * 75 + (v >> 16 & 0xFF));
  };
  switch (d.timeFormat) {
    case MCI_FORMAT_MILLISECONDS:
      *at = static_cast<lsn_t>(static_cast<int64_t>(value) * 75 / 1000);
      return true;
    case MCI_FORMAT_TMSF: {
      const DWORD track = value & 0xFF;
      if (track < 1 || track > d.Tracks()) return false;
      *at = d.TrackStart(track) + msf(value >> 8);
      return true;
    }
    default:
      *at = msf(value) - kLeadIn;
      return true;
  }
}

MCIERROR OpenDevice(DWORD_PTR flags, MCI_OPEN_PARMSA* p) {
  if (!p) return MCIERR_NULL_PARAMETER_BLOCK;
  if (!(flags & MCI_OPEN_TYPE) || !p->lpstrDeviceType || strcasecmp(p->lpstrDeviceType, "cdaudio"))
    return MCIERR_INVALID_DEVICE_NAME;
  if (!(flags & MCI_OPEN_ELEMENT) || !p->lpstrElementName || !p->lpstrElementName[0])
    return MCIERR_MISSING_PARAMETER;
  auto device = std::make_unique<CdDevice>();
  if (MCIERROR e = device->Open(win32::DriveTarget(p->lpstrElementName[0]))) return e;
  p->wDeviceID = g_nextId++;
  g_devices[p->wDeviceID] = std::move(device);
  return 0;
}

MCIERROR Status(CdDevice& d, DWORD_PTR flags, MCI_STATUS_PARMS* p) {
  if (!p) return MCIERR_NULL_PARAMETER_BLOCK;
  if (!(flags & MCI_STATUS_ITEM)) return MCIERR_MISSING_PARAMETER;
  const DWORD item = p->dwItem;
  const bool ofTheDisc = item == MCI_STATUS_NUMBER_OF_TRACKS || item == MCI_STATUS_POSITION ||
                         item == MCI_STATUS_LENGTH || item == MCI_STATUS_CURRENT_TRACK;
  if (ofTheDisc && !d.HasDisc()) return MCIERR_DEVICE_NOT_READY;
  const bool track = flags & MCI_TRACK;
  if (track && (p->dwTrack < 1 || p->dwTrack > d.Tracks())) return MCIERR_OUTOFRANGE;
  switch (p->dwItem) {
    case MCI_STATUS_NUMBER_OF_TRACKS: p->dwReturn = d.Tracks(); return 0;
    case MCI_STATUS_MODE: p->dwReturn = d.Mode(); return 0;
    case MCI_STATUS_READY:
    case MCI_STATUS_MEDIA_PRESENT: p->dwReturn = d.HasDisc(); return 0;
    case MCI_STATUS_TIME_FORMAT: p->dwReturn = d.timeFormat; return 0;
    case MCI_STATUS_CURRENT_TRACK: p->dwReturn = d.TrackOf(d.Position()); return 0;
    case MCI_STATUS_POSITION:
      p->dwReturn = Encode(d, track ? d.TrackStart(p->dwTrack) : d.Position());
      return 0;
    case MCI_STATUS_LENGTH: {
      const lsn_t length = track ? d.TrackEnd(p->dwTrack) - d.TrackStart(p->dwTrack)
                                 : d.End() - d.TrackStart(1);
      // A length has no track of its own: TMSF gives it as MSF.
      p->dwReturn = d.timeFormat == MCI_FORMAT_MILLISECONDS ? Encode(d, length) : Msf(length);
      return 0;
    }
    default:
      return MCIERR_UNSUPPORTED_FUNCTION;
  }
}

MCIERROR Command(CdDevice& d, UINT msg, DWORD_PTR flags, DWORD_PTR param) {
  // Without its disc the device can neither move nor play.
  if ((msg == MCI_SEEK || msg == MCI_PLAY || msg == MCI_RESUME) && !d.HasDisc())
    return MCIERR_DEVICE_NOT_READY;
  switch (msg) {
    case MCI_STATUS:
      return Status(d, flags, reinterpret_cast<MCI_STATUS_PARMS*>(param));
    case MCI_SEEK: {
      auto* p = reinterpret_cast<MCI_SEEK_PARMS*>(param);
      if (flags & MCI_SEEK_TO_START) return d.Seek(d.TrackStart(1));
      if (flags & MCI_SEEK_TO_END) return d.Seek(d.End());
      lsn_t to = 0;
      if (!(flags & MCI_TO) || !p) return MCIERR_MISSING_PARAMETER;
      if (!Decode(d, p->dwTo, &to) || to < d.TrackStart(1) || to > d.End()) return MCIERR_OUTOFRANGE;
      return d.Seek(to);
    }
    case MCI_PLAY: {
      auto* p = reinterpret_cast<MCI_PLAY_PARMS*>(param);
      lsn_t from = d.Position(), to = d.End();
      if ((flags & (MCI_FROM | MCI_TO)) && !p) return MCIERR_NULL_PARAMETER_BLOCK;
      if ((flags & MCI_FROM) && !Decode(d, p->dwFrom, &from)) return MCIERR_OUTOFRANGE;
      if ((flags & MCI_TO) && !Decode(d, p->dwTo, &to)) return MCIERR_OUTOFRANGE;
      return d.Play(from, to);
    }
    case MCI_PAUSE:
      if (d.Mode() == MCI_MODE_PLAY) d.Halt(MCI_MODE_PAUSE);
      return 0;
    case MCI_RESUME:
      return d.Mode() == MCI_MODE_PAUSE ? d.Play(d.Position(), d.End()) : 0;
    case MCI_STOP:
      if (d.Mode() == MCI_MODE_PLAY || d.Mode() == MCI_MODE_PAUSE) d.Halt(MCI_MODE_STOP);
      return 0;
    case MCI_SET: {
      auto* p = reinterpret_cast<MCI_SET_PARMS*>(param);
      if (flags & MCI_SET_DOOR_OPEN) return d.Eject();
      if (flags & MCI_SET_TIME_FORMAT) {
        if (!p) return MCIERR_NULL_PARAMETER_BLOCK;
        if (p->dwTimeFormat != MCI_FORMAT_MSF && p->dwTimeFormat != MCI_FORMAT_TMSF &&
            p->dwTimeFormat != MCI_FORMAT_MILLISECONDS)
          return MCIERR_BAD_TIME_FORMAT;
        d.timeFormat = p->dwTimeFormat;
      }
      return 0;
    }
    default:
      return MCIERR_UNRECOGNIZED_COMMAND;
  }
}

}  // namespace

MCIERROR mciSendCommandA(MCIDEVICEID IDDevice, UINT uMsg, DWORD_PTR fdwCommand, DWORD_PTR dwParam) {
  std::unique_ptr<CdDevice> closing;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (uMsg == MCI_OPEN) return OpenDevice(fdwCommand, reinterpret_cast<MCI_OPEN_PARMSA*>(dwParam));
    auto it = g_devices.find(IDDevice);
    if (it == g_devices.end()) return MCIERR_INVALID_DEVICE_ID;
    if (uMsg != MCI_CLOSE) return Command(*it->second, uMsg, fdwCommand, dwParam);
    closing = std::move(it->second);
    g_devices.erase(it);
  }
  return 0;  // `closing` stops its playing outside the lock
}

BOOL mciGetErrorStringA(MCIERROR mcierr, LPSTR pszText, UINT cchText) {
  static const std::map<MCIERROR, const char*> kTexts = {
      {MCIERR_INVALID_DEVICE_ID,
       "Invalid device ID. Use the ID given to the device when the device was opened."},
      {MCIERR_UNRECOGNIZED_COMMAND, "The driver cannot recognize the specified command."},
      {MCIERR_HARDWARE, "There is a problem with your media device. Make sure it is working "
                        "correctly or contact the device manufacturer."},
      {MCIERR_INVALID_DEVICE_NAME,
       "The specified device is not open or is not recognized by MCI."},
      {MCIERR_MISSING_PARAMETER, "The specified command requires a parameter. Please supply one."},
      {MCIERR_UNSUPPORTED_FUNCTION,
       "The MCI device you are using does not support the specified command."},
      {MCIERR_DEVICE_NOT_READY, "The device is not ready."},
      {MCIERR_OUTOFRANGE, "The specified parameter is out of range for the specified command."},
      {MCIERR_BAD_TIME_FORMAT, "The specified value for the time format is invalid."},
      {MCIERR_NULL_PARAMETER_BLOCK, "A null parameter block was passed to MCI."}};
  if (!pszText || cchText == 0) return FALSE;
  auto it = kTexts.find(mcierr);
  const std::string text = it != kTexts.end() ? it->second
                           : mcierr == 0       ? "The specified command was carried out."
                                               : "Unknown MCI error.";
  const size_t n = std::min<size_t>(text.size(), cchText - 1);
  std::memcpy(pszText, text.data(), n);
  pszText[n] = '\0';
  return it != kTexts.end() || mcierr == 0;
}
