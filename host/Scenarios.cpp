// The scenarios: a whole scanning session, the source's settings window and two scans in one
// session (native, then through memory with the window shown), every capability with every
// message, calls that a source must refuse, and sessions in which the application, the Source
// Manager or the source (scripted through the virtual scanner's hook) breaks one protocol rule. As
// a TWAIN 2 application the host registers its callback once the source is open and acts on the
// source's messages; otherwise it learns of them from the events it passes.
#include "Scenarios.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "HostMemory.h"
#include "HostSystem.h"
#include "Names.h"
#include "ScannerHooks.h"
#include "TwainExtras.h"

namespace {

constexpr int kMostEvents = 20;
constexpr int kMostPages = 50;
constexpr int kMostStrips = 10000;

// A plain call: the triplet, how to make its data, and the answer the scenario expects.
struct Step {
    const char* what;
    TW_UINT32 dg;
    TW_UINT16 dat;
    TW_UINT16 msg;
    TW_MEMREF (*data)(CApplication&);
    TW_UINT16 rc;
    TW_UINT16 condition;
};

// A capability call; MSG_SET sends `value` as an item of `itemType`.
struct Negotiation {
    const char* what;
    TW_UINT16 msg;
    TW_UINT16 cap;
    TW_UINT16 itemType;
    double value;
    TW_UINT16 rc;
    TW_UINT16 condition;
};

TW_FIX32 Fix32(double value) {
    const long units = lround(value * 65536.0);
    return {static_cast<TW_INT16>(units >> 16), static_cast<TW_UINT16>(units & 0xFFFF)};
}

TW_CAPABILITY* SetTo(CApplication& app, TW_UINT16 cap, TW_UINT16 itemType, double value) {
    TW_UINT8 item[sizeof(TW_UINT32)] = {};
    if (itemType == TWTY_FIX32) {
        const TW_FIX32 fix = Fix32(value);
        memcpy(item, &fix, sizeof(fix));
    } else {
        const TW_INT32 whole = static_cast<TW_INT32>(value);
        memcpy(item, &whole, sizeof(whole));  // the low bytes come first, whatever the item's width
    }
    return app.OneValue(cap, itemType, item);
}

std::string CapabilityName(TW_UINT16 cap) {
    char text[32];
    snprintf(text, sizeof(text), "capability 0x%04x", cap);
    return text;
}

const Step kOpening[] = {
    {"introduce the application", DG_CONTROL, DAT_PARENT, MSG_OPENDSM,
     [](CApplication& a) { return a.Window(); }, TWRC_SUCCESS, TWCC_SUCCESS},
    {"ask the source who it is", DG_CONTROL, DAT_IDENTITY, MSG_GET,
     [](CApplication& a) -> TW_MEMREF { return a.SourceIdentity(); }, TWRC_SUCCESS, TWCC_SUCCESS},
    {"open the source", DG_CONTROL, DAT_IDENTITY, MSG_OPENDS,
     [](CApplication& a) -> TW_MEMREF {
         a.AssignSourceId();
         return a.SourceIdentity();
     },
     TWRC_SUCCESS, TWCC_SUCCESS},
};

const Step kClosing[] = {
    {"close the source", DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS,
     [](CApplication& a) -> TW_MEMREF { return a.SourceIdentity(); }, TWRC_SUCCESS, TWCC_SUCCESS},
};

const Negotiation kSessionNegotiation[] = {
    {"list the capabilities", MSG_GET, CAP_SUPPORTEDCAPS, 0, 0, TWRC_SUCCESS, TWCC_SUCCESS},
    {"read the driver version", MSG_GETCURRENT, CAP_KV_VERSION, 0, 0, TWRC_SUCCESS, TWCC_SUCCESS},
    {"ask what can be done with the pixel type", MSG_QUERYSUPPORT, ICAP_PIXELTYPE, 0, 0, TWRC_SUCCESS, TWCC_SUCCESS},
    {"list the pixel types", MSG_GET, ICAP_PIXELTYPE, 0, 0, TWRC_SUCCESS, TWCC_SUCCESS},
    {"scan in grey", MSG_SET, ICAP_PIXELTYPE, TWTY_UINT16, TWPT_GRAY, TWRC_SUCCESS, TWCC_SUCCESS},
    {"read the bit depth grey gives", MSG_GETCURRENT, ICAP_BITDEPTH, 0, 0, TWRC_SUCCESS, TWCC_SUCCESS},
    {"list the units", MSG_GET, ICAP_UNITS, 0, 0, TWRC_SUCCESS, TWCC_SUCCESS},
    {"list the resolutions across", MSG_GET, ICAP_XRESOLUTION, 0, 0, TWRC_SUCCESS, TWCC_SUCCESS},
    {"ask for 4800 dpi across", MSG_SET, ICAP_XRESOLUTION, TWTY_FIX32, 4800, TWRC_FAILURE, TWCC_BADVALUE},
    {"settle for 100 dpi across", MSG_SET, ICAP_XRESOLUTION, TWTY_FIX32, 100, TWRC_SUCCESS, TWCC_SUCCESS},
    {"read the range of resolutions down", MSG_GET, ICAP_YRESOLUTION, 0, 0, TWRC_SUCCESS, TWCC_SUCCESS},
    {"scan 100 dpi down", MSG_SET, ICAP_YRESOLUTION, TWTY_FIX32, 100, TWRC_SUCCESS, TWCC_SUCCESS},
    {"list the page sizes", MSG_GET, ICAP_SUPPORTEDSIZES, 0, 0, TWRC_SUCCESS, TWCC_SUCCESS},
    {"read the frame", MSG_GETCURRENT, ICAP_FRAMES, 0, 0, TWRC_SUCCESS, TWCC_SUCCESS},
    {"list the transfer mechanisms", MSG_GET, ICAP_XFERMECH, 0, 0, TWRC_SUCCESS, TWCC_SUCCESS},
    {"transfer through memory", MSG_SET, ICAP_XFERMECH, TWTY_UINT16, TWSX_MEMORY, TWRC_SUCCESS, TWCC_SUCCESS},
    {"read whether the feeder is used by default", MSG_GETDEFAULT, CAP_FEEDERENABLED, 0, 0, TWRC_SUCCESS,
     TWCC_SUCCESS},
    {"use the feeder", MSG_SET, CAP_FEEDERENABLED, TWTY_BOOL, 1, TWRC_SUCCESS, TWCC_SUCCESS},
    {"read whether the scanner does duplex", MSG_GETCURRENT, CAP_DUPLEX, 0, 0, TWRC_SUCCESS, TWCC_SUCCESS},
    {"ask for two pages", MSG_SET, CAP_XFERCOUNT, TWTY_INT16, 2, TWRC_SUCCESS, TWCC_SUCCESS},
    {"list the interface modes", MSG_GET, CAP_KV_UIMODE, 0, 0, TWRC_SUCCESS, TWCC_SUCCESS},
    {"put the interface mode back", MSG_RESET, CAP_KV_UIMODE, 0, 0, TWRC_SUCCESS, TWCC_SUCCESS},
    {"list the unsharp-mask levels", MSG_GET, ICAP_KV_UNSHARPMASKLEVEL, 0, 0, TWRC_SUCCESS, TWCC_SUCCESS},
    {"sharpen strongly", MSG_SET, ICAP_KV_UNSHARPMASKLEVEL, TWTY_UINT16, TWKV_USM_HIGH, TWRC_SUCCESS, TWCC_SUCCESS},
};

const Step kSessionVendorSteps[] = {
    {"measure the exposure of the page", DG_IMAGE, DAT_KV_AUTOEXPOSURE, MSG_GET,
     [](CApplication& a) -> TW_MEMREF { return a.AutoExposure(40, 40, 600, 780, TWKV_FT_REFLECTIVEDOCUMENT); },
     TWRC_SUCCESS, TWCC_SUCCESS},
    {"ask for the unsharp-mask parameters", DG_IMAGE, DAT_KV_USMINFO, MSG_GET,
     [](CApplication& a) -> TW_MEMREF { return a.UsmInfo(100); }, TWRC_SUCCESS, TWCC_SUCCESS},
};

TW_MEMREF PixelTypeAsText(CApplication& a) {
    TW_STR32 text = "TWPT_GRAY";
    return a.OneValue(ICAP_PIXELTYPE, TWTY_STR32, text);
}

TW_MEMREF FrameWiderThanTheGlass(CApplication& a) {
    const TW_FRAME frame = {Fix32(0), Fix32(0), Fix32(9), Fix32(11)};
    return a.OneValue(ICAP_FRAMES, TWTY_FRAME, &frame);
}

const Step kErrorsBeforeOpening[] = {
    {"negotiate before the source is open", DG_CONTROL, DAT_CAPABILITY, MSG_GET,
     [](CApplication& a) -> TW_MEMREF { return a.Capability(ICAP_PIXELTYPE); }, TWRC_FAILURE, TWCC_SEQERROR},
    {"enable before the source is open", DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS,
     [](CApplication& a) -> TW_MEMREF { return a.UserInterface(false); }, TWRC_FAILURE, TWCC_SEQERROR},
};

const Step kErrorsWhileOpen[] = {
    {"open the source a second time", DG_CONTROL, DAT_IDENTITY, MSG_OPENDS,
     [](CApplication& a) -> TW_MEMREF { return a.SourceIdentity(); }, TWRC_FAILURE, TWCC_SEQERROR},
    {"read image information before a page is ready", DG_IMAGE, DAT_IMAGEINFO, MSG_GET,
     [](CApplication& a) -> TW_MEMREF { return a.ImageInfo(); }, TWRC_FAILURE, TWCC_SEQERROR},
    {"transfer a strip before a page is ready", DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET,
     [](CApplication& a) -> TW_MEMREF { return a.ImageMemXfer(64 * 1024); }, TWRC_FAILURE, TWCC_SEQERROR},
    {"end a transfer that never began", DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER,
     [](CApplication& a) -> TW_MEMREF { return a.PendingXfers(); }, TWRC_FAILURE, TWCC_SEQERROR},
    {"ask for 4800 dpi across", DG_CONTROL, DAT_CAPABILITY, MSG_SET,
     [](CApplication& a) -> TW_MEMREF { return SetTo(a, ICAP_XRESOLUTION, TWTY_FIX32, 4800); }, TWRC_FAILURE,
     TWCC_BADVALUE},
    {"ask for CMYK pixels", DG_CONTROL, DAT_CAPABILITY, MSG_SET,
     [](CApplication& a) -> TW_MEMREF { return SetTo(a, ICAP_PIXELTYPE, TWTY_UINT16, TWPT_CMYK); }, TWRC_FAILURE,
     TWCC_BADVALUE},
    {"ask for no pages at all", DG_CONTROL, DAT_CAPABILITY, MSG_SET,
     [](CApplication& a) -> TW_MEMREF { return SetTo(a, CAP_XFERCOUNT, TWTY_INT16, 0); }, TWRC_FAILURE,
     TWCC_BADVALUE},
    {"ask for a frame wider than the glass", DG_CONTROL, DAT_CAPABILITY, MSG_SET, FrameWiderThanTheGlass,
     TWRC_FAILURE, TWCC_BADVALUE},
    {"give the pixel type as text", DG_CONTROL, DAT_CAPABILITY, MSG_SET, PixelTypeAsText, TWRC_FAILURE,
     TWCC_BADVALUE},
    {"read a capability the scanner lacks", DG_CONTROL, DAT_CAPABILITY, MSG_GET,
     [](CApplication& a) -> TW_MEMREF { return a.Capability(CAP_AUTHOR); }, TWRC_FAILURE, TWCC_CAPUNSUPPORTED},
    {"change the list of capabilities", DG_CONTROL, DAT_CAPABILITY, MSG_SET,
     [](CApplication& a) -> TW_MEMREF { return SetTo(a, CAP_SUPPORTEDCAPS, TWTY_UINT16, ICAP_PIXELTYPE); },
     TWRC_FAILURE, TWCC_CAPBADOPERATION},
    {"send a triplet the scanner does not know", DG_IMAGE, DAT_CIECOLOR, MSG_GET,
     [](CApplication& a) -> TW_MEMREF { return a.ImageInfo(); }, TWRC_FAILURE, TWCC_BADPROTOCOL},
    {"measure the exposure of an empty region", DG_IMAGE, DAT_KV_AUTOEXPOSURE, MSG_GET,
     [](CApplication& a) -> TW_MEMREF { return a.AutoExposure(100, 100, 100, 200, TWKV_FT_REFLECTIVE); },
     TWRC_FAILURE, TWCC_BADVALUE},
    // A TWAIN 2 source without its window would announce a page at once; with it, only once the
    // application waits, which it never does here.
    {"enable the source", DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS,
     [](CApplication& a) -> TW_MEMREF { return a.UserInterface(a.Twain2()); }, TWRC_SUCCESS, TWCC_SUCCESS},
    {"negotiate while the source is enabled", DG_CONTROL, DAT_CAPABILITY, MSG_SET,
     [](CApplication& a) -> TW_MEMREF { return SetTo(a, ICAP_PIXELTYPE, TWTY_UINT16, TWPT_GRAY); }, TWRC_FAILURE,
     TWCC_SEQERROR},
    {"close the source while it is enabled", DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS,
     [](CApplication& a) -> TW_MEMREF { return a.SourceIdentity(); }, TWRC_FAILURE, TWCC_SEQERROR},
    {"ask for a native image before a page is ready", DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET,
     [](CApplication& a) -> TW_MEMREF { return a.NativeImage(); }, TWRC_FAILURE, TWCC_SEQERROR},
    {"disable the source", DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS,
     [](CApplication& a) -> TW_MEMREF { return a.UserInterface(false); }, TWRC_SUCCESS, TWCC_SUCCESS},
};

const Step kErrorsAfterClosing[] = {
    {"close the source a second time", DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS,
     [](CApplication& a) -> TW_MEMREF { return a.SourceIdentity(); }, TWRC_FAILURE, TWCC_SEQERROR},
};

// True when every step answered as expected.
template <size_t N>
bool Run(CApplication& app, const Step (&steps)[N]) {
    bool asExpected = true;
    for (const Step& step : steps) {
        const TW_UINT16 rc = app.Call(step.what, step.dg, step.dat, step.msg, step.data(app), step.rc, step.condition);
        asExpected = asExpected && rc == step.rc;
    }
    return asExpected;
}

// Opening as the scenario's application does it: a TWAIN 2 one registers its callback as soon as
// the source is open.
bool Open(CApplication& app) {
    if (!Run(app, kOpening)) return false;
    return !app.Twain2() || app.Call("register the callback", DG_CONTROL, DAT_CALLBACK, MSG_REGISTER_CALLBACK,
                                     app.Callback()) == TWRC_SUCCESS;
}

void Negotiate(CApplication& app, const Negotiation& step) {
    TW_CAPABILITY* capability =
        step.msg == MSG_SET ? SetTo(app, step.cap, step.itemType, step.value) : app.Capability(step.cap);
    app.Call(step.what, DG_CONTROL, DAT_CAPABILITY, step.msg, capability, step.rc, step.condition);
}

bool WaitForTransfer(CApplication& app) {
    for (int i = 0; i < kMostEvents; ++i) {
        TW_EVENT* event = app.Event();
        const TW_UINT16 rc =
            app.Call("pass an event to the source", DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, event, kAnyReturnCode);
        if (rc == TWRC_DSEVENT && event->TWMessage == MSG_XFERREADY) return true;
    }
    app.Unexpected("the source announced no transfer in " + std::to_string(kMostEvents) + " events");
    return false;
}

void TransferPage(CApplication& app, TW_UINT32 bufferSize) {
    for (int strip = 0; strip < kMostStrips; ++strip) {
        const TW_UINT16 rc = app.Call("transfer a strip", DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET,
                                      app.ImageMemXfer(bufferSize), kAnyReturnCode);
        if (rc == TWRC_XFERDONE) {
            app.CountPage();
            return;
        }
        if (rc != TWRC_SUCCESS) {
            app.Unexpected("transfer a strip: got " + ReturnCodeName(rc));
            return;
        }
    }
    app.Unexpected("the page did not end within " + std::to_string(kMostStrips) + " strips");
}

void TransferNatively(CApplication& app) {
    if (app.Call("transfer the page as one image", DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, app.NativeImage(),
                 TWRC_XFERDONE) == TWRC_XFERDONE)
        app.CountPage();
}

// Every page the source has, each ended with MSG_ENDXFER; memory transfers ask for the buffer
// sizes first.
void TransferPages(CApplication& app, TW_UINT16 mechanism) {
    TW_UINT32 bufferSize = 0;
    if (mechanism == TWSX_MEMORY) {
        TW_SETUPMEMXFER* setup = app.SetupMemXfer();
        app.Call("ask for the buffer sizes", DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, setup);
        bufferSize = setup->Preferred;
    }
    for (int page = 0; page < kMostPages; ++page) {
        app.Call("read the image information", DG_IMAGE, DAT_IMAGEINFO, MSG_GET, app.ImageInfo());
        app.Call("read the image layout", DG_IMAGE, DAT_IMAGELAYOUT, MSG_GET, app.ImageLayout());
        if (mechanism == TWSX_MEMORY) TransferPage(app, bufferSize);
        else TransferNatively(app);
        TW_PENDINGXFERS* pending = app.PendingXfers();
        if (app.Call("end the transfer", DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, pending) != TWRC_SUCCESS ||
            pending->Count == 0)
            return;
    }
    app.Unexpected("the source still had pages after " + std::to_string(kMostPages));
}

// The next message the callback noted: one that came while the application was in a call, or
// else one that comes while it waits, passing events to the source as an application with an
// event loop does.
TW_UINT16 WaitForMessage(CApplication& app) {
    for (int i = 0;; ++i) {
        const TW_UINT16 noted = app.TakeMessage();
        if (noted != MSG_NULL) return noted;
        if (i == kMostEvents) break;
        TW_EVENT* event = app.Event();
        const TW_UINT16 rc =
            app.Call("pass an event to the source", DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, event, kAnyReturnCode);
        if (rc == TWRC_DSEVENT && event->TWMessage != MSG_NULL) return event->TWMessage;
    }
    app.Unexpected("the source sent no message in " + std::to_string(kMostEvents) + " events");
    return MSG_NULL;
}

// A TWAIN 2 application's scan: it transfers what each MSG_XFERREADY announces. Without the
// source's window it disables the source once the pages are done; with the window shown it waits
// until the source asks to be closed (the user may scan again meanwhile).
void AcquireWithCallbacks(CApplication& app, TW_UINT16 mechanism, bool showUI) {
    if (app.Call("enable the source", DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, app.UserInterface(showUI)) !=
        TWRC_SUCCESS)
        return;
    for (int scan = 0; scan < kMostPages; ++scan) {
        const TW_UINT16 msg = WaitForMessage(app);
        if (msg == MSG_XFERREADY) {
            TransferPages(app, mechanism);
            if (showUI) continue;
        } else if (msg != MSG_CLOSEDSREQ && msg != MSG_CLOSEDSOK && msg != MSG_NULL) {
            char text[64];
            snprintf(text, sizeof(text), "the source sent message 0x%04x while enabled", msg);
            app.Unexpected(text);
        }
        break;
    }
    app.Call("disable the source", DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, app.UserInterface(showUI));
}

void Acquire(CApplication& app, TW_UINT16 mechanism, bool showUI) {
    if (app.Twain2()) {
        AcquireWithCallbacks(app, mechanism, showUI);
        return;
    }
    if (app.Call("enable the source", DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, app.UserInterface(showUI)) !=
        TWRC_SUCCESS)
        return;
    if (WaitForTransfer(app)) TransferPages(app, mechanism);
    app.Call("disable the source", DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, app.UserInterface(showUI));
}

void PlaySession(CApplication& app) {
    if (!Open(app)) return;
    app.Call("read the hardware description", DG_CONTROL, DAT_KV_HARDWAREINFO, MSG_GET, app.HardwareInfo());
    for (const Negotiation& step : kSessionNegotiation) Negotiate(app, step);
    Run(app, kSessionVendorSteps);
    Acquire(app, TWSX_MEMORY, false);
    Run(app, kClosing);
}

const Negotiation kScansNegotiation[] = {
    {"scan in grey", MSG_SET, ICAP_PIXELTYPE, TWTY_UINT16, TWPT_GRAY, TWRC_SUCCESS, TWCC_SUCCESS},
    {"scan 75 dpi across", MSG_SET, ICAP_XRESOLUTION, TWTY_FIX32, 75, TWRC_SUCCESS, TWCC_SUCCESS},
    {"scan 75 dpi down", MSG_SET, ICAP_YRESOLUTION, TWTY_FIX32, 75, TWRC_SUCCESS, TWCC_SUCCESS},
    {"use the feeder", MSG_SET, CAP_FEEDERENABLED, TWTY_BOOL, 1, TWRC_SUCCESS, TWCC_SUCCESS},
    {"ask for two pages", MSG_SET, CAP_XFERCOUNT, TWTY_INT16, 2, TWRC_SUCCESS, TWCC_SUCCESS},
    {"transfer whole images", MSG_SET, ICAP_XFERMECH, TWTY_UINT16, TWSX_NATIVE, TWRC_SUCCESS, TWCC_SUCCESS},
};

const Negotiation kThroughMemory = {"transfer through memory", MSG_SET, ICAP_XFERMECH, TWTY_UINT16, TWSX_MEMORY,
                                    TWRC_SUCCESS, TWCC_SUCCESS};

// The user sets the scanner up in its window alone and presses OK.
void SetUpInTheSourcesWindow(CApplication& app) {
    if (app.Call("let the user set the scanner up", DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDSUIONLY,
                 app.UserInterface(true)) != TWRC_SUCCESS)
        return;
    const TW_UINT16 msg = WaitForMessage(app);
    if (msg != MSG_CLOSEDSOK && msg != MSG_NULL) app.Unexpected("the settings window ended without MSG_CLOSEDSOK");
    app.Call("close the settings window", DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, app.UserInterface(true));
}

void PlayScans(CApplication& app) {
    if (!Open(app)) return;
    SetUpInTheSourcesWindow(app);
    for (const Negotiation& step : kScansNegotiation) Negotiate(app, step);
    Acquire(app, TWSX_NATIVE, false);
    Negotiate(app, kThroughMemory);
    Acquire(app, TWSX_MEMORY, true);
    Run(app, kClosing);
}

std::vector<TW_UINT16> SupportedCapabilities(CApplication& app) {
    std::vector<TW_UINT16> caps;
    if (app.Call("list the capabilities", DG_CONTROL, DAT_CAPABILITY, MSG_GET, app.Capability(CAP_SUPPORTEDCAPS)) !=
        TWRC_SUCCESS)
        return caps;
    const TW_ARRAY* array = static_cast<const TW_ARRAY*>(app.Container());
    if (array == nullptr || array->ItemType != TWTY_UINT16) {
        app.Unexpected("list the capabilities: the answer is no array of TWTY_UINT16");
        return caps;
    }
    const TW_UINT8* items = reinterpret_cast<const TW_UINT8*>(array) + offsetof(TW_ARRAY, ItemList);
    // Where the system knows the block's size the count is checked against it; elsewhere it is trusted.
    const size_t bytes = app.ContainerBytes();
    const size_t room = bytes > offsetof(TW_ARRAY, ItemList) ? (bytes - offsetof(TW_ARRAY, ItemList)) / 2 : 0;
    if (bytes != 0 && array->NumItems > room) {
        app.Unexpected("list the capabilities: the array claims more items than its block holds");
        return caps;
    }
    for (TW_UINT32 i = 0; i < array->NumItems; ++i) {
        TW_UINT16 cap;
        memcpy(&cap, items + i * sizeof(cap), sizeof(cap));
        caps.push_back(cap);
    }
    return caps;
}

TW_INT32 QuerySupport(CApplication& app, TW_UINT16 cap) {
    const std::string what = CapabilityName(cap) + ": ask what can be done";
    if (app.Call(what, DG_CONTROL, DAT_CAPABILITY, MSG_QUERYSUPPORT, app.Capability(cap)) != TWRC_SUCCESS) return 0;
    const TW_ONEVALUE* one = static_cast<const TW_ONEVALUE*>(app.Container());
    if (one == nullptr || one->ItemType != TWTY_INT32) {
        app.Unexpected(what + ": the answer is no TWTY_INT32");
        return 0;
    }
    TW_INT32 support;
    memcpy(&support, reinterpret_cast<const char*>(one) + offsetof(TW_ONEVALUE, Item), sizeof(support));
    return support;
}

// Every message on one capability; MSG_SET sends back the current value, and a capability that
// does not claim MSG_SET and MSG_RESET must refuse them.
void ExerciseCapability(CApplication& app, TW_UINT16 cap) {
    const std::string name = CapabilityName(cap);
    const TW_INT32 support = QuerySupport(app, cap);
    app.Call(name + ": get", DG_CONTROL, DAT_CAPABILITY, MSG_GET, app.Capability(cap));
    app.Call(name + ": get the default", DG_CONTROL, DAT_CAPABILITY, MSG_GETDEFAULT, app.Capability(cap));
    TW_CAPABILITY* capability = app.Capability(cap);
    app.Call(name + ": get the current value", DG_CONTROL, DAT_CAPABILITY, MSG_GETCURRENT, capability);
    const TW_UINT16 conType = capability->ConType;
    TW_HANDLE current = app.CopyContainer();

    const bool settable = (support & twext::TWQC_SET) != 0;
    const TW_UINT16 rc = settable ? TWRC_SUCCESS : TWRC_FAILURE;
    const TW_UINT16 condition = settable ? TWCC_SUCCESS : TWCC_CAPBADOPERATION;
    app.Call(name + ": set the current value", DG_CONTROL, DAT_CAPABILITY, MSG_SET,
             app.WithContainer(cap, conType, current), rc, condition);
    app.Call(name + ": reset", DG_CONTROL, DAT_CAPABILITY, MSG_RESET, app.Capability(cap), rc, condition);
}

void PlayCapabilities(CApplication& app) {
    if (!Open(app)) return;
    for (TW_UINT16 cap : SupportedCapabilities(app)) ExerciseCapability(app, cap);
    Run(app, kClosing);
}

void PlayErrors(CApplication& app) {
    Run(app, kErrorsBeforeOpening);
    if (!Open(app)) return;
    Run(app, kErrorsWhileOpen);
    Run(app, kClosing);
    Run(app, kErrorsAfterClosing);
}

// ---- Sessions in which one party breaks one rule of the protocol ----
//
// The application's faults are its own calls. The source's are the virtual scanner's answers
// changed through its scripting hook: the scanner serves each call and a misbehaviour changes what
// it answered, or answers in its place, or sends the application a message it should not.

struct Misbehaviour;
using MisbehaveFn = TW_UINT16 (*)(Misbehaviour& m, TW_IDENTITY* origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg,
                                  TW_MEMREF data);

struct Misbehaviour {
    MisbehaveFn act = nullptr;
    decltype(&CorvaleServe) serve = nullptr;
    DSMENTRYPROC manager = nullptr;  // the DSM_Entry the source was given, when it was given one
    TW_IDENTITY self = {};           // the source as it was opened
    bool armed = false;              // a misbehaviour's own note between two calls

