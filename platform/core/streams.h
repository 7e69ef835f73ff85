#pragma once
// The class library's 64-bit streams: a base with Read/Write/Seek, a file
// stream over a POSIX descriptor and a memory stream.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/core/posix_file.h"

namespace platform {

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

class TStream {
 public:
  virtual ~TStream() = default;
  // Read and Write return the bytes moved, which may be fewer than asked.
  virtual int64_t Read(void* buffer, int64_t count) = 0;
  virtual int64_t Write(const void* buffer, int64_t count) = 0;
  virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;
  virtual void SetSize(int64_t size) = 0;

  int64_t Position() { return Seek(0, TSeekOrigin::soCurrent); }
  void SetPosition(int64_t position) { Seek(position, TSeekOrigin::soBeginning); }
  virtual int64_t Size();

  // All or nothing: EReadError / EWriteError when fewer bytes move.
  void ReadBuffer(void* buffer, int64_t count);
  void WriteBuffer(const void* buffer, int64_t count);
  // Copies count bytes from source's position; count 0 copies the whole source from its start.
  int64_t CopyFrom(TStream& source, int64_t count);
};

// Open modes and share flags of the class library; combine one mode with one share flag.
enum : uint16_t {
  fmOpenRead = 0x0000,
  fmOpenWrite = 0x0001,
  fmOpenReadWrite = 0x0002,
  fmShareCompat = 0x0000,
  fmShareExclusive = 0x0010,
  fmShareDenyWrite = 0x0020,
  fmShareDenyRead = 0x0030,
  fmShareDenyNone = 0x0040,
  fmCreate = 0xFF00,
};

class TFileStream : public TStream {
 public:
  // fmCreate makes or empties the file (EFCreateError); any other mode opens
  // an existing file (EFOpenError). Linux has no mandatory sharing: the share
  // flags are accepted and left to the file system.
  TFileStream(const std::string& fileName, uint16_t mode);
  // Takes over a descriptor the caller opened (read and write) under that name.
  TFileStream(const std::string& fileName, FileDescriptor fd) : fileName_(fileName), fd_(std::move(fd)) {}
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  void SetSize(int64_t size) override;
  int64_t Size() override;  // one fstat, leaving the position alone
  // Pushes the written data to the medium.
  bool Flush();

  const std::string& FileName() const { return fileName_; }
  int Handle() const { return fd_.get(); }
  // The descriptor, kept open beyond the stream; the stream is done with.
  FileDescriptor Detach() { return std::move(fd_); }

 private:
  std::string fileName_;
  FileDescriptor fd_;
};

class TMemoryStream : public TStream {
 public:
  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  void SetSize(int64_t size) override;
  int64_t Size() override { return static_cast<int64_t>(data_.size()); }

  void Clear();
  const uint8_t* Memory() const { return data_.data(); }
  const std::vector<uint8_t>& Bytes() const { return data_; }
  void LoadFromFile(const std::string& fileName);
  void SaveToFile(const std::string& fileName) const;

 private:
  std::vector<uint8_t> data_;
  int64_t position_ = 0;
};

}  // namespace platform
