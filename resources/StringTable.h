#pragma once
// The program's string table: the fixed texts of its messages and names,
// looked up by their numbers.

#include <string_view>

namespace showsaver::strings {

enum Id : int {
    kPasswordNotCorrect = 33000,
    kPasswordsDoNotMatch = 33001,
    kPasswordChanged = 33002,
    kRegistryKey = 33004,
    kChooseImage = 34003,
    kCannotReadData = 34013,
    kCannotMakeDataFile = 34014,
    kChooseMedia = 34023,
    kSignatureB = 34026,
    kSignatureA = 34028,
};

// The text of a string id (UTF-8); empty for an unknown id.
std::string_view Load(int id);

} // namespace showsaver::strings
