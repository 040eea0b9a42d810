// The whole platform subset the system is written against, in one include.
#pragma once

#include "win32/Types.h"
#include "win32/Messages.h"
#include "win32/Display.h"
#include "win32/Files.h"
#include "win32/Modules.h"
#include "win32/Paths.h"
#include "win32/Profile.h"
#include "win32/Services.h"
#include "win32/Mci.h"
#include "win32/Mixer.h"
#include "win32/Shell.h"
#include "win32/Sync.h"
