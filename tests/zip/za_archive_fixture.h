#pragma once
// Source trees, the archives other tools make of them, and the comparison
// of an extracted tree with its source.
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace zip {
class TZipArchiver;
}

namespace ziptest {

// Relative name -> content; names ending in "/" are folders.
using Tree = std::map<std::string, std::string>;

// A tree with text, incompressible bytes (several deflate blocks), an empty
// file, nested folders and an empty folder.
Tree sampleTree();
void writeTree(const std::filesystem::path& root, const Tree& tree);
// The tree found under root (folders with a trailing "/").
Tree readTree(const std::filesystem::path& root);
// The names whose presence or content differ, for a short failure message.
std::string treeDiff(const Tree& got, const Tree& want);
// Extracts every entry of the archive below base as the update installer
// does, each failure ignored; with cancelWhileCopying the first block of data
// cancels the operation. The number of failures reported.
int extractIgnoringFailures(const std::filesystem::path& archive, const std::filesystem::path& base,
                            bool cancelWhileCopying = false);
// Every tool that reads ZIP files (unzip, python's zipfile, 7-Zip) accepts the archive.
void expectSound(const std::string& archive, const std::string& password = "");
// In an update in force: each named file replaces the entry of its name, or is added.
void replaceOrAdd(zip::TZipArchiver& archiver, const std::vector<std::string>& names);
// Runs a shell command in folder; fails the test when it exits non-zero.
std::string runIn(const std::filesystem::path& folder, const std::string& command);

}  // namespace ziptest
