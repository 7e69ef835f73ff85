#include <cstdio>
#include <string>

#include "zip/archiver/za_archiver_impl.h"
#include "zip/za_archiver.h"
#include "zip/names/za_path_parts.h"

namespace zip {

namespace {

struct NameParts {
  std::string path, base, ext;
};

NameParts split(const std::string& name) {
  const size_t slash = name.rfind('/');
  const size_t fileStart = slash == std::string::npos ? 0 : slash + 1;
  const size_t dot = name.rfind('.');
  NameParts p;
  p.path = name.substr(0, fileStart);
  if (dot == std::string::npos || dot < fileStart) {
    p.base = name.substr(fileStart);
  } else {
    p.base = name.substr(fileStart, dot - fileStart);
    p.ext = name.substr(dot);
  }
  return p;
}

std::string number(const char* format, int32_t value) {
  char buf[16];
  std::snprintf(buf, sizeof buf, format, value);
  return buf;
}

}  // namespace

bool TZABaseArchiver::Impl::HasExeExtension(const std::string& name) {
  return ZALowerAscii(split(name).ext).find(".exe") != std::string::npos;
}

bool TZABaseArchiver::Impl::isSelfExtracting(const std::string& name) const {
  return (dirManager_ && dirManager_->StubSize > 0) || !a_.SFXStub.empty() || HasExeExtension(name);
}

void TZABaseArchiver::GetVolumeFileName(std::string& name, int32_t index, bool checkExists) {
  impl_->GetVolumeFileName(name, index, checkExists);
}

void TZABaseArchiver::Impl::GetVolumeFileName(std::string& name, int32_t index, bool checkExists) {
  const NameParts p = split(name);
  const bool sfx = isSelfExtracting(name);
  const std::string nnn = number("%.3u", index + 1);
  const bool highMethod = compressionMethod_ >= 252;
  std::string out = name;
  if (spanningMode_ == smSpanning && index >= 0) {
    const std::string e = sfx ? ".exe" : p.ext;
    const std::string numbered = p.path + p.base + "_" + nnn + e;
    const std::string plain = p.path + p.base + e;
    out = a_.SpanningOptions().AdvancedNaming ? numbered : plain;
    if (checkExists && !ZAFileExists(out)) {
      const std::string other = out == numbered ? plain : numbered;
      if (ZAFileExists(other)) out = other;
    }
  } else if (spanningMode_ == smSplitting && index == 0 && sfx) {
    out = p.path + p.base + ".exe";
  } else if (spanningMode_ == smSplitting && index >= 0) {
    out = a_.SpanningOptions().AdvancedNaming
              ? p.path + p.base + "_" + nnn + p.ext
              : p.path + p.base + (highMethod ? ".F" : ".Z") + number("%.2d", index + 1);
  } else if (spanningMode_ == smSplitting && index == -1 && sfx) {
    out = p.path + p.base + (highMethod ? ".ZA" : ".ZIP");
  }
  // Info-ZIP writes these extensions in lower case ("data.z01"), and Linux
  // names differ by case: an existing lower-case volume is taken.
  if (spanningMode_ == smSplitting && out != name && !ZAFileExists(out)) {
    const NameParts o = split(out);
    const std::string lowered = o.path + o.base + ZALowerAscii(o.ext);
    if (ZAFileExists(lowered)) out = lowered;
  }
  name = out;
}

std::string TZABaseArchiver::Impl::LastVolumeFileName() {
  std::string own = a_.FileName;
  a_.GetVolumeFileName(own, -1, false);
  return own;
}

int64_t TZABaseArchiver::Impl::FirstVolumeLimit() const {
  TZAVolumeNumberInfo first;
  first.SetFirstVolume(true);
  return spanningOptions_->GetVolumeSizeBytes(first);
}

std::string TZABaseArchiver::Impl::spanningLabel(int32_t volumeNumber) {
  return "pkback# " + number("%.3d", volumeNumber + 1);
}

}  // namespace zip
