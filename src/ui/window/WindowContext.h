#pragma once

class AppState;
class HistoryStore;
class Pasteboard;

// What the window's screens observe and call. The pointers are not owned; each outlives the
// window.
struct WindowContext {
    AppState *state = nullptr;
    HistoryStore *history = nullptr;
    // Optional: without it the desktop clipboard is used directly.
    Pasteboard *pasteboard = nullptr;
};
