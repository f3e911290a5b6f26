// Preset files: one "name=value" line per parameter, read and written whatever the process locale.
#include "instrument/PresetFile.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "framework/IParam.h"
#include "framework/IPluginBase.h"
#include "util/UTIL_AtomicFile.h"

namespace {

// The reader's line buffer holds 255 characters and the terminator.
constexpr size_t kLinePiece = 255;
// The name before "=" is at most this long.
constexpr size_t kMaxName = 32;
// Fifteen pieces of 255 characters are all a reader ever looks at.
constexpr size_t kMaxRead = PresetValues::kLines * (kLinePiece + 1);

// One line (or piece of line) in the pattern "<1..32 chars but '='>=<number>".
// Returns false when it does not match or the number is not finite.
bool ParseLine(const char* begin, const char* end, double* value) {
  const char* eq = static_cast<const char*>(std::memchr(begin, '=', static_cast<size_t>(end - begin)));
  if (!eq || eq == begin || static_cast<size_t>(eq - begin) > kMaxName) return false;
  const char* p = eq + 1;
  // A scanf number may follow blanks and carry a plus sign; from_chars takes neither.
  while (p < end && (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n' || *p == '\v' || *p == '\f')) ++p;
  if (p < end && *p == '+') ++p;
  // Read in single precision, as the file format's reader always has; from_chars
  // ignores the process locale, so "0.5" means a half even under a comma locale.
  float f = 0.0f;
  std::from_chars_result r = std::from_chars(p, end, f);
  if (r.ec != std::errc() || r.ptr == p || !std::isfinite(f)) return false;
  *value = std::fmin(1.0, std::fmax(0.0, static_cast<double>(f)));
  return true;
}

std::string ErrnoText(int err) { return std::strerror(err); }

}  // namespace

int PresetValues::Count() const {
  int n = 0;
  for (bool p : present) n += p ? 1 : 0;
  return n;
}

PresetValues ParsePresetText(const std::string& text) {
  PresetValues values;
  const char* p = text.data();
  const char* end = p + text.size();
  for (int line = 0; line < PresetValues::kLines && p < end; ++line) {
    // A piece ends after its newline or after 255 characters, whichever comes first.
    const char* limit = end - p > static_cast<std::ptrdiff_t>(kLinePiece) ? p + kLinePiece : end;
    const char* nl = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(limit - p)));
    const char* pieceEnd = nl ? nl + 1 : limit;
    // A NUL ends the text a C reader sees in the buffer.
    const char* nul = static_cast<const char*>(std::memchr(p, '\0', static_cast<size_t>(pieceEnd - p)));
    double v = 0.0;
    if (ParseLine(p, nul ? nul : pieceEnd, &v)) {
      values.value[static_cast<size_t>(line)] = v;
      values.present[static_cast<size_t>(line)] = true;
    }
    p = pieceEnd;
  }
  return values;
}

std::vector<double> PresetPlainValues(const IPluginBase& plug, const PresetValues& values) {
  std::vector<double> plain(static_cast<size_t>(plug.NParams()), std::numeric_limits<double>::quiet_NaN());
  for (int k = 0; k < PresetValues::kLines && k < plug.NParams(); ++k) {
    if (values.present[static_cast<size_t>(k)])
      plain[static_cast<size_t>(k)] = plug.GetParam(k)->ValueFromNormalized(values.value[static_cast<size_t>(k)]);
  }
  return plain;
}

bool ReadPresetFile(const std::string& path, PresetValues* values, std::string* error) {
  FILE* fp = std::fopen(path.c_str(), "rb");
  if (!fp) {
    if (error) *error = "cannot open preset '" + path + "': " + ErrnoText(errno);
    return false;
  }
  // Only the start of the file matters, so a huge or endless file (a device)
  // costs no more than a small one.
  std::string text(kMaxRead, '\0');
  const size_t n = std::fread(text.data(), 1, text.size(), fp);
  const bool failed = std::ferror(fp) != 0;
  const int err = errno;
  std::fclose(fp);
  if (failed) {
    if (error) *error = "cannot read preset '" + path + "': " + ErrnoText(err ? err : EIO);
    return false;
  }
  text.resize(n);
  if (values) *values = ParsePresetText(text);
  return true;
}

std::string PresetText(IPluginBase& plug, int firstZeroed) {
  std::string text;
  IPluginBase::IMutexLock lock(&plug);
  for (int i = 0; i < plug.NParams(); ++i) {
    const IParam* param = plug.GetParam(i);
    // "%f" of the normalised value, but with a point in every locale.
    char number[64];
    const double v = i >= firstZeroed ? 0.0 : param->GetNormalized();
    std::to_chars_result r = std::to_chars(number, number + sizeof(number), v, std::chars_format::fixed, 6);
    text += param->GetNameForHost();
    text += '=';
    text.append(number, r.ptr);
    text += '\n';
  }
  return text;
}

bool WriteFileAtomically(const std::string& path, const std::string& text, std::string* error) {
  return UTIL_AtomicFile::WriteFile(path, text.data(), text.size(), error);
}

bool WriteNewFile(const std::string& path, const std::string& text, std::string* error) {
  UTIL_AtomicFile file;
  std::string why;
  if (file.Open(path, &why, UTIL_AtomicFile::kKeepExisting) && file.Write(text.data(), text.size(), &why) &&
      file.Commit(&why))
    return true;
  // A file that is already there is what this call keeps, not a failure to report.
  if (error) *error = file.TargetExisted() ? std::string() : why;
  return false;
}
