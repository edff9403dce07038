// The settings file read at load (tracewell.conf beside the data source): its plain
// "key = value" format, the keys the data source knows and the checks on their values.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// Named so that the Source Manager's search (file names holding ".ds") never takes it.
constexpr char kSettingsFileName[] = "tracewell.conf";

// What a file sets; a key it does not set, or sets wrongly, is left empty so that the
// compiled-in value holds.
struct TracewellSettings {
    std::optional<std::string> adaptedSource;  // absolute path of the standard data source to trace
    std::optional<std::string> logDirectory;   // absolute, at most 255 bytes
    std::optional<bool> timing;
};

// Something wrong with a settings file: the line it is on (0: the file as a whole) and what.
struct SettingsProblem {
    int line;
    std::string what;
};

// The lines of a key = value text: blank lines and lines whose first non-blank character is '#'
// are skipped; key and value are trimmed of blanks. A line without '=' or with an empty key is
// reported through `problem`; a value may hold '#', '=' and blanks (paths do).
void ForEachSetting(const std::string& text,
                    const std::function<void(int line, const std::string& key, const std::string& value)>& setting,
                    const std::function<void(int line, const std::string& what)>& problem);

TracewellSettings ParseSettings(const std::string& text, std::vector<SettingsProblem>* problems);

// Reads and parses a settings file. A missing file sets nothing and is no problem; one that
// cannot be read (or is no regular file, or is too large to be one) is.
TracewellSettings ReadSettingsFile(const std::string& path, std::vector<SettingsProblem>* problems);

// "tracewell.conf" in the directory of the module file at `modulePath`.
std::string SettingsPathBeside(const std::string& modulePath);

// The line a problem is reported with on standard error: "tracewell: FILE:LINE: WHAT".
std::string DescribeSettingsProblem(const std::string& path, const SettingsProblem& problem);
