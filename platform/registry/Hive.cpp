#include "platform/registry/Hive.h"

namespace showsaver::registry {

std::string_view RootName(Hive hive)
{
    switch (hive) {
    case Hive::CurrentUser: return "HKEY_CURRENT_USER";
    case Hive::LocalMachine: return "HKEY_LOCAL_MACHINE";
    case Hive::ClassesRoot: return "HKEY_CLASSES_ROOT";
    }
    return {};
}

std::string_view FileName(Hive hive)
{
    switch (hive) {
    case Hive::CurrentUser: return "user.reg";
    case Hive::LocalMachine: return "machine.reg";
    case Hive::ClassesRoot: return "classes.reg";
    }
    return {};
}

}
