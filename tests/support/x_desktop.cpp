#include "support/x_desktop.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <thread>

#include "support/run_command.h"

namespace testsupport {

namespace {

// Display numbers of the tests' own, away from the desktops people and other tools use.
constexpr int firstDisplay = 420;
constexpr int lastDisplay = 429;

bool onPath(const std::string& tool) {
  return runCommand("command -v " + shellQuote(tool) + " >/dev/null 2>&1").status == 0;
}

// Runs args with DISPLAY set (when given), quiet, holding none of the test's descriptors but keep.
pid_t spawn(const std::vector<std::string>& args, const std::string& display, int keep = -1) {
  const pid_t pid = fork();
  if (pid != 0) return pid;
  const int null = open("/dev/null", O_RDWR);
  dup2(null, 0);
  dup2(null, 1);
  dup2(null, 2);
  // A pipe of another child held here would never see its end.
  for (int fd = 3; fd < 1024; ++fd)
    if (fd != keep) close(fd);
  if (!display.empty()) setenv("DISPLAY", display.c_str(), 1);
  std::vector<char*> argv;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  execvp(argv[0], argv.data());
  _exit(127);
}

void end(pid_t& pid) {
  if (pid <= 0) return;
  kill(pid, SIGTERM);
  for (int i = 0; i < 100; ++i) {
    if (waitpid(pid, nullptr, WNOHANG) == pid) {
      pid = -1;
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  pid = -1;
}

std::string trimmed(std::string s) {
  while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
  return s;
}

}  // namespace

bool waitUntil(const std::function<bool()>& done, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    if (done()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

std::string XDesktop::missingTools() {
  std::string missing;
  for (const char* tool : {"Xvfb", "openbox", "xdotool", "xprop", "xwininfo"}) {
    if (!onPath(tool)) missing += std::string(missing.empty() ? "" : ", ") + tool;
  }
  return missing;
}

XDesktop::XDesktop() {
  for (int n = firstDisplay; n <= lastDisplay && !ready_; ++n) {
    if (std::filesystem::exists("/tmp/.X" + std::to_string(n) + "-lock")) continue;
    // The server writes its display number on this pipe once it takes connections; a number
    // another server took meanwhile makes it end at once, and the next one is tried.
    int fds[2];
    if (pipe(fds) != 0) break;
    fcntl(fds[0], F_SETFD, FD_CLOEXEC);
    server_ = spawn({"Xvfb", ":" + std::to_string(n), "-screen", "0", "1280x1024x24", "-nolisten", "tcp",
                     "-displayfd", std::to_string(fds[1])},
                    "", fds[1]);
    close(fds[1]);
    pollfd p{fds[0], POLLIN, 0};
    char buf[16] = {};
    const bool serving = poll(&p, 1, 10000) > 0 && read(fds[0], buf, sizeof buf - 1) > 0;
    close(fds[0]);
    if (!serving) {
      failure_ = "no X server could be started on displays :420 to :429";
      end(server_);
      continue;
    }
    display_ = n;
    manager_ = spawn({"openbox"}, ":" + std::to_string(n));
    // A window manager announces itself on the root window.
    const std::string check =
        "DISPLAY=:" + std::to_string(n) + " xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'";
    ready_ = waitUntil([&] { return runCommand(check).status == 0; }, 10000);
    if (!ready_) {
      failure_ = "the window manager did not start on :" + std::to_string(n);
      end(manager_);
      end(server_);
    }
  }
}

XDesktop::~XDesktop() {
  end(manager_);
  end(server_);
}

std::vector<std::string> XDesktop::env() const {
  return {"DISPLAY=:" + std::to_string(display_), "QT_QPA_PLATFORM=xcb"};
}

std::string XDesktop::xdotool(const std::vector<std::string>& args) const {
  std::string command = "DISPLAY=:" + std::to_string(display_) + " xdotool";
  for (const auto& a : args) command += " " + shellQuote(a);
  return trimmed(runCommand(command + " 2>/dev/null").out);
}

void XDesktop::key(const std::string& keys) const { xdotool({"key", keys}); }

unsigned long XDesktop::activeWindow() const {
  return std::strtoul(xdotool({"getwindowfocus", "-f"}).c_str(), nullptr, 10);
}

std::string XDesktop::windowName(unsigned long window) const {
  return xdotool({"getwindowname", std::to_string(window)});
}

std::vector<unsigned long> XDesktop::windowsNamed(const std::string& name) const {
  std::string pattern = "^";
  for (char c : name) pattern += (std::string(".[]()*+?{}|^$\\").find(c) != std::string::npos ? "\\" : "") + std::string(1, c);
  std::istringstream ids(xdotool({"search", "--onlyvisible", "--name", pattern + "$"}));
  std::vector<unsigned long> out;
  for (unsigned long id; ids >> id;) out.push_back(id);
  return out;
}

std::vector<unsigned long> XDesktop::stacking() const {
  const std::string out = runCommand("DISPLAY=:" + std::to_string(display_) +
                                     " xprop -root _NET_CLIENT_LIST_STACKING 2>/dev/null")
                              .out;
  std::vector<unsigned long> ids;
  for (auto at = out.find("0x"); at != std::string::npos; at = out.find("0x", at + 2))
    ids.push_back(std::strtoul(out.c_str() + at, nullptr, 16));
  return ids;
}

XRect XDesktop::geometry(unsigned long window) const {
  // xwininfo, not xdotool: xdotool counts the frame's border twice for a reparented window.
  std::istringstream lines(runCommand("DISPLAY=:" + std::to_string(display_) + " xwininfo -id " +
                                      std::to_string(window) + " 2>/dev/null")
                               .out);
  XRect r;
  for (std::string line; std::getline(lines, line);) {
    const auto colon = line.find(':');
    if (colon == std::string::npos) continue;
    const std::string name = line.substr(0, colon);
    const int value = std::atoi(line.c_str() + colon + 1);
    if (name == "  Absolute upper-left X") r.x = value;
    else if (name == "  Absolute upper-left Y") r.y = value;
    else if (name == "  Width") r.width = value;
    else if (name == "  Height") r.height = value;
  }
  return r;
}

XRect XDesktop::screen() const {
  std::istringstream size(xdotool({"getdisplaygeometry"}));
  XRect r;
  size >> r.width >> r.height;
  return r;
}

void XDesktop::clickCloseButton(unsigned long window) const {
  // The frame's borders (left, right, top, bottom) as the window manager drew them; the close
  // button ends the title bar on the right.
  const CommandResult extents = runCommand("DISPLAY=:" + std::to_string(display_) + " xprop -id " +
                                           std::to_string(window) + " _NET_FRAME_EXTENTS 2>/dev/null");
  int left = 0, right = 0, top = 0, bottom = 0;
  const auto eq = extents.out.find('=');
  if (eq != std::string::npos) {
    std::string values = extents.out.substr(eq + 1);
    for (char& c : values)
      if (c == ',') c = ' ';
    std::istringstream(values) >> left >> right >> top >> bottom;
  }
  const XRect inside = geometry(window);
  const int x = inside.x + inside.width + right - top / 2;
  const int y = inside.y - top / 2;
  xdotool({"mousemove", std::to_string(x), std::to_string(y)});
  xdotool({"click", "1"});
}

}  // namespace testsupport
