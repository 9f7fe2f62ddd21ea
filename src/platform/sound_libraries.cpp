#include "platform/sound_libraries.h"

#include "platform/log_categories.h"

#include <dlfcn.h>

#include <mutex>
#include <thread>

namespace sound_libraries {

namespace {

std::mutex errorLock;
QString lastError;

void noteError(const char* library)
{
    const char* why = ::dlerror();
    const QString error = QString::fromUtf8(why ? why : library);
    qCWarning(lcSound, "%s cannot be loaded: %s", library, qUtf8Printable(error));
    const std::lock_guard<std::mutex> lock(errorLock);
    lastError = error;
}

/// Looks up every function of a table; false, with the library let go, when one is missing.
template <typename Table, typename... Members>
bool resolve(void* handle, Table& table, std::pair<Members Table::*, const char*>... entries)
{
    const auto one = [handle, &table](auto entry) {
        void* symbol = ::dlsym(handle, entry.second);
        table.*entry.first = reinterpret_cast<std::remove_reference_t<decltype(table.*entry.first)>>(symbol);
        return symbol != nullptr;
    };
    return (one(entries) && ...);
}

template <typename Member, typename Table>
std::pair<Member Table::*, const char*> entry(Member Table::*member, const char* name)
{
    return {member, name};
}

void* open(const char* library)
{
    // Local: nothing else in the program resolves against these; now: a missing symbol shows here, not mid-bell.
    void* handle = ::dlopen(library, RTLD_NOW | RTLD_LOCAL);
    if (!handle)
        noteError(library);
    return handle;
}

const Sndfile* loadSndfile()
{
    static Sndfile table{};
    void* handle = open("libsndfile.so.1");
    if (!handle)
        return nullptr;
    if (!resolve(handle, table, entry(&Sndfile::open_virtual, "sf_open_virtual"),
                 entry(&Sndfile::readf_short, "sf_readf_short"), entry(&Sndfile::readf_float, "sf_readf_float"),
                 entry(&Sndfile::close, "sf_close"))) {
        noteError("libsndfile.so.1");
        return nullptr;
    }
    return &table;
}

const SdlAudio* loadSdlAudio()
{
    static SdlAudio table{};
    void* handle = open("libSDL2-2.0.so.0");
    if (!handle)
        return nullptr;
    if (!resolve(
            handle, table, entry(&SdlAudio::SetHint, "SDL_SetHint"),
            entry(&SdlAudio::InitSubSystem, "SDL_InitSubSystem"), entry(&SdlAudio::QuitSubSystem, "SDL_QuitSubSystem"),
            entry(&SdlAudio::OpenAudioDevice, "SDL_OpenAudioDevice"),
            entry(&SdlAudio::PauseAudioDevice, "SDL_PauseAudioDevice"),
            entry(&SdlAudio::CloseAudioDevice, "SDL_CloseAudioDevice"), entry(&SdlAudio::GetError, "SDL_GetError"))) {
        noteError("libSDL2-2.0.so.0");
        return nullptr;
    }
    return &table;
}

} // namespace

const Sndfile* sndfile()
{
    // Never unloaded: the decoders of a count may live on other threads until the program ends.
    static const Sndfile* const loaded = loadSndfile();
    return loaded;
}

const SdlAudio* sdlAudio()
{
    static const SdlAudio* const loaded = loadSdlAudio();
    return loaded;
}

void preloadSdlAudio()
{
    static std::once_flag started;
    std::call_once(started, [] {
        try {
            std::thread([] { sdlAudio(); }).detach();
        } catch (const std::system_error&) {
            // No thread to spare: the first bell loads it.
        }
    });
}

QString loadError()
{
    const std::lock_guard<std::mutex> lock(errorLock);
    return lastError;
}

} // namespace sound_libraries
