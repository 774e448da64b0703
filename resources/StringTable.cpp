#include "resources/StringTable.h"

namespace showsaver::strings {

std::string_view Load(int id) {
    switch (id) {
    case kPasswordNotCorrect: return "The password is not correct.";
    case kPasswordsDoNotMatch: return "The new and confirmed passwords do not match.";
    case kPasswordChanged: return "The password has been successfully changed.";
    case kRegistryKey: return "Tarvanix\\Screen Saver";
    case kSettingsSection: return "Settings";
    case kSettingStandard: return "Standard";
    case kSettingMouseMove: return "MouseMove";
    case kSettingButtonDown: return "ButtonDown";
    case kSettingDoubleClick: return "DoubleClick";
    case kSettingKeyDown: return "KeyDown";
    case kSettingEscape: return "Escape";
    case kSettingMute: return "Mute";
    case kChooseImage: return "You have to choose the image.";
    case kCannotReadData: return "\nCannot be read data.";
    case kCannotMakeDataFile: return "It cannot be made data file.";
    case kChooseMedia: return "You have to choose the media.";
    case kSignatureB: return "ScreenShowFileB";
    case kSignatureA: return "ScreenShowFileA";
    }
    return {};
}

} // namespace showsaver::strings
