#include "hotkey/alsa_tone.h"

#include <dlfcn.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

namespace {

// The few ALSA values used, from its public interface (no headers needed).
constexpr int kStreamPlayback = 0;     // SND_PCM_STREAM_PLAYBACK
constexpr int kFormatS16Le = 2;        // SND_PCM_FORMAT_S16_LE
constexpr int kAccessInterleaved = 3;  // SND_PCM_ACCESS_RW_INTERLEAVED
constexpr unsigned kRate = 48000;
constexpr unsigned kLatencyUs = 50000;
constexpr unsigned kChunkFrames = kRate / 50;  // 20 ms between stop checks

struct Pcm;
using ErrorHandler = void (*)(const char*, int, const char*, int, const char*, ...);

// ALSA reports every failed open on stderr unless given a handler; the tone
// says nothing.
void Silent(const char*, int, const char*, int, const char*, ...) {}

}  // namespace

struct AlsaTone::Library {
    void* handle = nullptr;
    int (*open)(Pcm**, const char*, int, int) = nullptr;
    int (*setParams)(Pcm*, int, int, unsigned, unsigned, int, unsigned) = nullptr;
    long (*writei)(Pcm*, const void*, unsigned long) = nullptr;
    int (*recover)(Pcm*, int, int) = nullptr;
    int (*drain)(Pcm*) = nullptr;
    int (*drop)(Pcm*) = nullptr;
    int (*close)(Pcm*) = nullptr;
    int (*setErrorHandler)(ErrorHandler) = nullptr;

    static std::unique_ptr<Library> Load() {
        void* handle = dlopen("libasound.so.2", RTLD_NOW | RTLD_LOCAL);
        if (!handle) return nullptr;
        auto lib = std::make_unique<Library>();
        lib->handle = handle;
        const bool all =
            lib->Bind(lib->open, "snd_pcm_open") &&
            lib->Bind(lib->setParams, "snd_pcm_set_params") &&
            lib->Bind(lib->writei, "snd_pcm_writei") &&
            lib->Bind(lib->recover, "snd_pcm_recover") && lib->Bind(lib->drain, "snd_pcm_drain") &&
            lib->Bind(lib->drop, "snd_pcm_drop") && lib->Bind(lib->close, "snd_pcm_close") &&
            lib->Bind(lib->setErrorHandler, "snd_lib_error_set_handler");
        return all ? std::move(lib) : nullptr;
    }

    template <typename Fn>
    bool Bind(Fn& fn, const char* name) {
        fn = reinterpret_cast<Fn>(dlsym(handle, name));
        return fn != nullptr;
    }

    // The library stays loaded: ALSA keeps its parsed configuration and the
    // plugins it loaded for the life of the process, and unloading it under
    // them is not safe.
};

AlsaTone::AlsaTone(std::unique_ptr<ITone> fallback, std::string device)
    : m_pFallback(std::move(fallback)), m_strDevice(std::move(device)), m_pAlsa(Library::Load()) {
    if (m_pAlsa) m_pAlsa->setErrorHandler(&Silent);
}

AlsaTone::~AlsaTone() = default;

bool AlsaTone::LibraryLoaded() const {
    return m_pAlsa != nullptr;
}

void AlsaTone::Beep(unsigned hz, unsigned ms, std::stop_token stop) {
    if (Play(hz, ms, stop)) return;
    if (m_pFallback) m_pFallback->Beep(hz, ms, stop);
}

bool AlsaTone::Play(unsigned hz, unsigned ms, const std::stop_token& stop) {
    if (!m_pAlsa) return false;
    // The device is opened for each tone: a sound server that starts, or a
    // headset that is plugged in, is used from the next tone on.
    Pcm* pcm = nullptr;
    if (m_pAlsa->open(&pcm, m_strDevice.c_str(), kStreamPlayback, 0) < 0) return false;
    if (m_pAlsa->setParams(pcm, kFormatS16Le, kAccessInterleaved, 1, kRate, 1, kLatencyUs) < 0) {
        m_pAlsa->close(pcm);
        return false;
    }

    const unsigned long frames = static_cast<unsigned long>(kRate) * ms / 1000;
    std::vector<int16_t> chunk(kChunkFrames);
    unsigned long written = 0;
    bool played = true;
    int stalls = 0;  // passes in a row that wrote nothing
    while (written < frames && !stop.stop_requested() && stalls < 3) {
        const unsigned long count = std::min<unsigned long>(kChunkFrames, frames - written);
        for (unsigned long i = 0; i < count; ++i) {
            const double t = static_cast<double>(written + i) / kRate;
            chunk[i] = static_cast<int16_t>(8000.0 * std::sin(2.0 * std::numbers::pi * hz * t));
        }
        long done = m_pAlsa->writei(pcm, chunk.data(), count);
        if (done < 0) done = m_pAlsa->recover(pcm, static_cast<int>(done), 1);
        if (done < 0) {
            played = written > 0;
            break;
        }
        stalls = done == 0 ? stalls + 1 : 0;
        written += static_cast<unsigned long>(done);
    }
    // Draining returns when the last sample has sounded; a stop cuts it off.
    if (stop.stop_requested()) {
        m_pAlsa->drop(pcm);
    } else {
        m_pAlsa->drain(pcm);
    }
    m_pAlsa->close(pcm);
    return played;
}
