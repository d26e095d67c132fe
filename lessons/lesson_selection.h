#pragma once

#include <cstdint>

#include "core/main_window_controls.h"
#include "core/text.h"

namespace pw {

inline const Text kIdleMovieName = "3.swf";

// The main window's controls as the handlers and download threads reach them. Set by the
// program once the main window exists; tests install their own.
void SetMainWindowControls(MainWindowControls* controls);
MainWindowControls& MainControls();

// A cache file is complete when it exists and its size equals the remote size (within
// 1e-7). A missing file (-1) is never complete, whatever the probe said.
bool CacheFileIsComplete(std::int32_t localSize, double remoteSize);

// Lesson menu handler: a lesson starts `OpenLesson`, the guestbook entry opens the
// guestbook page, anything else does nothing.
void OnLessonMenuItemClicked(int group, int item);

// Plays the cache file if it is complete, downloads it if it is not.
void OpenLesson();

// The playing view with the file `CurrentFileName` names.
void PlayCurrentFile();
// The same for a given file: a download thread plays its own file.
void PlayFile(MainWindowControls& controls, const Text& fileName);

// Starts a download thread on the current `CurrentUrl` and `CurrentFileName`.
void StartDownloadWorker();

// Stops the lesson that plays and shows the web view (the idle movie is loaded and
// played before the player is hidden).
void SilenceLessonAndShowWebView();

// The guestbook entry of the lesson menu.
void OpenGuestbook();

}  // namespace pw
