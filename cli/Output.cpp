#include "cli/Output.h"

#include <langinfo.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <cwchar>

namespace ctl {

OutputSettings& Out() {
  static OutputSettings settings;
  return settings;
}

bool ParseOutputFormat(const std::string& text, OutputFormat& format) {
  static const std::pair<const char*, OutputFormat> kNames[] = {{"table", OutputFormat::kTable},
                                                                {"wide", OutputFormat::kWide},
                                                                {"json", OutputFormat::kJson},
                                                                {"ndjson", OutputFormat::kNdjson}};
  for (const auto& name : kNames) {
    if (text == name.first) {
      format = name.second;
      return true;
    }
  }
  return false;
}

bool StdoutIsTerminal() {
  static const bool terminal = isatty(STDOUT_FILENO) == 1;
  return terminal;
}

size_t TerminalColumns() {
  if (!StdoutIsTerminal()) return 0;
  const char* columns = std::getenv("COLUMNS");
  if (columns != nullptr && *columns != '\0' && std::strspn(columns, "0123456789") == std::strlen(columns)) {
    const unsigned long value = std::strtoul(columns, nullptr, 10);
    if (value > 0 && value < 100000) return value;
  }
  winsize size{};
  if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
}

bool ShowFooter() { return StdoutIsTerminal() && !Out().noHeaders; }

void SetUpLocale() {
  const char* set = std::setlocale(LC_CTYPE, "");
  if (set == nullptr || std::strcmp(nl_langinfo(CODESET), "UTF-8") != 0) std::setlocale(LC_CTYPE, "C.UTF-8");
}

namespace {

// Calls `take(bytes, width)` for each character of `text`; a byte that does not start a
// valid character is one character of width 1.
template <typename Take>
void ForEachCharacter(const std::string& text, Take take) {
  static const bool ready = (SetUpLocale(), true);
  (void)ready;
  std::mbstate_t state{};
  for (size_t i = 0; i < text.size();) {
    wchar_t wide = 0;
    const size_t length = std::mbrtowc(&wide, text.data() + i, text.size() - i, &state);
    if (length == static_cast<size_t>(-1) || length == static_cast<size_t>(-2)) {
      state = std::mbstate_t{};
      if (!take(i, 1, 1)) return;
      ++i;
      continue;
    }
    const size_t bytes = length == 0 ? 1 : length;  // an embedded NUL
    const int width = length == 0 ? 0 : wcwidth(wide);
    if (!take(i, bytes, width < 0 ? 1 : static_cast<size_t>(width))) return;
    i += bytes;
  }
}

}  // namespace

size_t DisplayWidth(const std::string& text) {
  size_t total = 0;
  ForEachCharacter(text, [&total](size_t, size_t, size_t width) {
    total += width;
    return true;
  });
  return total;
}

std::string FitWidth(const std::string& text, size_t columns) {
  if (DisplayWidth(text) <= columns) return text;
  if (columns == 0) return std::string();
  size_t used = 0, end = 0;
  ForEachCharacter(text, [&](size_t at, size_t bytes, size_t width) {
    if (used + width > columns - 1) return false;
    used += width;
    end = at + bytes;
    return true;
  });
  return text.substr(0, end) + "\xE2\x80\xA6";
}

std::vector<std::string> FormatTable(const std::vector<std::string>& headers,
                                     const std::vector<std::vector<std::string>>& rows, size_t columns,
                                     bool withHeaders) {
  const size_t n = headers.size();
  std::vector<size_t> width(n, 0);
  for (size_t i = 0; i < n && withHeaders; ++i) width[i] = DisplayWidth(headers[i]);
  for (const auto& row : rows) {
    for (size_t i = 0; i < row.size() && i < n; ++i) width[i] = std::max(width[i], DisplayWidth(row[i]));
  }
  if (columns > 0 && n > 0) {
    // The widest column gives up a column at a time, down to a few characters each.
    const size_t kNarrowest = 4;
    size_t total = 2 * (n - 1);
    for (size_t w : width) total += w;
    while (total > columns) {
      const size_t widest = static_cast<size_t>(std::max_element(width.begin(), width.end()) - width.begin());
      if (width[widest] <= kNarrowest) break;
      --width[widest];
      --total;
    }
  }
  std::vector<std::string> lines;
  auto line = [&](const std::vector<std::string>& cells) {
    std::string text;
    for (size_t i = 0; i < n; ++i) {
      const std::string cell = FitWidth(i < cells.size() ? cells[i] : std::string(), width[i]);
      text += cell;
      if (i + 1 < n) text += std::string(width[i] - DisplayWidth(cell) + 2, ' ');
    }
    while (!text.empty() && text.back() == ' ') text.pop_back();
    lines.push_back(text);
  };
  if (withHeaders) line(headers);
  for (const auto& row : rows) line(row);
  return lines;
}

std::string HumanSize(unsigned long long bytes) {
  static const char kUnits[] = "KMGTPE";
  if (bytes < 1024) return std::to_string(bytes);
  double value = static_cast<double>(bytes);
  size_t unit = 0;
  value /= 1024;
  while (value >= 1023.95 && unit + 1 < sizeof kUnits - 1) {
    value /= 1024;
    ++unit;
  }
  char text[32];
  if (value < 9.95) {
    std::snprintf(text, sizeof text, "%.1f%c", value, kUnits[unit]);
  } else {
    std::snprintf(text, sizeof text, "%.0f%c", value, kUnits[unit]);
  }
  return text;
}

std::string SizeText(unsigned long long bytes) { return Out().human ? HumanSize(bytes) : std::to_string(bytes); }

std::string TimeText(long long seconds) {
  const std::time_t t = static_cast<std::time_t>(seconds);
  std::tm tm{};
  const bool local = Out().human;
  if ((local ? localtime_r(&t, &tm) : gmtime_r(&t, &tm)) == nullptr) return std::to_string(seconds);
  char text[64];
  if (std::strftime(text, sizeof text, local ? "%Y-%m-%d %H:%M:%S %Z" : "%Y-%m-%d %H:%M:%S", &tm) == 0) {
    return std::to_string(seconds);
  }
  return text;
}

size_t EditDistance(const std::string& a, const std::string& b) {
  // Optimal string alignment: insertions, deletions, substitutions and swaps of neighbours.
  std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1, 0));
  for (size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
  for (size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
    }
  }
  return d[a.size()][b.size()];
}

std::string Nearest(const std::string& word, const std::vector<std::string>& candidates) {
  // Short words allow one edit, longer ones two: more would suggest unrelated names.
  const size_t letters = word.size() - std::min(word.find_first_not_of('-'), word.size());
  const size_t allowed = letters < 3 ? 0 : letters < 6 ? 1 : 2;
  std::string best;
  size_t bestDistance = allowed + 1;
  for (const std::string& candidate : candidates) {
    const size_t distance = EditDistance(word, candidate);
    if (distance < bestDistance) {
      best = candidate;
      bestDistance = distance;
    }
  }
  return best;
}

}  // namespace ctl
