#pragma once
// Typed registry routines every part of the client uses, over our registry layer. The flag
// `currentUser` picks HKEY_CURRENT_USER (true) or HKEY_LOCAL_MACHINE (false).
//
// Stored types: integers and booleans as DWORD (booleans 0 or 1), floating-point numbers as 8 bytes
// of binary (a little-endian double), text as a string.

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

namespace orb {

// What RegWriteVariant can be given; std::monostate (no value) writes nothing.
using RegVariant = std::variant<std::monostate, int8_t, uint8_t, int16_t, uint16_t, int32_t, uint32_t, float, double,
                                bool, std::string>;

// The type a value is read as.
enum class RegValueKind { Integer, Float, Boolean, String };

// True when the key opens and holds the value (of any type).
bool RegValueExists(std::string_view key, std::string_view name, bool currentUser);

// Opens the key, creating it when missing, and writes by the value's type. False when nothing was
// written (no value, or the key or file could not be written).
bool RegWriteVariant(std::string_view key, std::string_view name, const RegVariant& value, bool currentUser);

// Opens the key (created when missing) and reads the value as the asked kind. A missing value, a
// value stored with another type, or a float not of 8 bytes gives the kind's missing result:
// Integer -1 (int32_t), Float -1.0 (double), Boolean false, String "".
RegVariant RegReadVariant(std::string_view key, std::string_view name, RegValueKind kind, bool currentUser);

// The same, typed.
int32_t RegReadInteger(std::string_view key, std::string_view name, bool currentUser);
double RegReadFloat(std::string_view key, std::string_view name, bool currentUser);
bool RegReadBool(std::string_view key, std::string_view name, bool currentUser);
std::string RegReadString(std::string_view key, std::string_view name, bool currentUser);
// Whether the value exists with the type the kind is stored as.
bool RegValueReadable(std::string_view key, std::string_view name, RegValueKind kind, bool currentUser);

// Writes `Disable Script Debugger` = text under HKEY_CURRENT_USER
// SOFTWARE\Microsoft\Internet Explorer\Main when that key exists; failures are ignored.
void SetScriptDebuggerDisabled(std::string_view text);

}  // namespace orb
