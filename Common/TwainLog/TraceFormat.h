// The fixed texts of the trace, defined once: the writer formats them ({fmt} format strings,
// checked at compile time where they are used) and the reader in tools/report recognises them
// through the same definitions (the literal text before the first replacement field, and after
// the last one).
#pragma once

#include <cstddef>
#include <string_view>

namespace traceformat {

// Every trace line ends in "\r\n"; the leveled logger's lines end in "\n" alone.
inline constexpr char kLineEnd[] = "\r\n";
inline constexpr char kLoggerLineEnd[] = "\n";

// ---- request line: "[00001] [APP] DG_CONTROL/DAT_CAPABILITY/MSG_GET (ICAP_PIXELTYPE)" --------
inline constexpr char kRequestSequence[] = "[{:05d}] ";
inline constexpr char kRequestTag[] = "[{}] ";
// The tag of a message the source sends the application through the Source Manager.
inline constexpr char kSourceTag[] = "DS";
// The caller tag a load starts with.
inline constexpr char kApplicationTag[] = "APP";
inline constexpr char kTriplet[] = "{}/{}/{}";
inline constexpr char kTripletWithCapability[] = "{}/{}/{} ({})";

// ---- timing lines (timing = on) ---------------------------------------------------------------
inline constexpr char kTimeLine[] = "        Time = [{:02d}:{:02d}:{:02d}.{:06d}]";
// The linux and Windows builds also name the thread that made the call.
inline constexpr char kTimeLineWithThread[] = "        Time = [{:02d}:{:02d}:{:02d}.{:06d}] Thread = [{}]";
inline constexpr char kTookLine[] = "        Took = [{:.3f} ms]";

// ---- result section ---------------------------------------------------------------------------
inline constexpr char kReturnCodeLine[] = "        Return Code = [{}]";
inline constexpr char kDataPointerLine[] = "pData   = <0x{:08x}>";
// The empty line before the status line, and the status line that closes a result section.
inline constexpr char kEmptyLine[] = "";
inline constexpr char kStatusLine[] = "TWAIN Status = [{}]";

// ---- lines between and after calls ------------------------------------------------------------
inline constexpr char kMarkerStart[] = "*** Inspect Error Status Start ***";
inline constexpr char kMarkerEnd[] = "*** Inspect Error Status End   ***";
// The line that follows a call's text cut at the written limit.
inline constexpr char kCutNotice[] = "Size of CAP_xxx too long";
// Notices Tracewell writes itself open and close like this.
inline constexpr char kNoticeOpen[] = "*** ";
inline constexpr char kNoticeClose[] = " ***";
// Written before the next text that reaches the file after a failed or short write.
inline constexpr char kLostTextNotice[] = "*** Trace text lost: {} bytes not written ({}) ***";

// ---- banner at the start of a trace file ----------------------------------------------------
inline constexpr char kBannerRule[] = "////////////////////////////////////////////////";
inline constexpr char kBannerTitle[] = "           TWAIN Tracewell Ver1.10";
inline constexpr char kBannerTime[] = "  << Current time = {} >>";

// ---- structure renderings ---------------------------------------------------------------------
// Pointers and handles: the low 32 bits.
inline constexpr char kPointer[] = "<0x{:08x}>";
// One item of a list: the index right-aligned in three places, its value, a comma unless it is
// the last item.
inline constexpr char kListItemIndent[] = "        ";
inline constexpr char kListItem[] = "        {:3d}:{}";
inline constexpr char kListItemSeparator[] = ",";
// A structure header "  TW_CAPABILITY = {" and its closing "  }".
inline constexpr char kStructureOpen[] = " = {";
inline constexpr char kStructureClose[] = "}";
// A value in its brackets: "    Count = [1]".
inline constexpr char kValueOpen[] = "[";
inline constexpr char kValueClose[] = "]";
// A fault Tracewell reports inside a rendering: "!!! not readable.!!!".
inline constexpr char kFaultOpen[] = "!!! ";
inline constexpr char kFaultClose[] = ".!!!";
// The fallback name of a value no table names: "ERROR!(27)".
inline constexpr char kUnnamedValue[] = "{}({})";

// ---- what the source changed of what the application sent it (linux and Windows builds) ------
// After a value the source changed: " (sent TRUE)".
inline constexpr char kSentValue[] = " (sent {})";
// Where the structure as sent does not line up with the structure as returned, it follows whole.
inline constexpr char kSentBlockOpen[] = "  Sent by the application = {{";
inline constexpr char kSentBlockClose[] = "  }}";

// ---- where a load runs: lines at the start of each load (and, for the Source Manager and the
// application, where the trace first shows them), in the linux and Windows builds only ---------
inline constexpr char kEnvironmentLine[] = "*** {}: {} ***";
inline constexpr char kEnvironmentSeparator[] = ": ";
inline constexpr char kEnvironmentTracewell[] = "Tracewell";
inline constexpr char kEnvironmentProcess[] = "Process";
inline constexpr char kEnvironmentSystem[] = "System";
inline constexpr char kEnvironmentTimeZone[] = "Time zone";
inline constexpr char kEnvironmentSource[] = "Source";
inline constexpr char kEnvironmentSourceManager[] = "Source Manager";
inline constexpr char kEnvironmentApplication[] = "Application";
// Every key above, in the order a load writes them.
inline constexpr const char* kEnvironmentKeys[] = {kEnvironmentTracewell, kEnvironmentProcess,
                                                   kEnvironmentSystem,    kEnvironmentTimeZone,
                                                   kEnvironmentSource,    kEnvironmentSourceManager,
                                                   kEnvironmentApplication};
// The values.
inline constexpr char kTracewellValue[] = "{}, TWAIN ABI {}";
inline constexpr char kProcessValue[] = "{} {}";
inline constexpr char kSourceValue[] = "{}, {} bytes, modified {:04d}-{:02d}-{:02d}T{:02d}:{:02d}:{:02d}Z";
inline constexpr char kSourceNotFoundValue[] = "{}, not found";
inline constexpr char kApplicationValue[] =
    "\"{}\" \"{}\" \"{}\", version {}.{} \"{}\", protocol {}.{}, groups 0x{:08x} ({})";
// A Source Manager entry point that lies in no loaded module.
inline constexpr char kNoModuleValue[] = "<0x{:08x}>, in no loaded module";
// What stands where a fact could not be had.
inline constexpr char kUnknownValue[] = "unknown";

// ---- leveled logger ---------------------------------------------------------------------------
// Each logger message opens with a prefix built by Boost.Format: time stamp, level name, origin,
// and the source file and line where the message names them.
inline constexpr char kLoggerStamp[] = "{:04d}/{:02d}/{:02d} {:02d}:{:02d}:{:02d}.{:03d}";
inline constexpr char kLoggerPrefix[] = "[%s] %s from \"%s\" ";
inline constexpr char kLoggerPrefixWithFile[] = "[%s] %s from \"%s\" (File: %-40s, Line: %4d) ";
// What the reader matches: the stamp's shape (d for a digit) and the text after the level name.
inline constexpr char kLoggerStampShape[] = "dddd/dd/dd dd:dd:dd.ddd";
inline constexpr char kLoggerFrom[] = " from \"";

// Searches by index: the library's searches compare pointers, which a sanitized build cannot
// evaluate while compiling.
constexpr size_t IndexOf(std::string_view text, char c, size_t from = 0) {
    for (size_t i = from; i < text.size(); ++i) {
        if (text[i] == c) return i;
    }
    return std::string_view::npos;
}

constexpr size_t LastIndexOf(std::string_view text, char c) {
    for (size_t i = text.size(); i > 0; --i) {
        if (text[i - 1] == c) return i - 1;
    }
    return std::string_view::npos;
}

// The literal text of a format before its first replacement field ("TWAIN Status = [").
constexpr std::string_view Before(std::string_view format) {
    const size_t field = IndexOf(format, '{');
    return field == std::string_view::npos ? format : format.substr(0, field);
}

// The literal text of a format after its last replacement field (" ms]").
constexpr std::string_view After(std::string_view format) {
    const size_t field = LastIndexOf(format, '}');
    return field == std::string_view::npos ? std::string_view() : format.substr(field + 1);
}

// A format's opening text with its indentation taken off ("Return Code = [").
constexpr std::string_view Unindented(std::string_view text) {
    size_t first = 0;
    while (first < text.size() && text[first] == ' ') ++first;
    return text.substr(first);
}

// The literal text between replacement field `field` (counted from 0) and the next one ("/" in
// "{}/{}/{}"); the text after the last field when there is no next one.
constexpr std::string_view Between(std::string_view format, size_t field) {
    size_t from = 0;
    for (size_t i = 0; i <= field; ++i) {
        const size_t open = IndexOf(format, '{', from);
        if (open == std::string_view::npos) return std::string_view();
        const size_t close = IndexOf(format, '}', open);
        if (close == std::string_view::npos) return std::string_view();
        from = close + 1;
    }
    const size_t next = IndexOf(format, '{', from);
    return format.substr(from, next == std::string_view::npos ? std::string_view::npos : next - from);
}

}  // namespace traceformat
