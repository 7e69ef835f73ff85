#pragma once
#include <QString>

namespace backup {

// Field cutter of backup folder entries: the text before the (n-1)th separator, counted from
// the start, is field n. Text after the last separator is never a result, so readers append one
// separator to the line and ask n = 2, 3, 4 for its three fields. Empty when there is no such field.
QString SplitField(const QString& text, QChar separator, int n);

}  // namespace backup
