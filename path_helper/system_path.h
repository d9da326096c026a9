// system_path.h: PATH as the system stores it, the machine's or the user's, and the
// announcement that the environment changed. One implementation per platform; only Windows
// has one.
#ifndef KORVALE_SYSTEM_PATH_H
#define KORVALE_SYSTEM_PATH_H

#include <optional>
#include <string>
#include <string_view>

#include "command.h"

namespace korvale::path {

// Reads the value, of any length; an absent value reads as empty, and says so (`exists`).
// Nothing, with a reason in `error`, when it cannot be read or is not text.
std::optional<StoredValue> readStoredPath(Scope scope, std::string& error);

// Stores the value with the kind it was read with. False, with a reason, on failure.
bool writeStoredPath(Scope scope, const StoredValue& value, std::string& error);

// Deletes the value. False, with a reason, on failure.
bool eraseStoredPath(Scope scope, std::string& error);

// The system's expansion of %NAME% references, for recognising entries.
std::wstring expandReferences(std::wstring_view text);

// Tells running programs (Explorer above all) to read the environment again.
void announceEnvironmentChange();

}  // namespace korvale::path

#endif  // KORVALE_SYSTEM_PATH_H
