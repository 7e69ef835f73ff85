// Stores one file with our FTP client and prints the seconds it took.
// Usage: ftp_upload_driver HOST PORT USER PASSWORD FILE REMOTE [active]
#include "net/ftp_client.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  if (argc < 7) {
    std::fprintf(stderr, "usage: %s HOST PORT USER PASSWORD FILE REMOTE [active]\n", argv[0]);
    return 2;
  }
  net::FtpClient ftp;
  ftp.host = argv[1];
  ftp.port = std::atoi(argv[2]);
  ftp.username = argv[3];
  ftp.password = argv[4];
  ftp.passive = !(argc > 7 && std::string(argv[7]) == "active");
  ftp.readTimeoutMs = 60000;
  try {
    ftp.connect();
    auto start = std::chrono::steady_clock::now();
    ftp.store(argv[5], argv[6]);
    std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    std::printf("%.3f\n", took.count());
    ftp.disconnect();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  return 0;
}
