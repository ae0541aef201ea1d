#pragma once
// The one message loop of the windows: accelerators first, then the dialog manager of the window
// the message is for (Tab, arrows, mnemonics, Enter and Escape), then the window itself. Modeless
// windows register here so that every loop, the main one and the waits inside it, treats them
// alike.
#include <windows.h>

#include <functional>
#include <optional>

namespace qob::win32gui {

// A call made from another thread on the window's thread (see callOnWindowThread).
inline constexpr UINT kCallMessage = WM_APP + 2;

// A modeless dialog whose keyboard the dialog manager handles; `accelerators` may be null.
void registerDialog(HWND dialog, HACCEL accelerators = nullptr);
void unregisterDialog(HWND dialog);

// Accelerators and the dialog manager; true when the message was used up there.
bool preTranslate(MSG& msg);
// Until WM_QUIT; its exit code.
int runMessageLoop();
// Runs every message waiting now; the exit code when WM_QUIT was among them (it is not re-posted).
std::optional<int> pumpPending();
// Runs the messages as they come while `condition` holds (a job's end, a window's close); a quit
// asked for meanwhile is posted again afterwards, for the loop that owns it.
void pumpWhile(const std::function<bool()>& condition);
// Shows `dialog` (made modeless) modally over `owner`: the owner takes no input until the dialog
// is destroyed. Unlike DialogBox's own loop, this one is the program's, so the dialog's
// accelerators (registerDialog) work.
void runModal(HWND dialog, HWND owner);

// Runs `call` on the thread that owns `window` and waits for it (a dialog asked for by a job on a
// worker thread). On that thread itself, or without a window, it runs at once.
void callOnWindowThread(HWND window, const std::function<void()>& call);
// For a window procedure: runs a call sent by callOnWindowThread; true when `message` was one.
bool handleCall(UINT message, LPARAM lParam);

} // namespace qob::win32gui
