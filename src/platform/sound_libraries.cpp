#include "platform/sound_libraries.h"

#include "platform/loadable_library.h"
#include "platform/log_categories.h"

#include <mutex>
#include <thread>

namespace sound_libraries {

namespace {

std::mutex errorLock;
QString lastError;

void noteError(const char* library, const QString& error)
{
    qCWarning(lcSound, "%s cannot be loaded: %s", library, qUtf8Printable(error));
    const std::lock_guard<std::mutex> lock(errorLock);
    lastError = error;
}

/// Looks up every function of a table; false, with the library let go, when one is missing.
template <typename Table, typename... Members>
bool resolve(void* handle, QString* why, Table& table, std::pair<Members Table::*, const char*>... entries)
{
    const auto one = [handle, why, &table](auto entry) {
        void* symbol = loadable_library::find(handle, entry.second, why);
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
    QString why;
    void* handle = loadable_library::open(library, &why);
    if (!handle)
        noteError(library, why);
    return handle;
}

const Sndfile* loadSndfile()
{
    static Sndfile table{};
    void* handle = open(loadable_library::sndfileFile);
    if (!handle)
        return nullptr;
    QString why;
    if (!resolve(handle, &why, table, entry(&Sndfile::open_virtual, "sf_open_virtual"),
                 entry(&Sndfile::readf_short, "sf_readf_short"), entry(&Sndfile::readf_float, "sf_readf_float"),
                 entry(&Sndfile::close, "sf_close"))) {
        noteError(loadable_library::sndfileFile, why);
        return nullptr;
    }
    return &table;
}

const SdlAudio* loadSdlAudio()
{
    static SdlAudio table{};
    void* handle = open(loadable_library::sdlFile);
    if (!handle)
        return nullptr;
    QString why;
    if (!resolve(
            handle, &why, table, entry(&SdlAudio::SetHint, "SDL_SetHint"),
            entry(&SdlAudio::InitSubSystem, "SDL_InitSubSystem"), entry(&SdlAudio::QuitSubSystem, "SDL_QuitSubSystem"),
            entry(&SdlAudio::OpenAudioDevice, "SDL_OpenAudioDevice"),
            entry(&SdlAudio::PauseAudioDevice, "SDL_PauseAudioDevice"),
            entry(&SdlAudio::CloseAudioDevice, "SDL_CloseAudioDevice"), entry(&SdlAudio::GetError, "SDL_GetError"))) {
        noteError(loadable_library::sdlFile, why);
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
