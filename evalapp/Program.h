// How the program fails and ends. No handler of the program handles an error: a
// failed library call or conversion ends the running handler, its number and
// description are shown in a message box, and the program ends.
#pragma once
#include <functional>

#include "com/error.h"

namespace Program {

inline constexpr char kTitle[] = "Ambrel";

using FailSink = std::function<void(const comrt::Error&)>;

// Replaces what happens to an error that ends a handler; an empty sink restores
// the message box followed by the end of the program. Returns the previous sink.
FailSink SetFailSink(FailSink sink);

void Fail(const comrt::Error& error);

// Ends the program at once: every window goes away and the event loop stops.
void End(int exitCode = 0);

// Runs one event handler of the program; an error that escapes it goes to Fail.
void Handle(const std::function<void()>& handler);

}  // namespace Program
