#pragma once

#include <cstdint>

#include "core/text.h"

namespace pw {

// The controls of the main window that handlers and download threads change.
enum class Control { FlashView, WebView, StatusLabel, ProgressBar };

// The operations the program performs on the main window's controls, and only these.
// Callable from any thread: a write has taken effect (stored and readable) when the call
// returns; the widget may repaint a moment later on the UI thread.
class MainWindowControls {
public:
    virtual ~MainWindowControls() = default;

    virtual void SetVisible(Control control, bool visible) = 0;
    virtual bool IsVisible(Control control) const = 0;

    virtual void SetStatusCaption(const Text& caption) = 0;
    virtual Text StatusCaption() const = 0;

    // The progress bar stores a written position clamped to 0..32767 and reads it back
    // as stored; it draws the stored value clamped to 0..100.
    virtual void SetProgressPosition(std::int32_t position) = 0;
    virtual std::int32_t ProgressPosition() const = 0;

    virtual void SetFlashMovie(const Text& path) = 0;
    virtual void PlayFlash() = 0;
    virtual void SetWebAddress(const Text& url) = 0;
};

// The progress bar's rules for a stored and for a drawn position.
constexpr std::int32_t StoredProgressPosition(std::int32_t written) {
    return written < 0 ? 0 : (written > 32767 ? 32767 : written);
}
constexpr std::int32_t DrawnProgressPosition(std::int32_t stored) {
    return stored < 0 ? 0 : (stored > 100 ? 100 : stored);
}

}  // namespace pw
