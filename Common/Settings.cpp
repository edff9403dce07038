// The settings file: its line format, its three keys and the checks on their values, and reading
// it from beside the loaded data source.
#include "Settings.h"

#include <cstring>

#include "SettingsFile.h"

namespace {

// Far more than any settings file holds; a larger file is not one.
constexpr size_t kMaxFileSize = 64 * 1024;
// The log directory is kept in a 256-byte array with its terminating zero.
constexpr size_t kMaxLogDirectory = 255;
constexpr size_t kMaxPath = 4095;
// Outside text quoted in a message is cut to this many bytes.
constexpr size_t kMaxQuoted = 64;

std::string Trim(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::string Quoted(const std::string& text) {
    if (text.size() <= kMaxQuoted) return "\"" + text + "\"";
    return "\"" + text.substr(0, kMaxQuoted) + "...\"";
}

bool HoldsControlCharacter(const std::string& line) {
    for (const char c : line) {
        const unsigned char u = static_cast<unsigned char>(c);
        if ((u < 0x20 && u != '\t') || u == 0x7F) return true;
    }
    return false;
}

// Empty when the value is a usable absolute path of at most `limit` bytes, else what is wrong.
std::string CheckPath(const std::string& key, const std::string& value, size_t limit) {
    if (value.empty()) return key + " needs a value";
    if (!IsAbsolutePath(value)) return key + " must be an absolute path, not " + Quoted(value);
    if (value.size() > limit) return key + " is longer than " + std::to_string(limit) + " bytes";
    return "";
}

struct KeyRule {
    const char* key;
    // Stores the value into the settings, or returns what is wrong with it.
    std::string (*apply)(const std::string& value, TracewellSettings& settings);
    bool (*isSet)(const TracewellSettings& settings);
};

const KeyRule kKeys[] = {
    {"adapted_source",
     [](const std::string& value, TracewellSettings& s) {
         std::string wrong = CheckPath("adapted_source", value, kMaxPath);
         if (wrong.empty()) s.adaptedSource = value;
         return wrong;
     },
     [](const TracewellSettings& s) { return s.adaptedSource.has_value(); }},
    {"log_dir",
     [](const std::string& value, TracewellSettings& s) {
         std::string wrong = CheckPath("log_dir", value, kMaxLogDirectory);
         if (wrong.empty()) s.logDirectory = value;
         return wrong;
     },
     [](const TracewellSettings& s) { return s.logDirectory.has_value(); }},
    {"timing",
     [](const std::string& value, TracewellSettings& s) {
         if (value == "on" || value == "off") {
             s.timing = value == "on";
             return std::string();
         }
         return "timing must be on or off, not " + Quoted(value);
     },
     [](const TracewellSettings& s) { return s.timing.has_value(); }},
};

const KeyRule* FindKey(const std::string& key) {
    for (const KeyRule& rule : kKeys) {
        if (key == rule.key) return &rule;
    }
    return nullptr;
}

}  // namespace

void ForEachSetting(const std::string& text,
                    const std::function<void(int line, const std::string& key, const std::string& value)>& setting,
                    const std::function<void(int line, const std::string& what)>& problem) {
    int number = 0;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::string trimmed = Trim(line);
        if (trimmed.empty() || trimmed[0] == '#') continue;
        if (HoldsControlCharacter(line)) {
            problem(number, "the line holds a control character");
            continue;
        }
        const size_t equals = trimmed.find('=');
        if (equals == std::string::npos) {
            problem(number, "expected key = value, found " + Quoted(trimmed));
            continue;
        }
        const std::string key = Trim(trimmed.substr(0, equals));
        if (key.empty()) {
            problem(number, "the line has no key before '='");
            continue;
        }
        setting(number, key, Trim(trimmed.substr(equals + 1)));
    }
}

TracewellSettings ParseSettings(const std::string& text, std::vector<SettingsProblem>* problems) {
    TracewellSettings settings;
    const auto report = [&](int line, const std::string& what) {
        if (problems != nullptr) problems->push_back({line, what});
    };
    ForEachSetting(
        text,
        [&](int line, const std::string& key, const std::string& value) {
            const KeyRule* rule = FindKey(key);
            if (rule == nullptr) {
                report(line, "unknown key " + Quoted(key) + " (known: adapted_source, log_dir, timing)");
            } else if (rule->isSet(settings)) {
                report(line, key + " is set again; the first value holds");
            } else {
                const std::string wrong = rule->apply(value, settings);
                if (!wrong.empty()) report(line, wrong + "; the compiled-in value holds");
            }
        },
        report);
    return settings;
}

TracewellSettings ReadSettingsFile(const std::string& path, std::vector<SettingsProblem>* problems) {
    const auto fail = [&](const std::string& what) {
        if (problems != nullptr) problems->push_back({0, what + "; the compiled-in values hold"});
        return TracewellSettings();
    };
    std::string text;
    std::string wrong;
    switch (ReadSettingsBytes(path, kMaxFileSize, &text, &wrong)) {
        case SettingsBytes::kMissing: return TracewellSettings();
        case SettingsBytes::kWrong: return fail(wrong);
        case SettingsBytes::kRead: break;
    }
    return ParseSettings(text, problems);
}

std::string SettingsPathBeside(const std::string& modulePath) {
    const size_t slash = modulePath.find_last_of(kPathSeparators);
    if (slash == std::string::npos) return kSettingsFileName;
    return modulePath.substr(0, slash + 1) + kSettingsFileName;
}

std::string DescribeSettingsProblem(const std::string& path, const SettingsProblem& problem) {
    std::string text = "tracewell: " + path;
    if (problem.line > 0) text += ":" + std::to_string(problem.line);
    return text + ": " + problem.what;
}
