// The tempo stored in a file's ID3 comment ("BPM=128.5"), as the explorer, the playlists
// and the ID3 dialog show it.
#include <cmath>

#include "classlib/SysUtils.h"
#include "player/uMain.h"

String ParseBPM(const String& Comment) {
  // The whole part runs from after the first "=" to before the first "."; the fraction is
  // everything after that dot, read as digits scaled down by their count.
  const auto dot = Comment.find('.');
  const auto equals = Comment.find('=');
  String whole = dot == String::npos ? Comment : Comment.substr(0, dot);
  if (equals != String::npos) whole = equals < whole.size() ? whole.substr(equals + 1) : String();

  Integer wholeValue = 0;
  if (!TryStrToInt(whole, wholeValue)) return String();

  Extended fraction = 0;
  if (dot != String::npos) {
    const String digits = Comment.substr(dot + 1);
    Extended value = 0;
    if (!TryStrToFloat(digits, value)) return String();
    fraction = value / std::pow(10.0, static_cast<double>(digits.size()));
    // A fraction of hundreds of digits overflows the scale; it is no tempo either.
    if (!std::isfinite(fraction)) return String();
  }

  const float bpm = static_cast<float>(wholeValue + fraction);
  if (!std::isfinite(bpm)) return String();
  return FloatToStrF(bpm, ffGeneral, 4, 0);
}
