#pragma once
// Everything the settings file holds. Readers never fail: they fall back to defaults and clamp.
#include "settings/audio_settings.h"
#include "settings/clip_settings.h"
#include "settings/exclusion_settings.h"
#include "settings/executable_name.h"
#include "settings/profile_store.h"
#include "settings/settings_path.h"
#include "settings/shortcut_settings.h"
#include "settings/video_settings.h"
