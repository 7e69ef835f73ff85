#include "support/python_zip.h"

#include "support/run_command.h"

#include <sstream>
#include <stdexcept>

namespace testsupport {

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
        sys.stdout.buffer.write(name + ('\t%s\t%d\t%d\t%d\t%s\t%d\t%s\n' % (i.filename, i.file_size, i.compress_type, i.flag_bits & 1, d, zlib.crc32(data), data.hex())).encode())
)";

const char* kEntry = R"(
import sys, zipfile
pwd = sys.argv[3].encode() if len(sys.argv) > 3 else None
sys.stdout.buffer.write(zipfile.ZipFile(sys.argv[1]).read(sys.argv[2], pwd=pwd))
)";

const char* kNames = R"(
import sys, zipfile
for i in zipfile.ZipFile(sys.argv[1]).infolist():
    sys.stdout.buffer.write(i.filename.encode('utf-8' if i.flag_bits & 0x800 else 'cp437') + b'\n')
)";

// Runs script with the archive, then the other arguments, then the password when there is one.
std::string runPython(const char* script, const std::string& archive, std::vector<std::string> more,
                      const std::string& password) {
  if (!password.empty()) more.push_back(password);
  std::string command = "/usr/bin/python3 -c " + shellQuote(script) + " " + shellQuote(archive);
  for (const std::string& arg : more) command += " " + shellQuote(arg);
  CommandResult r = runCommand(command);
  if (r.status != 0) throw std::runtime_error("python zipfile cannot read " + archive);
  return r.out;
}

std::string fromHex(const std::string& hex) {
  std::string bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
    bytes.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return bytes;
}

}  // namespace

std::map<std::string, PythonZipEntry> readWithPython(const std::string& archive, const std::string& password) {
  std::map<std::string, PythonZipEntry> entries;
  std::istringstream lines(runPython(kReader, archive, {}, password));
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string stored, name, size, method, encrypted, date, crc, hex;
    std::getline(fields, stored, '\t');
    std::getline(fields, name, '\t');
    std::getline(fields, size, '\t');
    std::getline(fields, method, '\t');
    std::getline(fields, encrypted, '\t');
    std::getline(fields, date, '\t');
    std::getline(fields, crc, '\t');
    std::getline(fields, hex, '\t');
    entries[stored] = PythonZipEntry{name,
                                     std::stoull(size),
                                     std::stoi(method),
                                     encrypted == "1",
                                     date,
                                     static_cast<std::uint32_t>(std::stoul(crc)),
                                     fromHex(hex)};
  }
  return entries;
}

std::string readEntryWithPython(const std::string& archive, const std::string& name, const std::string& password) {
  return runPython(kEntry, archive, {name}, password);
}

std::vector<std::string> namesInOrder(const std::string& archive) {
  std::vector<std::string> names;
  std::istringstream lines(runPython(kNames, archive, {}, ""));
  for (std::string line; std::getline(lines, line);) names.push_back(line);
  return names;
}

}  // namespace testsupport