    TW_UINT16 Serve(TW_IDENTITY* origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
        return serve(origin, dg, dat, msg, data);
    }
    // A message to the application through the Source Manager, as a TWAIN 2 source sends it.
    void Send(TW_IDENTITY* application, TW_UINT16 msg) {
        if (manager != nullptr) manager(&self, application, DG_CONTROL, DAT_NULL, msg, nullptr);
    }
};

TW_UINT16 Misbehave(void* context, TW_IDENTITY* origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
    Misbehaviour& m = *static_cast<Misbehaviour*>(context);
    if (dg == DG_CONTROL && dat == DAT_ENTRYPOINT && msg == MSG_SET && data != nullptr)
        m.manager = reinterpret_cast<DSMENTRYPROC>(static_cast<TW_ENTRYPOINT*>(data)->DSM_Entry);
    const TW_UINT16 rc = m.act(m, origin, dg, dat, msg, data);
    if (dg == DG_CONTROL && dat == DAT_IDENTITY && msg == MSG_OPENDS && rc == TWRC_SUCCESS && data != nullptr)
        m.self = *static_cast<TW_IDENTITY*>(data);
    return rc;
}

// Plays `play` with the scanner misbehaving as `act` says; without the scanner's hooks (another
// source) the misbehaviour is noted as unexpected and nothing is played.
void PlayMisbehaving(CApplication& app, MisbehaveFn act, void (*play)(CApplication&)) {
    // The scanner's hooks, in whichever loaded module holds them (the data source loads the scanner).
    const auto script = reinterpret_cast<decltype(&CorvaleScriptAnswer)>(LoadedExport("CorvaleScriptAnswer"));
    const auto serve = reinterpret_cast<decltype(&CorvaleServe)>(LoadedExport("CorvaleServe"));
    if (script == nullptr || serve == nullptr) {
        app.Unexpected("the source has no scripting hooks: it cannot be made to misbehave");
        return;
    }
    static Misbehaviour m;
    m = Misbehaviour();
    m.act = act;
    m.serve = serve;
    script(Misbehave, &m);
    play(app);
    script(nullptr, nullptr);
}

// Changes the container the source answers with, locked only while it is changed.
template <typename T, typename Change>
void ChangeContainer(TW_MEMREF data, Change change) {
    const TW_HANDLE handle = data != nullptr ? static_cast<TW_CAPABILITY*>(data)->hContainer : nullptr;
    if (T* container = static_cast<T*>(LockHandle(handle))) {
        change(*container);
        UnlockHandle(handle);
    }
}

bool IsCapability(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data, TW_UINT16 wantMsg, TW_UINT16 cap) {
    return dg == DG_CONTROL && dat == DAT_CAPABILITY && msg == wantMsg && data != nullptr &&
           static_cast<TW_CAPABILITY*>(data)->Cap == cap;
}

void Call(CApplication& app, const char* what, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
    app.Call(what, dg, dat, msg, data, kAnyReturnCode);
}

void CallCapability(CApplication& app, TW_UINT16 msg, TW_UINT16 cap) {
    Call(app, "a capability call", DG_CONTROL, DAT_CAPABILITY, msg, app.Capability(cap));
}

void SetCapability(CApplication& app, TW_UINT16 cap, TW_UINT16 itemType, double value) {
    Call(app, "set a capability", DG_CONTROL, DAT_CAPABILITY, MSG_SET, SetTo(app, cap, itemType, value));
}

void Close(CApplication& app) { Call(app, "close the source", DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, app.SourceIdentity()); }

// Open, read the pixel types, close: the call a misbehaving source spoils.
void PlayGetPixelType(CApplication& app) {
    if (!Open(app)) return;
    CallCapability(app, MSG_GET, ICAP_PIXELTYPE);
    Close(app);
}

void PlayGetYResolution(CApplication& app) {
    if (!Open(app)) return;
    CallCapability(app, MSG_GET, ICAP_YRESOLUTION);
    Close(app);
}

// `pages` pages of `mechanism` (more than one from the feeder), as the session scenario transfers them.
void PlayPages(CApplication& app, TW_UINT16 mechanism, int pages) {
    if (!Open(app)) return;
    if (pages > 1) SetCapability(app, CAP_FEEDERENABLED, TWTY_BOOL, 1);
    SetCapability(app, ICAP_XFERMECH, TWTY_UINT16, mechanism);
    SetCapability(app, CAP_XFERCOUNT, TWTY_INT16, pages);
    Acquire(app, mechanism, false);
    Close(app);
}

void PlayOneMemoryPage(CApplication& app) { PlayPages(app, TWSX_MEMORY, 1); }
void PlayTwoNativePages(CApplication& app) { PlayPages(app, TWSX_NATIVE, 2); }

void PlayImageInfoTooEarly(CApplication& app) {
    if (!Open(app)) return;
    Call(app, "read image information before a page is ready", DG_IMAGE, DAT_IMAGEINFO, MSG_GET, app.ImageInfo());
    Close(app);
}

const Scenario kFaults[] = {
    {"fault-state", "the application negotiates while the source is enabled (TWAIN 1 events)",
     [](CApplication& app) {
         if (!Open(app)) return;
         Call(app, "enable the source", DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, app.UserInterface(false));
         SetCapability(app, ICAP_PIXELTYPE, TWTY_UINT16, TWPT_GRAY);
         Call(app, "disable the source", DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, app.UserInterface(false));
         Close(app);
     }},
    {"fault-entrypoint", "the Source Manager gives the source its entry points once it is open",
     [](CApplication& app) {
         if (!Open(app)) return;
         static TW_ENTRYPOINT late = {};
         late.Size = sizeof(late);
         Call(app, "give the entry points late", DG_CONTROL, DAT_ENTRYPOINT, MSG_SET, &late);
         Close(app);
     }},
    {"fault-settype", "the application sets the pixel type as text",
     [](CApplication& app) {
         if (!Open(app)) return;
         Call(app, "give the pixel type as text", DG_CONTROL, DAT_CAPABILITY, MSG_SET, PixelTypeAsText(app));
         Close(app);
     }},
    {"fault-noimageinfo", "the application transfers a native page without reading its image information",
     [](CApplication& app) {
         if (!Open(app)) return;
         SetCapability(app, ICAP_XFERMECH, TWTY_UINT16, TWSX_NATIVE);
         SetCapability(app, CAP_XFERCOUNT, TWTY_INT16, 1);
         Call(app, "enable the source", DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, app.UserInterface(false));
         if (WaitForTransfer(app)) {
             TransferNatively(app);
             Call(app, "end the transfer", DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, app.PendingXfers());
         }
         Call(app, "disable the source", DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, app.UserInterface(false));
         Close(app);
     }},
    {"fault-acceptstate", "the source answers image information before a page is ready",
     [](CApplication& app) {
         PlayMisbehaving(
             app,
             [](Misbehaviour& m, TW_IDENTITY* origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
                 if (dg == DG_IMAGE && dat == DAT_IMAGEINFO) return static_cast<TW_UINT16>(TWRC_SUCCESS);
                 return m.Serve(origin, dg, dat, msg, data);
             },
             PlayImageInfoTooEarly);
     }},
    {"fault-seqcode", "the source refuses image information before a page is ready as a bad value",
     [](CApplication& app) {
         PlayMisbehaving(
             app,
             [](Misbehaviour& m, TW_IDENTITY* origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
                 if (dg == DG_IMAGE && dat == DAT_IMAGEINFO) {
                     m.armed = true;
                     return static_cast<TW_UINT16>(TWRC_FAILURE);
                 }
                 if (m.armed && dat == DAT_STATUS && data != nullptr) {
                     m.armed = false;
                     static_cast<TW_STATUS*>(data)->ConditionCode = TWCC_BADVALUE;
                     return static_cast<TW_UINT16>(TWRC_SUCCESS);
                 }
                 return m.Serve(origin, dg, dat, msg, data);
             },
             PlayImageInfoTooEarly);
     }},
    {"fault-xferready", "a TWAIN 2 source announces a transfer while it is not enabled",
     [](CApplication& app) {
         PlayMisbehaving(
             app,
             [](Misbehaviour& m, TW_IDENTITY* origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
                 const TW_UINT16 rc = m.Serve(origin, dg, dat, msg, data);
                 if (IsCapability(dg, dat, msg, data, MSG_GET, ICAP_PIXELTYPE)) m.Send(origin, MSG_XFERREADY);
                 return rc;
             },
             PlayGetPixelType);
     }},
    {"fault-closedsok", "a TWAIN 2 source enabled with its window for a scan says its settings are done",
     [](CApplication& app) {
         PlayMisbehaving(
             app,
             [](Misbehaviour& m, TW_IDENTITY* origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
                 const TW_UINT16 rc = m.Serve(origin, dg, dat, msg, data);
                 if (dat == DAT_USERINTERFACE && msg == MSG_ENABLEDS && rc == TWRC_SUCCESS) m.Send(origin, MSG_CLOSEDSOK);
                 return rc;
             },
             [](CApplication& app) {
                 if (!Open(app)) return;
                 Call(app, "enable the source", DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, app.UserInterface(true));
                 Call(app, "disable the source", DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, app.UserInterface(true));
                 Close(app);
             });
     }},
    {"fault-closedsreq", "a TWAIN 2 source asks to be closed while it is not enabled",
     [](CApplication& app) {
         PlayMisbehaving(
             app,
             [](Misbehaviour& m, TW_IDENTITY* origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
                 const TW_UINT16 rc = m.Serve(origin, dg, dat, msg, data);
                 if (IsCapability(dg, dat, msg, data, MSG_GET, ICAP_PIXELTYPE)) m.Send(origin, MSG_CLOSEDSREQ);
                 return rc;
             },
             PlayGetPixelType);
     }},
    {"fault-index", "the source answers the pixel types with a current index past its items",
     [](CApplication& app) {
         PlayMisbehaving(
             app,
             [](Misbehaviour& m, TW_IDENTITY* origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
                 const TW_UINT16 rc = m.Serve(origin, dg, dat, msg, data);
                 if (IsCapability(dg, dat, msg, data, MSG_GET, ICAP_PIXELTYPE))
                     ChangeContainer<TW_ENUMERATION>(data, [](TW_ENUMERATION& e) { e.CurrentIndex = e.NumItems; });
                 return rc;
             },
             PlayGetPixelType);
     }},
    {"fault-range", "the source answers the resolutions down as a range whose minimum is above its maximum",
     [](CApplication& app) {
         PlayMisbehaving(
             app,
             [](Misbehaviour& m, TW_IDENTITY* origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
                 const TW_UINT16 rc = m.Serve(origin, dg, dat, msg, data);
                 if (IsCapability(dg, dat, msg, data, MSG_GET, ICAP_YRESOLUTION))
                     ChangeContainer<TW_RANGE>(data, [](TW_RANGE& r) {
                         // Copied, not swapped: the packed fields may sit off their alignment.
                         const TW_UINT32 minimum = r.MinValue;
                         r.MinValue = r.MaxValue;
                         r.MaxValue = minimum;
                     });
                 return rc;
             },
             PlayGetYResolution);
     }},
    {"fault-step", "the source answers the resolutions down with a current value its steps do not reach",
     [](CApplication& app) {
         PlayMisbehaving(
             app,
             [](Misbehaviour& m, TW_IDENTITY* origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
                 const TW_UINT16 rc = m.Serve(origin, dg, dat, msg, data);
                 if (IsCapability(dg, dat, msg, data, MSG_GET, ICAP_YRESOLUTION))
                     // Whole, the low half: 10 dpi more.
                     ChangeContainer<TW_RANGE>(data, [](TW_RANGE& r) { r.CurrentValue += 10; });
                 return rc;
             },
             PlayGetYResolution);
     }},
    {"fault-itemtype", "the source answers the pixel types as signed numbers",
     [](CApplication& app) {
         PlayMisbehaving(
             app,
             [](Misbehaviour& m, TW_IDENTITY* origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
                 const TW_UINT16 rc = m.Serve(origin, dg, dat, msg, data);
                 if (IsCapability(dg, dat, msg, data, MSG_GET, ICAP_PIXELTYPE))
                     ChangeContainer<TW_ENUMERATION>(data, [](TW_ENUMERATION& e) { e.ItemType = TWTY_INT16; });
                 return rc;
             },
             PlayGetPixelType);
     }},
    {"fault-querysupport", "the source says the pixel type cannot be set, then sets it",
     [](CApplication& app) {
         PlayMisbehaving(
             app,
             [](Misbehaviour& m, TW_IDENTITY* origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
                 const TW_UINT16 rc = m.Serve(origin, dg, dat, msg, data);
                 if (IsCapability(dg, dat, msg, data, MSG_QUERYSUPPORT, ICAP_PIXELTYPE))
                     ChangeContainer<TW_ONEVALUE>(
                         data, [](TW_ONEVALUE& one) { one.Item &= ~static_cast<TW_UINT32>(twext::TWQC_SET); });
                 return rc;
             },
             [](CApplication& app) {
                 if (!Open(app)) return;
                 CallCapability(app, MSG_QUERYSUPPORT, ICAP_PIXELTYPE);
                 SetCapability(app, ICAP_PIXELTYPE, TWTY_UINT16, TWPT_GRAY);
                 Close(app);
             });
     }},
    {"fault-unsupported", "the source lists the units and refuses them as unsupported",
     [](CApplication& app) {
         PlayMisbehaving(
             app,
             [](Misbehaviour& m, TW_IDENTITY* origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
                 if (IsCapability(dg, dat, msg, data, MSG_GET, ICAP_UNITS)) {
                     m.armed = true;
                     return static_cast<TW_UINT16>(TWRC_FAILURE);
                 }
                 if (m.armed && dat == DAT_STATUS && data != nullptr) {
                     m.armed = false;
                     static_cast<TW_STATUS*>(data)->ConditionCode = TWCC_CAPUNSUPPORTED;
                     return static_cast<TW_UINT16>(TWRC_SUCCESS);
                 }
                 return m.Serve(origin, dg, dat, msg, data);
             },
             [](CApplication& app) {
                 if (!Open(app)) return;
                 CallCapability(app, MSG_GET, CAP_SUPPORTEDCAPS);
                 CallCapability(app, MSG_GET, ICAP_UNITS);
                 Close(app);
             });
     }},
    {"fault-notapplied", "the source accepts a pixel type and goes on with the one it had",
     [](CApplication& app) {
         PlayMisbehaving(
             app,
             [](Misbehaviour& m, TW_IDENTITY* origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
                 if (IsCapability(dg, dat, msg, data, MSG_SET, ICAP_PIXELTYPE)) return static_cast<TW_UINT16>(TWRC_SUCCESS);
                 return m.Serve(origin, dg, dat, msg, data);
             },
             [](CApplication& app) {
                 if (!Open(app)) return;
                 SetCapability(app, ICAP_PIXELTYPE, TWTY_UINT16, TWPT_GRAY);
                 CallCapability(app, MSG_GETCURRENT, ICAP_PIXELTYPE);
                 Close(app);
             });
     }},
    {"fault-outsideallowed", "the source accepts a resolution it did not list",
     [](CApplication& app) {
         PlayMisbehaving(
             app,
             [](Misbehaviour& m, TW_IDENTITY* origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
                 if (IsCapability(dg, dat, msg, data, MSG_SET, ICAP_XRESOLUTION)) return static_cast<TW_UINT16>(TWRC_SUCCESS);
                 return m.Serve(origin, dg, dat, msg, data);
             },
             [](CApplication& app) {
                 if (!Open(app)) return;
                 CallCapability(app, MSG_GET, ICAP_XRESOLUTION);
                 SetCapability(app, ICAP_XRESOLUTION, TWTY_FIX32, 4800);
                 Close(app);
             });
     }},
    {"fault-rows", "the source's last strip of a page holds one row less than the page",
     [](CApplication& app) {
         PlayMisbehaving(
             app,
             [](Misbehaviour& m, TW_IDENTITY* origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
                 const TW_UINT16 rc = m.Serve(origin, dg, dat, msg, data);
                 if (dat == DAT_IMAGEMEMXFER && rc == TWRC_XFERDONE) --static_cast<TW_IMAGEMEMXFER*>(data)->Rows;
                 return rc;
             },
             PlayOneMemoryPage);
     }},
    {"fault-rowbytes", "the source's strips say their rows are one byte long",
     [](CApplication& app) {
         PlayMisbehaving(
             app,
             [](Misbehaviour& m, TW_IDENTITY* origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
                 const TW_UINT16 rc = m.Serve(origin, dg, dat, msg, data);
                 if (dat == DAT_IMAGEMEMXFER && (rc == TWRC_SUCCESS || rc == TWRC_XFERDONE))
                     static_cast<TW_IMAGEMEMXFER*>(data)->BytesPerRow = 1;
                 return rc;
             },
             PlayOneMemoryPage);
     }},
    {"fault-written", "the source's first strip says it wrote a byte more than the buffer holds",
     [](CApplication& app) {
         PlayMisbehaving(
             app,
             [](Misbehaviour& m, TW_IDENTITY* origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
                 const TW_UINT16 rc = m.Serve(origin, dg, dat, msg, data);
                 if (dat == DAT_IMAGEMEMXFER && rc == TWRC_SUCCESS && !m.armed) {
                     m.armed = true;
                     TW_IMAGEMEMXFER* xfer = static_cast<TW_IMAGEMEMXFER*>(data);
                     xfer->BytesWritten = xfer->Memory.Length + 1;
                 }
                 return rc;
             },
             PlayOneMemoryPage);
     }},
    {"fault-pending", "the source says three pages are still to come when one is",
     [](CApplication& app) {
         PlayMisbehaving(
             app,
             [](Misbehaviour& m, TW_IDENTITY* origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
                 const TW_UINT16 rc = m.Serve(origin, dg, dat, msg, data);
                 TW_PENDINGXFERS* pending = static_cast<TW_PENDINGXFERS*>(data);
                 if (dat == DAT_PENDINGXFERS && msg == MSG_ENDXFER && rc == TWRC_SUCCESS && pending->Count == 1)
                     pending->Count = 3;
                 return rc;
             },
             PlayTwoNativePages);
     }},
    {"fault-lostcode", "the source forgets why it refused a resolution",
     [](CApplication& app) {
         PlayMisbehaving(
             app,
             [](Misbehaviour& m, TW_IDENTITY* origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
                 const TW_UINT16 rc = m.Serve(origin, dg, dat, msg, data);
                 if (dat == DAT_STATUS && data != nullptr) static_cast<TW_STATUS*>(data)->ConditionCode = TWCC_SUCCESS;
                 return rc;
             },
             [](CApplication& app) {
                 if (!Open(app)) return;
                 SetCapability(app, ICAP_XRESOLUTION, TWTY_FIX32, 4800);
                 Close(app);
             });
     }},
};

}  // namespace

const std::vector<Scenario>& Scenarios() {
    static const std::vector<Scenario> scenarios = {
        {"session",
         "a whole scanning session: open, identity, negotiation with one rejected value, enable, events, "
         "image information and layout, two pages through memory, disable, close",
         PlaySession},
        {"scans",
         "the source's window for its settings alone, then two scans of two pages in one session: whole "
         "images without the window, then through memory with the window shown",
         PlayScans},
        {"capabilities", "every capability the source lists, with every message", PlayCapabilities},
        {"errors", "calls out of sequence and values out of range, each followed by DAT_STATUS", PlayErrors},
    };
    static const std::vector<Scenario> withFaults = [] {
        std::vector<Scenario> all = scenarios;
        all.insert(all.end(), std::begin(kFaults), std::end(kFaults));
        return all;
    }();
    return withFaults;
}

const Scenario* FindScenario(const std::string& name) {
    for (const Scenario& scenario : Scenarios()) {
        if (name == scenario.name) return &scenario;
    }
    return nullptr;
}
