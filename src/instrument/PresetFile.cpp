// Preset files: one "name=value" line per parameter, read and written whatever the process locale.
#include "instrument/PresetFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "framework/IParam.h"
#include "framework/IPluginBase.h"

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

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash == 0 ? 1 : slash);
}

std::string ErrnoText(int err) { return std::strerror(err); }

// Writes all of text into a new temporary file next to path; returns its
// name, or empty with a message.
std::string WriteTemporary(const std::string& path, const std::string& text, std::string* error) {
  std::string tmp = FolderOf(path) + "/.kt412-save-XXXXXX";
  int fd = ::mkstemp(tmp.data());
  if (fd < 0) {
    if (error) *error = "cannot write in the folder of '" + path + "': " + ErrnoText(errno);
    return std::string();
  }
  size_t done = 0;
  bool ok = true;
  while (done < text.size()) {
    ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = false;
      break;
    }
    done += static_cast<size_t>(n);
  }
  const int writeErr = errno;
  // The data must be on disk before a rename makes it the file of record.
  if (ok && ::fsync(fd) != 0) ok = false;
  ::fchmod(fd, 0644);
  if (::close(fd) != 0) ok = false;
  if (!ok) {
    ::unlink(tmp.c_str());
    if (error) *error = "cannot write '" + path + "': " + ErrnoText(writeErr ? writeErr : EIO);
    return std::string();
  }
  return tmp;
}

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
  const std::string tmp = WriteTemporary(path, text, error);
  if (tmp.empty()) return false;
  if (std::rename(tmp.c_str(), path.c_str()) != 0) {
    const int err = errno;
    ::unlink(tmp.c_str());
    if (error) *error = "cannot write '" + path + "': " + ErrnoText(err);
    return false;
  }
  return true;
}

bool WriteNewFile(const std::string& path, const std::string& text, std::string* error) {
  const std::string tmp = WriteTemporary(path, text, error);
  if (tmp.empty()) return false;
  // link() refuses an existing target, so a file that appeared meanwhile is kept.
  const bool ok = ::link(tmp.c_str(), path.c_str()) == 0;
  const int err = errno;
  ::unlink(tmp.c_str());
  if (!ok && err != EEXIST && error) *error = "cannot write '" + path + "': " + ErrnoText(err);
  return ok;
}
