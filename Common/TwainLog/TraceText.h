// The text of one traced call: the one place where trace text is appended. It owns the bound
// (nothing past the written limit is kept), the "\r\n" line ends and the escaping of control
// characters; lines are formatted by {fmt} straight into the held text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <type_traits>
#include <utility>

#include <fmt/compile.h>
#include <fmt/format.h>

#include "TraceFormat.h"

// Control characters of a string taken from a structure or an argument are written as C escapes
// ("\r", "\n", "\t", "\xNN" for the others and DEL), so that a trace line is always exactly
// what Tracewell wrote. Copies at most `length` bytes of text into dest, never past `room` and
// never splitting an escape; returns the bytes written. No NUL is added.
size_t CopyEscaped(char* dest, size_t room, const char* text, size_t length);
// True for the bytes CopyEscaped writes as escapes.
inline bool NeedsEscape(unsigned char c) { return c < 0x20 || c == 0x7F; }
// The number of bytes at the start of text that are written as they are: the index of the first
// byte that needs an escape, or length.
size_t PlainLength(const char* text, size_t length);
// Writes one byte as it appears in the trace (itself, or its escape) into out (4 bytes); returns
// the bytes written.
size_t EscapeByte(unsigned char c, char* out);

// The text of a fixed-width field that may lack its NUL: never more than the field.
template <size_t N>
std::string_view FieldText(const char (&field)[N]) {
    return std::string_view(field, strnlen(field, N));
}

// A name from Tracewell's own tables, or its fallback text, measured where it was found: it never
// holds a control character, so it is never scanned for one. A text rendered from a structure
// and measured already may come the same way with `plain` false: it is scanned.
struct TraceName {
    std::string_view text;
    bool plain = true;
};

namespace tracetext {

// Bytes a formatted line may take past the held limit when it is formatted in place: a line whose
// longest possible text fits in what is left is formatted straight into the text.
constexpr size_t kFormatSlack = 512;
// Longest text of one number: a 64-bit integer with its sign, a double in fixed notation.
constexpr size_t kIntegerBound = 24;
constexpr size_t kFloatBound = 330;
// Bound of an argument whose text cannot be bounded here: the line is formatted with a bound.
// Far past any line, and a sum of a few of them still fits a 32-bit size_t.
constexpr size_t kUnbounded = size_t{1} << (sizeof(size_t) == 4 ? 28 : 40);

// What a format adds to its arguments' text at most: its literal bytes, and for every
// replacement field the largest number its spec holds (a width or a precision).
constexpr size_t FormatBound(std::string_view format) {
    size_t bound = 0;
    bool inField = false;
    size_t number = 0;
    for (const char c : format) {
        if (!inField) {
            if (c == '{') {
                inField = true;
                number = 0;
            } else {
                ++bound;
            }
            continue;
        }
        if (c >= '0' && c <= '9') {
            number = number * 10 + static_cast<size_t>(c - '0');
            if (number > kFormatSlack) return kUnbounded;
        } else {
            bound += number;
            number = 0;
            if (c == '}') inField = false;
        }
    }
    return bound;
}

// Whether a format is text alone: every brace it holds is doubled, none opens a replacement field.
constexpr bool FormatIsText(std::string_view format) {
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '{' && format[i] != '}') continue;
        if (i + 1 == format.size() || format[i + 1] != format[i]) return false;
        ++i;
    }
    return true;
}

// The text of such a format, its doubled braces single.
template <size_t N>
struct FixedText {
    char text[N];
    size_t size;
};
template <size_t N>
constexpr FixedText<N> TextOf(std::string_view format) {
    FixedText<N> fixed{};
    for (size_t i = 0; i < format.size(); ++i) {
        fixed.text[fixed.size++] = format[i];
        if (format[i] == '{' || format[i] == '}') ++i;
    }
    return fixed;
}

// A format whose fields are only bare "{}" (a string or an integer in decimal), "{:0Nd}" (an
// integer in decimal, zero-padded) and "{:0Nx}" (an unsigned number in hex, zero-padded), with no
// other brace: it is written as its pieces of text with the values put between them.
enum class Field : unsigned char { kBare, kDecimal, kHex };
template <size_t Fields>
struct Pieces {
    bool valid;
    size_t offset[Fields + 1];
    size_t size[Fields + 1];
    Field field[Fields + 1];
    size_t width[Fields + 1];  // zero-padded width of a number; 0 for a bare field
};
template <size_t Fields>
constexpr Pieces<Fields> PiecesOf(std::string_view format) {
    Pieces<Fields> pieces{};
    size_t k = 0;
    size_t start = 0;
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '}') return pieces;
        if (format[i] != '{') continue;
        if (k == Fields) return pieces;
        pieces.offset[k] = start;
        pieces.size[k] = i - start;
        size_t j = i + 1;
        if (j + 1 < format.size() && format[j] == ':' && format[j + 1] == '0') {
            size_t width = 0;
            for (j += 2; j < format.size() && format[j] >= '0' && format[j] <= '9'; ++j)
                width = width * 10 + static_cast<size_t>(format[j] - '0');
            if (width == 0 || width > 16 || j + 1 >= format.size() || (format[j] != 'x' && format[j] != 'd'))
                return pieces;
            pieces.field[k] = format[j] == 'x' ? Field::kHex : Field::kDecimal;
            pieces.width[k] = width;
            ++j;
        }
        if (j >= format.size() || format[j] != '}') return pieces;
        ++k;
        start = j + 1;
        i = j;
    }
    if (k != Fields) return pieces;
    pieces.offset[k] = start;
    pieces.size[k] = format.size() - start;
    pieces.valid = true;
    return pieces;
}

