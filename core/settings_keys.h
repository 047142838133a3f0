#pragma once

// Keys of the user-defaults store, spelled exactly as stored.
namespace tessaro::keys {

inline constexpr char kRootDirKey[] = "kRootDirKey";
inline constexpr char FirstRun[] = "FirstRun";
inline constexpr char kSOUREPASSWORD[] = "kSOUREPASSWORD";
inline constexpr char kPASSWORDHINTCONTENT[] = "kPASSWORDHINTCONTENT";
inline constexpr char remmenberBtnState[] = "remmenberBtn.state";
inline constexpr char mainWindowSizeWidth[] = "mainWindowSize.width";
inline constexpr char mainWindowSizeHeight[] = "mainWindowSize.height";
inline constexpr char KUPNAMES[] = "KUPNAMES";
inline constexpr char AppLanguage[] = "AppLanguage";
inline constexpr char AppleLanguages[] = "AppleLanguages";
inline constexpr char kTESSAROWHENIDLE[] = "kTESSAROWHENIDLE";
inline constexpr char kWhenquittingTessaro[] = "kWhenquittingTessaro";
inline constexpr char USEMENUBARASSISTANT[] = "USEMENUBARASSISTANT";
inline constexpr char kLAUNCHASSISTANTONLOGIN[] = "kLAUNCHASSISTANTONLOGIN";
inline constexpr char kSENDANONYMOUSUSAGEDATATOKALDERA[] = "kSENDANONYMOUSUSAGEDATATOKALDERA";
inline constexpr char kEraseremainingfiledatasecurelyafterhiding[] =
    "kEraseremainingfiledatasecurelyafterhiding";
inline constexpr char Whenunhidingviamenubarassistant[] = "Whenunhidingviamenubarassistant";
inline constexpr char WhenunhidingfromTessaroMainWindow[] = "WhenunhidingfromTessaroMainWindow";
inline constexpr char Secureerasemethod[] = "Secureerasemethod";
inline constexpr char kBackUptessaro[] = "kBackUptessaro";

}  // namespace tessaro::keys
