#pragma once
// Window events processed on the program clock rather than at every call: a long loop of
// small steps (a folder walk, a check of many files) calls pumpWindows() at each one, and the
// windows still paint and take clicks every slice without an event pass per step.
#include <QtGlobal>

namespace platform {

constexpr qint64 kPumpSliceMs = 40;

// Whether a slice has passed since the last pass of pumpWindows().
bool pumpDue();
// Processes the pending window events when a slice has passed.
void pumpWindows();

}  // namespace platform