template <typename T>
constexpr bool kInteger = std::is_integral_v<T> && !std::is_same_v<T, bool> && !std::is_same_v<T, char>;
template <typename T>
constexpr bool kUnsignedNumber = kInteger<T> && std::is_unsigned_v<T>;
template <typename T>
constexpr bool kString = std::is_same_v<T, std::string_view> || std::is_same_v<T, TraceName>;

template <typename T>
constexpr bool FieldFits(Field field) {
    switch (field) {
        case Field::kBare: return kString<T> || kInteger<T>;
        case Field::kDecimal: return kInteger<T>;
        case Field::kHex: return kUnsignedNumber<T>;
    }
    return false;
}

// Whether the values, of these types, fit such a format's fields.
template <typename... Types, size_t Fields, size_t... I>
constexpr bool PiecesFit(const Pieces<Fields>& pieces, std::index_sequence<I...>) {
    return pieces.valid && (FieldFits<Types>(pieces.field[I]) && ...);
}

// Copies a text; one of up to 16 bytes, as most names are, in two overlapping moves of its first
// and last bytes, with no call.
inline void PutText(char* p, const char* text, size_t size) {
    if (size >= 8 && size <= 16) {
        uint64_t head, tail;
        memcpy(&head, text, 8);
        memcpy(&tail, text + size - 8, 8);
        memcpy(p, &head, 8);
        memcpy(p + size - 8, &tail, 8);
    } else if (size >= 4 && size < 8) {
        uint32_t head, tail;
        memcpy(&head, text, 4);
        memcpy(&tail, text + size - 4, 4);
        memcpy(p, &head, 4);
        memcpy(p + size - 4, &tail, 4);
    } else if (size != 0) {
        memcpy(p, text, size);
    }
}

inline void PutValue(char*& p, std::string_view text, Field, size_t) {
    PutText(p, text.data(), text.size());
    p += text.size();
}
inline void PutValue(char*& p, const TraceName& name, Field field, size_t width) { PutValue(p, name.text, field, width); }

// Eight hex digits of a 32-bit number at once: its nibbles spread one to a byte, turned into
// digits together, the most significant first.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the digits are stored as a little-endian word");
inline void PutHex8(char* p, uint32_t value) {
    uint64_t x = value;
    x = (x | x << 16) & 0x0000FFFF0000FFFFull;
    x = (x | x << 8) & 0x00FF00FF00FF00FFull;
    x = (x | x << 4) & 0x0F0F0F0F0F0F0F0Full;
    const uint64_t letters = ((x + 0x0606060606060606ull) >> 4) & 0x0101010101010101ull;
    x = __builtin_bswap64(x + 0x3030303030303030ull + letters * ('a' - '0' - 10));
    memcpy(p, &x, sizeof(x));
}

template <typename T, typename = std::enable_if_t<kInteger<T>>>
void PutValue(char*& p, T value, Field field, size_t width) {
    if (field == Field::kHex) {
        if constexpr (std::is_unsigned_v<T>) {
            if (width == 8 && value <= 0xFFFFFFFFu) {
                PutHex8(p, static_cast<uint32_t>(value));
                p += 8;
                return;
            }
        }
    }
    using Magnitude = std::make_unsigned_t<T>;
    Magnitude magnitude = static_cast<Magnitude>(value);
    if constexpr (std::is_signed_v<T>) {
        // The sign counts in the width, before the zeros.
        if (value < 0) {
            *p++ = '-';
            magnitude = static_cast<Magnitude>(Magnitude{0} - magnitude);
            width = width != 0 ? width - 1 : 0;
        }
    }
    static constexpr char kDigits[] = "0123456789abcdef";
    char digits[24];
    size_t n = 0;
    if (field == Field::kHex) {
        do {
            digits[sizeof(digits) - ++n] = kDigits[magnitude & 0xF];
            magnitude = static_cast<Magnitude>(magnitude >> 4);
        } while (magnitude != 0);
    } else {
        do {
            digits[sizeof(digits) - ++n] = kDigits[magnitude % 10];
            magnitude = static_cast<Magnitude>(magnitude / 10);
        } while (magnitude != 0);
    }
    for (size_t i = n; i < width; ++i) *p++ = '0';
    memcpy(p, digits + sizeof(digits) - n, n);
    p += n;
}

