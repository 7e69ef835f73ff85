#pragma once
// The archive's settings that steer how its directory is read and written,
// read anew each time, as they may change while the archive is open.
#include <cstdint>
#include <string>

namespace zip {

class TZADirSettings {
 public:
  virtual ~TZADirSettings() = default;

  // The component's name, put in front of error messages.
  virtual const std::string& ComponentName() const = 0;
  virtual bool MultiVolume() const = 0;
  virtual bool OEMFileNames() const = 0;
  virtual bool AcceptsDamaged() const = 0;
  // The self-extracting stub a new archive starts with; empty for none.
  virtual const std::string& StubFileName() const = 0;
  // The size the first volume may take; -1 without a limit.
  virtual int64_t FirstVolumeLimit() const = 0;
};

}  // namespace zip
