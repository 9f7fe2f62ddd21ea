#pragma once

#include "platform/pcm_sound.h"

/// The chime heard when no wave file is named: a small struck bell of about one second, 48 kHz mono, made in code
/// so that a fresh installation rings without any file.
PcmSound builtinBell();
