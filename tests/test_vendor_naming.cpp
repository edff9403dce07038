// Vendor names only for their vendor: identifiers from 0x8001 up, capability values and custom
// DATs of a source whose identity is the wrapped maker's, and of another maker's source.
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "support/TestSupport.h"

namespace {

// Restores the tests' default, the maker's own source, whatever a case leaves.
class VendorNames : public ::testing::Test {
protected:
    void TearDown() override { TraceAsMakersSource(); }
};

std::string Request(TW_UINT16 dat, TW_UINT16 msg, TW_UINT16 capability) {
    TW_CAPABILITY cap = {};
    cap.Cap = capability;
    CParaAnalyze analyzer;
    CTraceText text;
    analyzer.TripletAnalyze(nullptr, nullptr, DG_CONTROL, dat, msg, reinterpret_cast<char*>(&cap), &text);
    return std::string(text.Data(), text.Length()).substr(strlen("[00001] [APP] DG_CONTROL/"));
}

std::string Value(TW_UINT16 cap, TW_UINT16 value) {
    char text[CParaAnalyze::kValueSize] = {};
    CParaAnalyze analyzer;
    analyzer.ValToCap(cap, value, text);
    return text;
}

TEST_F(VendorNames, TheMakersNamesOnlyForTheMakersSource) {
    const struct {
        const char* what;
        std::string (*render)();
        const char* maker;    // the wrapped maker's source
        const char* another;  // another maker's source (the linux build)
    } cases[] = {
        {"a vendor DAT", [] { return Request(0x8005, MSG_GET, 0); }, "DAT_KV_HARDWAREINFO/MSG_GET\r\n",
         "DAT_CUSTOMBASE+5/MSG_GET\r\n"},
        {"a vendor message", [] { return Request(DAT_STATUS, 0x8001, 0); }, "DAT_STATUS/MSG_KV_TIMERRESET\r\n",
         "DAT_STATUS/MSG_CUSTOMBASE+1\r\n"},
        {"a vendor capability", [] { return Request(DAT_CAPABILITY, MSG_GET, 0x8003); },
         "DAT_CAPABILITY/MSG_GET (ICAP_KV_FILMTYPE)\r\n", "DAT_CAPABILITY/MSG_GET (CAP_CUSTOMBASE+3)\r\n"},
        {"the standard base stays standard", [] { return Request(DAT_CAPABILITY, MSG_GET, 0x8000); },
         "DAT_CAPABILITY/MSG_GET (CAP_CUSTOMBASE)\r\n", "DAT_CAPABILITY/MSG_GET (CAP_CUSTOMBASE)\r\n"},
        {"a vendor capability listed as supported", [] { return Value(CAP_SUPPORTEDCAPS, 0x8001); }, "CAP_KV_VERSION",
         "CAP_CUSTOMBASE+1"},
        {"a vendor capability's value", [] { return Value(0x8003, 2); }, "TWKV_FT_REFLECTIVE", "2"},
        {"the maker's version capability", [] { return Value(0x8001, 0x0110); }, "1.10", "272"},
        {"a standard capability's value", [] { return Value(ICAP_PIXELTYPE, 2); }, "TWPT_RGB", "TWPT_RGB"},
    };
    for (const auto& c : cases) {
        TraceAsMakersSource();
        EXPECT_EQ(c.render(), c.maker) << c.what;
        TraceAsAnotherMakersSource();
        EXPECT_EQ(c.render(), kVendorNamingFollowsTheSource ? c.another : c.maker) << c.what;
    }
}

// The source's identity decides: the one it answers DAT_IDENTITY with, or the one it sends its
// messages from; a failed answer, or the application's own identity, changes nothing.
TEST_F(VendorNames, FollowsTheIdentityTheSourceShows) {
    if (!kVendorNamingFollowsTheSource) GTEST_SKIP() << "the macos build always wraps the maker's source";
    TW_IDENTITY maker = {}, another = {};
    strcpy(maker.Manufacturer, kVendorManufacturer);
    strcpy(another.Manufacturer, "KOVARX");
    const struct {
        const char* what;
        TW_UINT16 msg, rc;
        bool fromSource;
        TW_IDENTITY* identity;
        bool named;
    } steps[] = {
        {"the maker's answer to MSG_GET", MSG_GET, TWRC_SUCCESS, false, &maker, true},
        {"another maker's MSG_OPENDS", MSG_OPENDS, TWRC_SUCCESS, false, &another, false},
        {"a refused MSG_GET changes nothing", MSG_GET, TWRC_FAILURE, false, &maker, false},
        {"the maker's source sends a message", MSG_XFERREADY, TWRC_SUCCESS, true, &maker, true},
        {"MSG_CLOSEDS carries no identity of the source's", MSG_CLOSEDS, TWRC_SUCCESS, false, &another, true},
    };
    TraceAsAnotherMakersSource();
    CParaAnalyze analyzer;
    analyzer.SetTwainStatus(4);
    for (const auto& s : steps) {
        CTraceText text;
        using Caller = CParaAnalyze::Caller;
        analyzer.ParaAnalyze(s.fromSource ? s.identity : nullptr, nullptr, DG_CONTROL, s.fromSource ? DAT_NULL : DAT_IDENTITY,
                             s.msg, s.fromSource ? nullptr : reinterpret_cast<char*>(s.identity), s.rc, &text,
                             s.fromSource ? Caller::kSource : Caller::kApplication);
        EXPECT_EQ(::VendorNaming(), s.named) << s.what;
    }
}

// Another maker's custom DAT shows the first bytes of its data, as many as can be read.
TEST_F(VendorNames, AnotherMakersCustomDatShowsItsFirstBytes) {
    if (!kVendorNamingFollowsTheSource) GTEST_SKIP() << "the macos build always wraps the maker's source";
    GuardedBytes five(5), none(0);  // five bytes, then none, before memory that cannot be read
    memcpy(five.Data(), "\x01\x02\xab\xff\x00", 5);
    char whole[40];
    for (int i = 0; i < 40; ++i) whole[i] = static_cast<char>(i);
    const struct {
        const char* what;
        char* data;
        const char* expected;
    } cases[] = {
        {"the first 32 bytes", whole,
         "  Data = {\r\n    First 32 bytes = [00 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f 10 11 12 13 14 15 16 17 "
         "18 19 1a 1b 1c 1d 1e 1f]\r\n  }\r\n"},
        {"what can be read", five.Data(), "  Data = {\r\n    First 5 bytes = [01 02 ab ff 00]\r\n  }\r\n"},
        {"nothing that can be read", none.Data(), "  Data = {\r\n    !!! not readable.!!!\r\n  }\r\n"},
        {"no data", nullptr, ""},
    };
    TraceAsAnotherMakersSource();
    for (const auto& c : cases) {
        const std::string text = Render([&](CParaAnalyze& a) {
            a.ParaAnalyze(nullptr, nullptr, DG_CONTROL, 0x8005, MSG_GET, c.data, TWRC_FAILURE, a.Output());
        });
        const size_t structure = text.find("\r\n", text.find("pData")) + 2;
        EXPECT_EQ(text.substr(structure), c.expected) << c.what;
    }
}

}  // namespace
