// A tone through the sound system (ALSA, which PulseAudio and PipeWire also
// serve). The library is loaded at run time, so neither building nor running
// needs it; where it is missing, or no sound device can be opened, the
// fallback tone sounds instead.
#pragma once

#include <memory>
#include <string>

#include "hotkey/hotkey.h"

class AlsaTone : public ITone {
  public:
    AlsaTone(std::unique_ptr<ITone> fallback, std::string device = "default");
    ~AlsaTone() override;
    AlsaTone(const AlsaTone&) = delete;
    AlsaTone& operator=(const AlsaTone&) = delete;

    void Beep(unsigned hz, unsigned ms, std::stop_token stop) override;
    // Whether the sound library could be loaded at all.
    bool LibraryLoaded() const;

  private:
    struct Library;
    // False when nothing could be played, so the fallback has to sound.
    bool Play(unsigned hz, unsigned ms, const std::stop_token& stop);

    std::unique_ptr<ITone> m_pFallback;
    std::string m_strDevice;
    std::unique_ptr<Library> m_pAlsa;
};
