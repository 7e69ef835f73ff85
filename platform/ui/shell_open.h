#pragma once
// Starts a program or opens a document or web address, without waiting.
#include <QString>
#include <functional>

namespace platform {

// An executable file is started detached; anything else goes to the desktop's default handler.
// The result is whether the start was handed over.
bool shellOpen(const QString& target);

// An executable started as by shellOpen, behind the window that has the keyboard: it shows its
// first window without taking it (start_behind.h).
bool shellOpenBehind(const QString& target);

// Tests see the target instead of starting anything.
using ShellOpenHook = std::function<bool(const QString& target)>;
void setShellOpenHook(ShellOpenHook hook);

}  // namespace platform
