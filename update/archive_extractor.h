#pragma once
// The one road from the updater to the ZIP archive component: extract every entry of an archive
// below a folder, reporting each file's progress as a percentage.
#include <QString>
#include <functional>

namespace updater {

// fileName, progress (0 to 100), cancel (left as it comes to go on).
using FileProgress = std::function<void(const QString& fileName, double progress, bool& cancel)>;
// Raises when the archive cannot be opened.
using ArchiveExtractor = std::function<void(const QString& archive, const QString& baseDir, const FileProgress& progress)>;

}  // namespace updater
