#pragma once
// The updater as a program: the application object, its error box, the window, the loop.
#include <functional>

namespace updater {

class TForm1;

// Runs the updater until its window closes; started, when given, sees the window once it shows.
int runUpdater(int& argc, char** argv, const std::function<void(TForm1&)>& started = {});

}  // namespace updater
