#include "platform/IniFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace {

// A settings file larger than this is not one: it is left alone rather than read whole.
constexpr off_t kMaxSize = 16 << 20;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

AnsiString TrimBlanks(const std::string& s, size_t begin, size_t end) {
  while (begin < end && IsBlank(s[begin])) ++begin;
  while (end > begin && IsBlank(s[end - 1])) --end;
  return s.substr(begin, end - begin);
}

AnsiString OneLine(AnsiString s) {
  for (char& c : s)
    if (c == '\r' || c == '\n') c = ' ';
  return s;
}

AnsiString ErrorOf(const std::string& what, const std::string& path, int err) {
  return Utf8ToSjis(what) + path + " (" + std::strerror(err) + ")";
}

}  // namespace

TIniFile::TIniFile(const std::string& path) : path_(path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno != ENOENT) {
      unreadable_ = true;
      error_ = ErrorOf("設定ファイルを読めません: ", path, errno);
    }
    return;
  }
  std::string bytes;
  struct stat st;
  bool ok = fstat(fd, &st) == 0;
  if (ok && st.st_size > kMaxSize) {
    ok = false;
    errno = EFBIG;
  }
  if (ok) {
    char buf[65536];
    for (;;) {
      const ssize_t n = read(fd, buf, sizeof buf);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        ok = false;
        break;
      }
      if (n == 0) break;
      bytes.append(buf, static_cast<size_t>(n));
      if (bytes.size() > static_cast<size_t>(kMaxSize)) {
        ok = false;
        errno = EFBIG;
        break;
      }
    }
  }
  const int err = errno;
  close(fd);
  if (!ok) {
    unreadable_ = true;
    error_ = ErrorOf("設定ファイルを読めません: ", path, err);
    return;
  }
  SetBytes(bytes);
}

void TIniFile::SetBytes(const std::string& bytes) {
  lines_.clear();
  modified_ = false;
  size_t start = 0;
  while (start < bytes.size()) {
    size_t end = start;
    while (end < bytes.size() && bytes[end] != '\r' && bytes[end] != '\n') ++end;
    Line line;
    line.text = bytes.substr(start, end - start);
    const std::string& t = line.text;
    size_t first = 0;
    while (first < t.size() && IsBlank(t[first])) ++first;
    const size_t close = t.rfind(']');
    if (first < t.size() && t[first] == '[' && close != std::string::npos && close > first) {
      line.section = true;
      line.name = TrimBlanks(t, first + 1, close);
    } else if (first < t.size() && t[first] != ';') {
      const size_t eq = t.find('=');  // never the second byte of a double-byte character
      if (eq != std::string::npos) {
        line.name = TrimBlanks(t, first, eq);
        line.value = TrimBlanks(t, eq + 1, t.size());
        line.key = !line.name.empty();
      }
    }
    lines_.push_back(std::move(line));
    if (end < bytes.size() && bytes[end] == '\r' && end + 1 < bytes.size() && bytes[end + 1] == '\n') ++end;
    start = end + 1;
  }
}

std::string TIniFile::Bytes() const {
  std::string out;
  for (const Line& l : lines_) {
    out += l.text;
    out += "\r\n";
  }
  return out;
}

int TIniFile::FindSection(const AnsiString& section) const {
  for (size_t i = 0; i < lines_.size(); ++i)
    if (lines_[i].section && SameText(lines_[i].name, section)) return static_cast<int>(i);
  return -1;
}

int TIniFile::FindKey(const AnsiString& section, const AnsiString& key) const {
  const int s = FindSection(section);
  if (s < 0) return -1;
  for (size_t i = s + 1; i < lines_.size() && !lines_[i].section; ++i)
    if (lines_[i].key && SameText(lines_[i].name, key)) return static_cast<int>(i);
  return -1;
}

bool TIniFile::SectionExists(const AnsiString& section) const { return FindSection(section) >= 0; }

bool TIniFile::ValueExists(const AnsiString& section, const AnsiString& key) const { return FindKey(section, key) >= 0; }

AnsiString TIniFile::ReadString(const AnsiString& section, const AnsiString& key, const AnsiString& def) const {
  const int i = FindKey(section, key);
  return i < 0 ? def : lines_[i].value;
}

