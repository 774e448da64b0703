#pragma once

// The registry store and the application profile built on it.
#include "platform/registry/Hive.h"
#include "platform/registry/Profile.h"
#include "platform/registry/Store.h"
