// The virtual scanner's capabilities: a table of what each capability holds and allows, the
// current value of each, and the DAT_CAPABILITY negotiation on top of them.
#pragma once

#include <cstring>
#include <vector>

#include "tracewell/twain.h"

// The area the scanner can scan, in inches, on the glass and from the feeder alike.
constexpr double kScanAreaWidth = 8.5;
constexpr double kScanAreaHeight = 14.0;

// One value as a container holds it; only the first ItemSize(type) bytes count.
struct CapItem {
    TW_UINT8 bytes[sizeof(TW_STR32)] = {};
};

// Bytes of one item of a type in an item list; 0 for the types the scanner does not use.
size_t ItemSize(TW_UINT16 itemType);

CapItem ItemUint16(TW_UINT16 value);
CapItem ItemInt16(TW_INT16 value);
CapItem ItemBool(bool value);
CapItem ItemFix32(double value);
CapItem ItemFrame(double left, double top, double right, double bottom);
CapItem ItemStr32(const char* text);

TW_FIX32 ToFix32(double value);
double FromFix32(TW_FIX32 value);

// The container that MSG_GET answers with.
enum class Shape { OneValue, Enumeration, Range, Array };

struct CapabilityRule {
    TW_UINT16 cap;
    TW_UINT16 itemType;
    Shape shape;
    bool settable;
    std::vector<CapItem> allowed;  // Enumeration: the items; Range: minimum, maximum, step
    CapItem defaultValue;
    bool (*accepts)(const CapItem&);  // OneValue: the values MSG_SET may store; null: any
};

class CCapabilities {
public:
    CCapabilities();

    // One DAT_CAPABILITY message (MSG_GET, MSG_GETCURRENT, MSG_GETDEFAULT, MSG_SET, MSG_RESET or
    // MSG_QUERYSUPPORT). Returns TWCC_SUCCESS or the condition code of the failure; containers it
    // answers with are new handles that the application disposes of.
    TW_UINT16 Negotiate(TW_UINT16 msg, TW_CAPABILITY* capability);

    // Stores a value as MSG_SET would, and puts the default back as MSG_RESET would.
    TW_UINT16 Store(TW_UINT16 cap, const CapItem& item);
    void Restore(TW_UINT16 cap);

    template <typename T>
    T Current(TW_UINT16 cap) const {
        static_assert(sizeof(T) <= sizeof(CapItem), "item too large");
        T value;
        memcpy(&value, Find(cap)->current.bytes, sizeof(T));
        return value;
    }

private:
    struct Entry {
        const CapabilityRule* rule;
        std::vector<CapItem> allowed;
        CapItem current;
        CapItem defaultValue;
    };
    using Reply = TW_UINT16 (CCapabilities::*)(Entry&, TW_CAPABILITY*);
    struct MessageRule {
        TW_UINT16 msg;
        bool changesValue;
        Reply reply;
    };
    struct Follower {
        TW_UINT16 leader;
        void (CCapabilities::*follow)();
    };
    static const MessageRule kMessages[];
    static const Follower kFollowers[];

    Entry* Find(TW_UINT16 cap);
    const Entry* Find(TW_UINT16 cap) const;
    bool Allows(const Entry& entry, const CapItem& item) const;
    void Follow(TW_UINT16 cap);

    TW_UINT16 ReplyAllowed(Entry& entry, TW_CAPABILITY* capability);
    TW_UINT16 ReplyCurrent(Entry& entry, TW_CAPABILITY* capability);
    TW_UINT16 ReplyDefault(Entry& entry, TW_CAPABILITY* capability);
    TW_UINT16 ReplySupport(Entry& entry, TW_CAPABILITY* capability);
    TW_UINT16 Set(Entry& entry, TW_CAPABILITY* capability);
    TW_UINT16 Reset(Entry& entry, TW_CAPABILITY* capability);

    // Capabilities whose values depend on another one.
    void FollowPixelType();
    void FollowSupportedSize();
    void FollowFrames();

    std::vector<Entry> m_entries;
};