// Whether a format's own text holds a control character.
constexpr bool FormatPlain(std::string_view format) {
    for (const char c : format)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return false;
    return true;
}

// An argument as it is formatted: strings as string views (measured once), the rest as they are.
template <typename T>
struct Taken {
    using Type = const T&;
    static const T& Take(const T& value) { return value; }
};
template <>
struct Taken<TraceName> {
    using Type = TraceName;
    static TraceName Take(const TraceName& name) { return name; }
};
template <>
struct Taken<const char*> {
    using Type = std::string_view;
    static std::string_view Take(const char* text) { return text; }
};
template <>
struct Taken<char*> : Taken<const char*> {};
template <size_t N>
struct Taken<char[N]> : Taken<const char*> {};
template <>
struct Taken<std::string_view> {
    using Type = std::string_view;
    static std::string_view Take(std::string_view text) { return text; }
};

// The longest text of a taken argument, and whether it is known to hold no control character.
template <typename T>
constexpr size_t Bound(const T& value) {
    if constexpr (std::is_same_v<T, bool>)
        return 5;
    else if constexpr (std::is_integral_v<T> && !std::is_same_v<T, char>)
        return kIntegerBound;
    else if constexpr (std::is_floating_point_v<T>)
        return kFloatBound;
    else if constexpr (std::is_same_v<T, std::string_view>)
        return value.size();
    else if constexpr (std::is_same_v<T, TraceName>)
        return value.text.size();
    else
        return kUnbounded;
}
template <typename Original, typename T>
bool Plain(const T& value) {
    if constexpr (std::is_same_v<T, TraceName>)
        return value.plain || PlainLength(value.text.data(), value.text.size()) == value.text.size();
    else if constexpr (std::is_same_v<T, bool>)
        return true;
    else if constexpr ((std::is_integral_v<T> && !std::is_same_v<T, char>) || std::is_floating_point_v<T>)
        return true;
    else if constexpr (std::is_same_v<T, std::string_view>)
        return PlainLength(value.data(), value.size()) == value.size();
    else
        return false;
}

}  // namespace tracetext

// A name formats as its text.
template <>
struct fmt::formatter<TraceName> : fmt::formatter<fmt::string_view> {
    template <typename Context>
    auto format(const TraceName& name, Context& ctx) const {
        return fmt::formatter<fmt::string_view>::format(fmt::string_view(name.text.data(), name.text.size()), ctx);
    }
};

class CTraceText {
public:
    // Bytes of one call's text that reach the trace file; longer text is cut there (or one byte
    // earlier, so that a "\r\n" is never split) and followed by the notice line.
    static constexpr size_t kWrittenLimit = 5120;
    static constexpr const char (&kCutNotice)[sizeof(traceformat::kCutNotice)] = traceformat::kCutNotice;

    CTraceText() { Clear(); }
    CTraceText(const CTraceText&) = delete;
    CTraceText& operator=(const CTraceText&) = delete;

    void Clear() {
        m_len = 0;
        m_buf[0] = '\0';
    }

    // Formats a whole line (a format checked at compile time: FMT_STRING("...")), escapes the
    // control characters the formatted text holds, and ends it with "\r\n". The fields are taken
    // by value: a field of a packed structure is never bound to a reference.
    // Only the strings taken from outside are scanned for control characters (TraceName, numbers
    // and the format's own text never hold one); the line is scanned when one of them does.
    template <typename S, typename... Args, typename = std::enable_if_t<fmt::detail::is_compile_string<S>::value>>
    void Line(const S&, Args... args) {
        if (Full()) return;
        Formatted<S, Args...>(true, tracetext::Taken<Args>::Take(args)...);
    }
    // Formats and escapes a piece of a line, without line end.
    template <typename S, typename... Args, typename = std::enable_if_t<fmt::detail::is_compile_string<S>::value>>
    void Put(const S&, Args... args) {
        if (Full()) return;
        Formatted<S, Args...>(false, tracetext::Taken<Args>::Take(args)...);
    }

    // A line, or a piece of one, of text that holds no replacement fields.
    void Line(std::string_view text) { Text(true, text); }
    void Put(std::string_view text) { Text(false, text); }

    // Appends text that is already formatted and escaped (lines built elsewhere in bulk).
    void Write(const char* text, size_t length);

    // Replaces whatever lies past the limit with the cut notice line, once the text has passed it.
    void EndWithCutNotice();

