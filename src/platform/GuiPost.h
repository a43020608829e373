// Hands work to the GUI thread (the thread of the application object) from any thread, the one
// way the program does it. Components that receive events on other threads (the serial line
// watcher, the sound server's loop) take this function as their post function.
#pragma once

#include <functional>

namespace brindle {

// Queues fn to run on the GUI thread's event loop, never inline, even when called on the GUI
// thread itself: a caller inside a callback is never re-entered. Without an application object
// there is no event loop to run it, and the call is dropped.
void PostToGuiThread(std::function<void()> fn);

// Runs fn on the GUI thread's event loop after ms [ms] (0: once the loop is back), never inline;
// only from the GUI thread. Dropped without an application object.
void RunLaterOnGuiThread(int ms, std::function<void()> fn);

} // namespace brindle
