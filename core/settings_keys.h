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
// Our own: lock the vault when the desktop locks the screen or goes to sleep (0 or 1,
// absent reads as 1, so that a vault set up before the switch existed keeps locking).
inline constexpr char kLOCKWITHSESSION[] = "kLOCKWITHSESSION";
// Our own: a move of the vault root that has not finished yet (see vault/vault_move.h).
inline constexpr char kVAULTMOVEINPROGRESS[] = "kVAULTMOVEINPROGRESS";

}  // namespace tessaro::keys

namespace tessaro::settings {

enum class Type {
    Text,
    Flag,     // a check box: stored as the integer 0 or 1, read back as a boolean
    Choice,   // a pop-up menu: stored as the index of the chosen item
    Number,
    TextList,
};

// One key of the store: how it is stored and what an absent (or, for a choice, an out of
// range) value reads as.
struct KeyEntry {
    const char* key;
    Type type;
    int defaultValue = 0;
    // Choice: the number of items; an index outside them selects `outOfRange`.
    int choices = 0;
    int outOfRange = 0;
    // Shown and written by the preferences, acted on by nothing.
    bool storedOnly = false;
};

inline constexpr KeyEntry kAll[] = {
    {keys::kRootDirKey, Type::Text},
    {keys::FirstRun, Type::Flag},
    {keys::kSOUREPASSWORD, Type::Text},
    {keys::kPASSWORDHINTCONTENT, Type::Text},
    {keys::remmenberBtnState, Type::Text, 0, 0, 0, true},
    {keys::mainWindowSizeWidth, Type::Number},
    {keys::mainWindowSizeHeight, Type::Number},
    {keys::KUPNAMES, Type::TextList},
    {keys::AppLanguage, Type::Number},
    {keys::AppleLanguages, Type::TextList},
    // Values 4 and beyond lock after the shortest delay, so they show as the fifth item.
    {keys::kTESSAROWHENIDLE, Type::Choice, 0, 5, 4},
    {keys::kWhenquittingTessaro, Type::Choice, 0, 3, 0, true},
    {keys::USEMENUBARASSISTANT, Type::Flag, 0, 0, 0, true},
    {keys::kLAUNCHASSISTANTONLOGIN, Type::Flag, 0, 0, 0, true},
    {keys::kSENDANONYMOUSUSAGEDATATOKALDERA, Type::Flag, 0, 0, 0, true},
    {keys::kEraseremainingfiledatasecurelyafterhiding, Type::Flag, 0, 0, 0, true},
    {keys::Whenunhidingviamenubarassistant, Type::Flag, 0, 0, 0, true},
    {keys::WhenunhidingfromTessaroMainWindow, Type::Flag, 0, 0, 0, true},
    {keys::Secureerasemethod, Type::Choice, 0, 3, 0, true},
    {keys::kBackUptessaro, Type::Flag, 0, 0, 0, true},
    {keys::kLOCKWITHSESSION, Type::Flag, 1},
    {keys::kVAULTMOVEINPROGRESS, Type::Text},
};

}  // namespace tessaro::settings
