#include "cli/common.h"

#include <errno.h>
#include <signal.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iostream>

#include "cli/commands.h"
#include "engine/base/Err_Msgs.h"
#include "engine/base/zidBase.h"
#include "engine/base/zidMask.h"
#include "platform/charset.h"
#include "platform/codepage.h"
#include "platform/files.h"

namespace cli {

std::string Printable(const std::string& s) {
  std::string r;
  r.reserve(s.size());
  char buf[16];
  for (size_t i = 0; i < s.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x20 || c == 0x7F) {
      std::snprintf(buf, sizeof buf, "\\x%02X", c);
      r += buf;
      continue;
    }
    // U+200E/F, U+202A..E, U+2066..9: E2 80 8E/8F, E2 80 AA..AE, E2 81 A6..A9
    if (c == 0xE2 && i + 2 < s.size()) {
      const unsigned char b1 = static_cast<unsigned char>(s[i + 1]), b2 = static_cast<unsigned char>(s[i + 2]);
      const bool bidi = (b1 == 0x80 && (b2 == 0x8E || b2 == 0x8F || (b2 >= 0xAA && b2 <= 0xAE))) ||
                        (b1 == 0x81 && b2 >= 0xA6 && b2 <= 0xA9);
      if (bidi) {
        const unsigned cp = ((c & 0x0Fu) << 12) | ((b1 & 0x3Fu) << 6) | (b2 & 0x3Fu);
        std::snprintf(buf, sizeof buf, "\\u{%04X}", cp);
        r += buf;
        i += 2;
        continue;
      }
    }
    r += static_cast<char>(c);
  }
  return r;
}

namespace {
bool* g_cancelFlag = nullptr;
volatile sig_atomic_t g_signal = 0;
struct sigaction g_old[3];
constexpr int kSignals[3] = {SIGINT, SIGTERM, SIGHUP};

void OnSignal(int sig) {
  if (g_signal != 0) {
    // The second time: stop at once, as the user insists.
    signal(sig, SIG_DFL);
    raise(sig);
    return;
  }
  g_signal = sig;
  if (g_cancelFlag) *g_cancelFlag = true;
}
}  // namespace

CancelOnSignal::CancelOnSignal(bool* cancelFlag) {
  g_cancelFlag = cancelFlag;
  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  for (int i = 0; i < 3; ++i) sigaction(kSignals[i], &sa, &g_old[i]);
}

CancelOnSignal::~CancelOnSignal() {
  for (int i = 0; i < 3; ++i) sigaction(kSignals[i], &g_old[i], nullptr);
  g_cancelFlag = nullptr;
}

int CancelOnSignal::Signalled() { return g_signal; }

namespace {
bool g_showCodes = false;
}  // namespace

void SetShowCodes(bool show) { g_showCodes = show; }
bool ShowCodes() { return g_showCodes; }

void PrintEngineError(int code, const std::string& file, const std::string& extendedMsg) {
  const std::string who = file.empty() ? std::string() : Printable(file) + ": ";
  std::string line = "zefa: " + who;
  if (code == zid::E_REQUIREDEVENT && extendedMsg == "OnGetPassword") {
    line = "zefa: " + Printable(file) + " is encrypted: give the password with -p";
  } else if (code == zid::E_INVALIDPASSWORD || code == zid::E_PASSWORDFAILED) {
    // The engine's extra words may be the password typed: never shown.
    line += "wrong password";
  } else if (code == zid::E_REQUIREDEVENT) {
    // The engine asked something zefa gives no answer to: said without the event's name.
    const bool volume = extendedMsg == "OnNextVolume" || extendedMsg == "OnGetNextCabinet";
    line += volume ? "the next volume of the set is needed" : "zefa cannot answer the engine's question here";
  } else if ((code == zid::E_FORMATLIMIT || code == zid::E_FILENOTFOUND) && !extendedMsg.empty()) {
    // The extra words are the whole sentence: the limit and this file's size or name length, or the missing volume.
    line += Printable(extendedMsg);
  } else {
    line += zid::LoadStr(code);
    // The detector's type names ("atNA", "atZip") mean nothing to a user: left out.
    const bool typeName = extendedMsg.size() > 2 && extendedMsg.compare(0, 2, "at") == 0 &&
                          extendedMsg.find(' ') == std::string::npos && std::isupper(static_cast<unsigned char>(extendedMsg[2]));
    if (!extendedMsg.empty() && extendedMsg != file && !typeName) line += ": " + Printable(extendedMsg);
  }
  if (g_showCodes) line += " (" + std::to_string(code) + ")";
  std::cerr << line << std::endl;
}

