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
    kSettingsSection = 33006,
    kSettingStandard = 33007,
    kSettingMouseMove = 33008,
    kSettingButtonDown = 33009,
    kSettingDoubleClick = 33010,
    kSettingKeyDown = 33011,
    kSettingEscape = 33012,
    kSettingMute = 33013,
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