int TIniFile::ReadInteger(const AnsiString& section, const AnsiString& key, int def) const {
  const int i = FindKey(section, key);
  return i < 0 ? def : StrToIntDef(lines_[i].value, def);
}

bool TIniFile::ReadBool(const AnsiString& section, const AnsiString& key, bool def) const {
  return ReadInteger(section, key, def ? 1 : 0) != 0;
}

void TIniFile::WriteString(const AnsiString& sectionName, const AnsiString& keyName, const AnsiString& value) {
  // Names and values as the file reads them back: one line, without blanks around them. A name
  // that would read as something else is not written.
  const AnsiString section = TrimBlanks(sectionName, 0, sectionName.size());
  const AnsiString key = TrimBlanks(keyName, 0, keyName.size());
  const AnsiString v = OneLine(value);
  const AnsiString trimmed = TrimBlanks(v, 0, v.size());
  if (section.empty() || key.empty() || section != OneLine(section) || key != OneLine(key) ||
      key.find('=') != AnsiString::npos || key[0] == ';' || key[0] == '[')
    return;
  int i = FindKey(section, key);
  if (i >= 0) {
    Line& l = lines_[i];
    if (l.value == trimmed) return;
    l.value = trimmed;
    l.text = l.name + "=" + trimmed;
    modified_ = true;
    return;
  }
  Line line;
  line.key = true;
  line.name = key;
  line.value = trimmed;
  line.text = key + "=" + trimmed;
  const int s = FindSection(section);
  if (s < 0) {
    Line header;
    header.section = true;
    header.name = section;
    header.text = "[" + section + "]";
    lines_.push_back(std::move(header));
    lines_.push_back(std::move(line));
  } else {
    int after = s;
    for (size_t k = s + 1; k < lines_.size() && !lines_[k].section; ++k)
      if (lines_[k].key) after = static_cast<int>(k);
    lines_.insert(lines_.begin() + after + 1, std::move(line));
  }
  modified_ = true;
}

void TIniFile::WriteInteger(const AnsiString& section, const AnsiString& key, int value) {
  WriteString(section, key, IntToStr(value));
}

void TIniFile::WriteBool(const AnsiString& section, const AnsiString& key, bool value) {
  WriteString(section, key, value ? "1" : "0");
}

bool TIniFile::UpdateFile() {
  if (unreadable_) return false;  // error_ says why; the file is kept as it is
  namespace fs = std::filesystem;
  std::error_code ec;
  // Through a link the file it names is replaced, not the link.
  fs::path target = path_;
  if (fs::is_symlink(target, ec)) {
    const fs::path real = fs::weakly_canonical(target, ec);
    if (!ec) target = real;
  }
  const fs::path dir = target.has_parent_path() ? target.parent_path() : fs::path(".");
  std::string temp = (dir / ("." + target.filename().string() + ".XXXXXX")).string();
  const int fd = mkstemp(temp.data());
  if (fd < 0) {
    error_ = ErrorOf("設定ファイルを書き込めません: ", path_, errno);
    return false;
  }
  auto fail = [&](int err) {
    close(fd);
    unlink(temp.c_str());
    error_ = ErrorOf("設定ファイルを書き込めません: ", path_, err);
    return false;
  };
  // The new file keeps the old one's permissions; a new one gets the usual ones.
  struct stat st;
  mode_t mode;
  if (stat(target.c_str(), &st) == 0) {
    mode = st.st_mode & 07777;
  } else {
    const mode_t mask = umask(0);
    umask(mask);
    mode = 0666 & ~mask;
  }
  if (fchmod(fd, mode) != 0) return fail(errno);
  const std::string bytes = Bytes();
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return fail(n < 0 ? errno : ENOSPC);
    done += static_cast<size_t>(n);
  }
  if (fsync(fd) != 0) return fail(errno);
  if (close(fd) != 0) {
    const int err = errno;
    unlink(temp.c_str());
    error_ = ErrorOf("設定ファイルを書き込めません: ", path_, err);
    return false;
  }
  if (rename(temp.c_str(), target.c_str()) != 0) {
    const int err = errno;
    unlink(temp.c_str());
    error_ = ErrorOf("設定ファイルを書き込めません: ", path_, err);
    return false;
  }
  error_.clear();
  modified_ = false;
  return true;
}
