#pragma once

namespace quillberry {

class AppDelegate;

// Installs the handler and registers Cmd+U; a refusal is ignored and leaves
// `hotKeyRef` empty.
void registerGlobalHotkey(AppDelegate& delegate);

// Called by the platform for every press: posts one call of handleHotkey() to the main
// queue and returns at once, so the press never runs inside the event dispatch.
int hotkeyCallback(AppDelegate* userData);

}  // namespace quillberry