    // True once the text has passed the limit: whatever is appended later can never be written.
    bool Full() const { return m_len > kWrittenLimit; }
    // Length of the held text: exact up to the limit, kWrittenLimit + 1 for any longer text (and
    // the cut text with its notice after EndWithCutNotice).
    size_t Length() const { return m_len; }
    const char* Data() const { return m_buf; }

private:
    // The format, parsed when the module is compiled into the code that formats its fields: no
    // format is parsed while a call is traced.
    template <typename S>
    struct Compiled : fmt::detail::compiled_string {
        using char_type = char;
        constexpr explicit operator fmt::string_view() const { return fmt::string_view(S()); }
    };
    template <typename S, typename... Args>
    void Formatted(bool endLine, typename tracetext::Taken<Args>::Type... args) {
        constexpr fmt::string_view format = fmt::string_view(S());
        constexpr size_t formatBound = tracetext::FormatBound(std::string_view(format.data(), format.size()));
        constexpr bool formatPlain = tracetext::FormatPlain(std::string_view(format.data(), format.size()));
        const bool plain = formatPlain && (tracetext::Plain<Args>(args) && ...);
        const size_t bound = (formatBound + ... + tracetext::Bound(args));
        char* const at = m_buf + m_len;
        size_t size;
        if constexpr (sizeof...(Args) == 0 && tracetext::FormatIsText(std::string_view(format.data(), format.size()))) {
            // A fixed text: copied as it is.
            static_assert(format.size() <= tracetext::kFormatSlack, "a fixed text fits the slack");
            static constexpr auto fixed =
                tracetext::TextOf<format.size() + 1>(std::string_view(format.data(), format.size()));
            memcpy(at, fixed.text, fixed.size);
            size = fixed.size;
        } else if (bound <= kHeldLimit + tracetext::kFormatSlack - m_len) {
            constexpr auto pieces = tracetext::PiecesOf<sizeof...(Args)>(std::string_view(format.data(), format.size()));
            constexpr bool joins =
                tracetext::PiecesFit<std::remove_cv_t<std::remove_reference_t<typename tracetext::Taken<Args>::Type>>...>(
                    pieces, std::index_sequence_for<Args...>());
            if constexpr (joins)
                size = Joined<S>(at, std::index_sequence_for<Args...>(), args...);
            else
                size = static_cast<size_t>(fmt::format_to(at, Compiled<S>(), args...) - at);
        } else {
            // Formats at the end of the text, storing no more than the held limit.
            using Bounded = fmt::detail::iterator_buffer<char*, char, fmt::detail::fixed_buffer_traits>;
            Bounded out(at, kHeldLimit - m_len);
            fmt::format_to(fmt::appender(out), Compiled<S>(), args...);
            size = out.count();
        }
        Appended(endLine, size, plain);
    }

    // What such a format gives for its values: its pieces of text with the values between them,
    // written at `out`; returns the bytes written.
    template <typename S, size_t... I, typename... Values>
    static size_t Joined(char* out, std::index_sequence<I...>, const Values&... values) {
        constexpr fmt::string_view format = fmt::string_view(S());
        static constexpr auto pieces =
            tracetext::PiecesOf<sizeof...(Values)>(std::string_view(format.data(), format.size()));
        char* p = out;
        memcpy(p, format.data() + pieces.offset[0], pieces.size[0]);
        p += pieces.size[0];
        ((tracetext::PutValue(p, values, pieces.field[I], pieces.width[I]),
          memcpy(p, format.data() + pieces.offset[I + 1], pieces.size[I + 1]), p += pieces.size[I + 1]),
         ...);
        return static_cast<size_t>(p - out);
    }

    // Appends a text that holds no replacement fields, escaped.
    void Text(bool endLine, std::string_view text);

    // Takes in the `size` bytes just formatted at the end of the text (those past the held limit
    // are not kept): escapes them unless they are known to be plain, and ends the line.
    void Appended(bool endLine, size_t size, bool plain) {
        if (plain && size + 2 <= kHeldLimit - m_len) {
            m_len += size;
            if (endLine) {
                m_buf[m_len++] = '\r';
                m_buf[m_len++] = '\n';
            }
            m_buf[m_len] = '\0';
            return;
        }
        AppendedWithEscapes(endLine, size, plain);
    }
    void AppendedWithEscapes(bool endLine, size_t size, bool plain);

    // One byte past the limit is kept, so that a longer text is known to be longer.
    static constexpr size_t kHeldLimit = kWrittenLimit + 1;

    static_assert(tracetext::kFormatSlack >= sizeof(kCutNotice) + 2, "the cut notice fits the slack");

    size_t m_len;
    // The held text, the cut notice that may replace its end, and the slack a line formatted in
    // place may use past the held limit.
    char m_buf[kHeldLimit + tracetext::kFormatSlack];
};
