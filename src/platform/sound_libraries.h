#pragma once

#include <SDL.h>
#include <sndfile.h>

#include <QString>

/// libsndfile and SDL's audio output, loaded on their first use rather than with the program. Linked in, the two
/// and the forty libraries they bring (codecs, PulseAudio, ALSA, Wayland) are loaded and bound at every start and
/// stay resident all day, although a count with the built-in bell never decodes a file and plays only a few
/// seconds at each phase change. Each loads once, from any thread; a library that cannot be loaded reads null.
namespace sound_libraries {

struct Sndfile {
    decltype(&sf_open_virtual) open_virtual;
    decltype(&sf_readf_short) readf_short;
    decltype(&sf_readf_float) readf_float;
    decltype(&sf_close) close;
};

struct SdlAudio {
    decltype(&SDL_SetHint) SetHint;
    decltype(&SDL_InitSubSystem) InitSubSystem;
    decltype(&SDL_QuitSubSystem) QuitSubSystem;
    decltype(&SDL_OpenAudioDevice) OpenAudioDevice;
    decltype(&SDL_PauseAudioDevice) PauseAudioDevice;
    decltype(&SDL_CloseAudioDevice) CloseAudioDevice;
    decltype(&SDL_GetError) GetError;
};

/// Null when libsndfile cannot be loaded; why is then in loadError().
const Sndfile* sndfile();
/// Null when SDL cannot be loaded; why is then in loadError().
const SdlAudio* sdlAudio();
/// Loads SDL on a thread of its own and returns at once, so that the first bell does not wait for it.
void preloadSdlAudio();
/// The dynamic loader's words for the last library that could not be loaded.
QString loadError();

} // namespace sound_libraries
