#pragma once
// A desktop of a test's own: an X server (Xvfb) on a free display with a window manager
// (openbox), where real programs are shown and driven with xdotool as a user's keyboard and
// mouse drive them.
#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

namespace testsupport {

struct XRect {
  int x = 0, y = 0, width = 0, height = 0;
};

class XDesktop {
 public:
  // The tools the desktop needs that are not installed, empty when all are: a test skips then.
  static std::string missingTools();

  XDesktop();
  ~XDesktop();
  XDesktop(const XDesktop&) = delete;
  XDesktop& operator=(const XDesktop&) = delete;

  // False when the server or the window manager did not come up (the reason in failure()).
  bool ready() const { return ready_; }
  const std::string& failure() const { return failure_; }
  // What a program needs in its environment ("NAME=value") to show its windows here.
  std::vector<std::string> env() const;

  // Runs xdotool with these arguments; its output without the last line break.
  std::string xdotool(const std::vector<std::string>& args) const;
  // Keys as xdotool names them ("Escape", "alt+n"), to the window that has the keyboard.
  void key(const std::string& keys) const;
  // The window that has the keyboard focus; 0 when none.
  unsigned long activeWindow() const;
  std::string windowName(unsigned long window) const;
  // The mapped windows of that exact name.
  std::vector<unsigned long> windowsNamed(const std::string& name) const;
  // The managed windows from the bottom of the stack to its top.
  std::vector<unsigned long> stacking() const;
  // The window's inside, in screen coordinates, and the screen's size.
  XRect geometry(unsigned long window) const;
  XRect screen() const;
  // A click on the close button of the window's title bar.
  void clickCloseButton(unsigned long window) const;

 private:
  pid_t server_ = -1;
  pid_t manager_ = -1;
  int display_ = -1;
  bool ready_ = false;
  std::string failure_;
};

// Asks done() every 50 ms until it holds or timeoutMs has passed; its last answer.
bool waitUntil(const std::function<bool()>& done, int timeoutMs);

}  // namespace testsupport
