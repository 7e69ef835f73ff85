#include "archive_check.h"

#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace archivecheck {

namespace {

const char* kReader = R"(
import sys, zipfile, zlib
pwd = sys.argv[2].encode() if len(sys.argv) > 2 else None
with zipfile.ZipFile(sys.argv[1]) as z:
    if pwd:
        z.setpassword(pwd)
    if z.testzip() is not None:
        raise SystemExit('bad entry')
    for i in z.infolist():
        data = z.read(i, pwd=pwd)
        d = '%04d-%02d-%02d %02d:%02d:%02d' % i.date_time
        # The name's stored bytes: zipfile reads a name without the UTF-8 flag as code page 437.
        name = i.filename.encode('utf-8' if i.flag_bits & 0x800 else 'cp437')
        sys.stdout.buffer.write(name + ('\t%d\t%d\t%d\t%s\t%d\n' % (i.file_size, i.compress_type, i.flag_bits & 1, d, zlib.crc32(data))).encode())
)";

// Runs argv, returns its exit status and standard output.
int run(const std::vector<std::string>& args, std::string* out) {
  int pipefd[2];
  if (pipe(pipefd) != 0) throw std::runtime_error("pipe");
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(pipefd[1], 1);
    close(pipefd[0]);
    close(pipefd[1]);
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(pipefd[1]);
  char buf[4096];
  ssize_t n;
  while ((n = read(pipefd[0], buf, sizeof buf)) > 0)
    if (out) out->append(buf, static_cast<std::size_t>(n));
  close(pipefd[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

std::map<std::string, Entry> readWithPython(const std::string& archive, const std::string& password) {
  std::vector<std::string> args{"/usr/bin/python3", "-c", kReader, archive};
  if (!password.empty()) args.push_back(password);
  std::string out;
  if (run(args, &out) != 0) throw std::runtime_error("python zipfile cannot read " + archive);
  std::map<std::string, Entry> entries;
  std::istringstream lines(out);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string name, size, method, encrypted, date, crc;
    std::getline(fields, name, '\t');
    std::getline(fields, size, '\t');
    std::getline(fields, method, '\t');
    std::getline(fields, encrypted, '\t');
    std::getline(fields, date, '\t');
    std::getline(fields, crc, '\t');
    entries[name] = Entry{std::stoull(size), std::stoi(method), encrypted == "1", date,
                          static_cast<std::uint32_t>(std::stoul(crc))};
  }
  return entries;
}

std::vector<std::string> namesInOrder(const std::string& archive) {
  std::string out;
  const char* script = "import sys, zipfile\n"
                       "for i in zipfile.ZipFile(sys.argv[1]).infolist():\n"
                       "    sys.stdout.buffer.write(i.filename.encode('utf-8' if i.flag_bits & 0x800 else 'cp437') + b'\\n')\n";
  if (run({"/usr/bin/python3", "-c", script, archive}, &out) != 0) throw std::runtime_error("python zipfile cannot read " + archive);
  std::vector<std::string> names;
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);) names.push_back(line);
  return names;
}

int unzipTest(const std::string& archive, const std::string& password) {
  std::vector<std::string> args{"/usr/bin/unzip", "-tqq"};
  if (!password.empty()) {
    args.push_back("-P");
    args.push_back(password);
  }
  args.push_back(archive);
  std::string ignored;
  return run(args, &ignored);
}

int sevenZipTest(const std::string& archive, const std::string& password) {
  // An empty -p answers 7z's password question instead of waiting for one.
  std::vector<std::string> args{"/usr/bin/7z", "t", "-bd", "-p" + password, archive};
  std::string ignored;
  return run(args, &ignored);
}

std::uint32_t crcOf(const std::string& data) {
  return static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

}  // namespace archivecheck