bool ArchiveUsable(const std::string& path) {
  struct stat st;
  const std::string shown = Printable(path);
  if (stat(path.c_str(), &st) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) PrintEngineError(zid::E_FILENOTFOUND, path);
    else PrintEngineError(zid::E_OPENERROR, path, plat::ErrorText(errno));
    return false;
  }
  const char* kind = S_ISDIR(st.st_mode)    ? "a folder"
                     : S_ISFIFO(st.st_mode) ? "a FIFO"
                     : S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode) ? "a device"
                     : S_ISSOCK(st.st_mode) ? "a socket"
                                            : nullptr;
  if (kind != nullptr) {
    std::cerr << "zefa: " << shown << ": is " << kind << ", not an archive\n";
    return false;
  }
  if (access(path.c_str(), R_OK) != 0) {
    PrintEngineError(zid::E_OPENERROR, path, plat::ErrorText(errno));
    return false;
  }
  return true;
}

void AttachErrorPrinter(zid::TZipCommon& component, int* counter,
                        std::function<std::string(const std::string&)> shown) {
  component.OnError = [counter, shown](zid::TZipCommon*, const std::string& file, const std::string& ext,
                                       const std::string&, int code) {
    if (counter) ++*counter;
    PrintEngineError(code, shown ? shown(file) : file, ext);
  };
}

namespace {
std::string Slashed(std::string s) {
  for (char& c : s)
    if (c == '\\') c = '/';
  return s;
}
}  // namespace

NameSelection::NameSelection(const std::vector<std::string>& masks) {
  for (const std::string& m : masks) {
    std::string mask = Slashed(m);
    while (mask.rfind("./", 0) == 0) mask.erase(0, 2);
    masks_.push_back(zid::NormalizeMask(mask));
    compiled_.emplace_back(masks_.back(), zid::TMaskCase::Exact);
  }
  used_.assign(masks_.size(), false);
}

bool NameSelection::Matches(const std::string& storedName) {
  const std::string name = Slashed(storedName);
  const std::string bare = !name.empty() && name.back() == '/' ? name.substr(0, name.size() - 1) : name;
  bool any = false;
  for (size_t i = 0; i < masks_.size(); ++i) {
    if (compiled_[i].Matches(name) || compiled_[i].Matches(bare)) {
      used_[i] = true;
      any = true;
    }
  }
  return any;
}

int NameSelection::ReportUnmatched() const {
  int n = 0;
  for (size_t i = 0; i < masks_.size(); ++i) {
    if (used_[i]) continue;
    std::cerr << "zefa: no entry matches " << Printable(masks_[i]) << std::endl;
    ++n;
  }
  return n;
}

const char* const kExitCodesHelp =
    "Exit codes: 0 all good; 1 some entries failed, were left out or a mask matched nothing, or warnings; "
    "2 usage error or the archive cannot be used; 128+N interrupted by signal N.";

std::string JsonString(const std::string& s) {
  std::string r = "\"";
  for (size_t i = 0; i < s.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (c >= 0x80) {
      // A byte that is no part of a UTF-8 character would make the JSON
      // invalid: written as the text \xNN, as the listing shows it.
      size_t len = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
      if (len > 1 && i + len <= s.size() && plat::IsValidUtf8(std::string_view(s).substr(i, len))) {
        r.append(s, i, len);
        i += len - 1;
      } else {
        char buf[8];
        snprintf(buf, sizeof buf, "\\\\x%02X", c);
        r += buf;
      }
      continue;
    }
    switch (c) {
      case '"': r += "\\\""; break;
      case '\\': r += "\\\\"; break;
      case '\n': r += "\\n"; break;
      case '\r': r += "\\r"; break;
      case '\t': r += "\\t"; break;
      default:
        if (c < 0x20) {
          char buf[8];
          snprintf(buf, sizeof buf, "\\u%04x", c);
          r += buf;
        } else {
          r += static_cast<char>(c);
        }
    }
  }
  return r + "\"";
}

