// The event log as text: one line of a file per line of the log, in UTF-8.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QStringList>

namespace telv {

// Appends a log line (UTF-8, without a line break) to text, followed by a line break. A line
// break inside the line (a server's text message may hold one) is written as "␤" and a carriage
// return as "␍", so that the file has exactly one line per log line and no line can pass for
// another.
void AppendTextLine(QByteArray& text, QByteArrayView line);

// The lines as the text of a file: each followed by a line break; nothing for no lines.
QByteArray LogText(const QStringList& lines);

}  // namespace telv
