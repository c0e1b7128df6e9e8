#pragma once
// How isilonctl writes results: the output form (-o), headers and footers, human-readable
// values (-H), and tables that fit the terminal.
#include <string>
#include <vector>

namespace ctl {

enum class OutputFormat { kTable, kWide, kJson, kNdjson };

struct OutputSettings {
  OutputFormat format = OutputFormat::kTable;
  bool noHeaders = false;
  bool human = false;
  bool print0 = false;  // find: names end with NUL instead of a newline
};

// The settings of this run, set while parsing the command line.
OutputSettings& Out();

// Parses "table", "wide", "json" or "ndjson".
bool ParseOutputFormat(const std::string& text, OutputFormat& format);

// Whether standard output is a terminal (checked once).
bool StdoutIsTerminal();
// The width tables must fit in: COLUMNS when it holds a number, else the terminal's; 0 when
// standard output is not a terminal (nothing is cut).
size_t TerminalColumns();

// Footer lines ("2 shares") are for a person: on a terminal only, and not with --no-headers.
bool ShowFooter();

// A table column; wide-only columns are shown with -o wide alone.
struct Column {
  Column(const char* header) : header(header) {}  // NOLINT(google-explicit-constructor)
  Column(std::string header, bool wideOnly = false) : header(std::move(header)), wideOnly(wideOnly) {}
  std::string header;
  bool wideOnly = false;
};
constexpr bool kWideOnly = true;

// The table as lines (no line ends): columns two spaces apart, aligned by display width, the
// widest columns cut with "…" until the whole fits in `columns` (0: nothing is cut).
std::vector<std::string> FormatTable(const std::vector<std::string>& headers,
                                     const std::vector<std::vector<std::string>>& rows, size_t columns,
                                     bool withHeaders);

// The number of terminal columns a text takes: wcwidth per character in the locale's encoding
// (UTF-8 at least), one column per byte that is not valid UTF-8.
size_t DisplayWidth(const std::string& text);
// The longest start of `text` that fits in `columns`, with "…" when it was cut.
std::string FitWidth(const std::string& text, size_t columns);
// Sets LC_CTYPE from the environment, falling back to C.UTF-8 when that is not UTF-8.
void SetUpLocale();

// A size in bytes: "1536", or with -H "1.5K" (powers of 1024).
std::string SizeText(unsigned long long bytes);
// Human-readable sizes, whatever -H says: "512", "1.5K", "20M", "3.0G".
std::string HumanSize(unsigned long long bytes);
// A time in seconds since 1970: "2024-01-02 03:04:05" (UTC), or with -H in local time with its zone.
std::string TimeText(long long seconds);

// The edit distance between two words, a swap of two neighbours counting as one edit.
size_t EditDistance(const std::string& a, const std::string& b);
// The candidate nearest to `word` when it is near enough to be a likely misspelling; else "".
std::string Nearest(const std::string& word, const std::vector<std::string>& candidates);

}  // namespace ctl