std::string IsoDateTime(double dateTime) {
  if (!(dateTime > -700000.0 && dateTime < 3000000.0)) dateTime = 0;  // also NaN: the epoch
  long long secs = std::llround(dateTime * 86400.0);
  long long days = secs / 86400;
  long long rest = secs % 86400;
  if (rest < 0) {
    rest += 86400;
    --days;
  }
  // Civil date from a day count (days since 1970-01-01; the engine's epoch is 25569 days earlier).
  long long z = days - 25569 + 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const long long doe = z - era * 146097;
  const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const long long mp = (5 * doy + 2) / 153;
  const long long d = doy - (153 * mp + 2) / 5 + 1;
  const long long m = mp < 10 ? mp + 3 : mp - 9;
  const long long y = yoe + era * 400 + (m <= 2 ? 1 : 0);
  char buf[96];
  snprintf(buf, sizeof buf, "%04lld-%02lld-%02lldT%02lld:%02lld:%02lld", y, m, d, rest / 3600, rest / 60 % 60,
           rest % 60);
  return buf;
}

bool StderrIsTerminal() { return isatty(STDERR_FILENO) == 1; }
bool StdinIsTerminal() { return isatty(STDIN_FILENO) == 1; }

ProgressBar::ProgressBar(std::string label) : label_(std::move(label)), enabled_(StderrIsTerminal()) {}

ProgressBar::~ProgressBar() { Finish(); }

void ProgressBar::Update(int byFile, int byArchive, const std::string& name) {
  (void)byFile;
  if (!enabled_ || byArchive == last_) return;
  last_ = byArchive;
  const int width = 30;
  int filled = byArchive * width / 100;
  std::string bar(static_cast<size_t>(filled), '#');
  bar.resize(width, '.');
  std::string shown = name.size() > 40 ? "..." + name.substr(name.size() - 37) : name;
  fprintf(stderr, "\r%s [%s] %3d%% %-40s", label_.c_str(), bar.c_str(), byArchive, shown.c_str());
  fflush(stderr);
  drawn_ = true;
}

void ProgressBar::Finish() {
  if (drawn_) {
    fprintf(stderr, "\r%*s\r", 90, "");
    fflush(stderr);
    drawn_ = false;
  }
}

bool AskPassword(const std::string& prompt, std::string& password) {
  if (!StdinIsTerminal()) return false;
  fprintf(stderr, "%s", prompt.c_str());
  fflush(stderr);
  termios old{};
  bool restore = tcgetattr(STDIN_FILENO, &old) == 0;
  if (restore) {
    termios quiet = old;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    // TCSANOW: what was typed ahead of the prompt is the answer, kept.
    tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
  }
  bool ok = static_cast<bool>(std::getline(std::cin, password));
  if (restore) tcsetattr(STDIN_FILENO, TCSAFLUSH, &old);
  fprintf(stderr, "\n");
  return ok;
}

std::vector<std::string> PeerStyleArgs(int argc, char** argv) {
  std::vector<std::string> in(argv + 1, argv + argc);
  std::vector<std::string> out;
  for (size_t i = 0; i < in.size(); ++i) {
    const std::string& a = in[i];
    if (a == "--") {
      out.insert(out.end(), in.begin() + static_cast<std::ptrdiff_t>(i), in.end());
      break;
    }
    if (a == "-so") {
      out.push_back("--stdout");
    } else if (a == "-p" && (i + 1 == in.size() || (!in[i + 1].empty() && in[i + 1][0] == '-') ||
                             std::filesystem::exists(in[i + 1]))) {
      out.push_back("--ask-password");
    } else {
      out.push_back(a);
    }
  }
  return std::vector<std::string>(out.rbegin(), out.rend());
}

CLI::Option* AddCharsetOption(CLI::App* sub, std::string& charset, const std::string& help) {
  return sub->add_option("-O,--charset", charset, help);
}

bool CharsetUsable(const std::string& name, std::string& page) {
  page.clear();
  if (name.empty()) return true;
  page = plat::CanonicalCharset(name);
  if (!page.empty()) return true;
  std::fprintf(stderr,
               "zefa: %s is not a character set zefa knows: give a code page such as CP437, CP850, CP866, CP1251, "
               "SHIFT_JIS or GBK\n",
               Printable(name).c_str());
  return false;
}

}  // namespace cli
