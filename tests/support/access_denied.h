#pragma once
// While it lives, the calling thread (and the threads it starts) obeys file permissions even
// as root: the capabilities that override them are taken out of its effective set.
namespace testsupport {

class AccessDenied {
 public:
  AccessDenied();
  ~AccessDenied();
  AccessDenied(const AccessDenied&) = delete;
  AccessDenied& operator=(const AccessDenied&) = delete;
  // Whether a file of mode 000 really cannot be opened now.
  bool works() const { return works_; }

 private:
  bool dropped_ = false;
  bool works_ = false;
  unsigned saved_[2] = {0, 0};
};

}  // namespace testsupport
