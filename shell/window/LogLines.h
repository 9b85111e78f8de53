// The lines of the event log, bounded by a number of lines and a number of bytes: adding lines
// drops the oldest ones beyond either bound. Every line is kept whole (UTF-8), up to the byte
// bound; a line is shown cut at kMaxShownLineBytes with a mark that says how many bytes were
// left out.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <deque>
#include <vector>

namespace telv {

class LogLines {
public:
    static constexpr qsizetype kMaxShownLineBytes = 4096;

    LogLines(int maxLines, qsizetype maxBytes);

    // Adds lines after the last one, dropping the oldest lines beyond the bounds, the added ones
    // included; a line longer than the byte bound is cut to it. Returns how many lines went from
    // the front of those kept before.
    int Append(std::vector<QByteArray> lines);
    void Clear();

    int Count() const { return static_cast<int>(lines_.size()); }
    int MaxLines() const { return maxLines_; }
    qsizetype MaxBytes() const { return maxBytes_; }
    qsizetype Bytes() const { return bytes_; }
    // A kept line, whole; all of them.
    QString Line(int row) const;
    QStringList Lines() const;
    // A kept line as the pane shows it.
    QString Shown(int row) const;

    // A line as a row shows it: whole up to maxBytes, else cut there on a character boundary
    // and followed by "… (+N байт)".
    static QString ShownText(const QByteArray& line, qsizetype maxBytes = kMaxShownLineBytes);
    // line cut to at most maxBytes, never inside a UTF-8 sequence.
    static QByteArray CutAtCharacter(const QByteArray& line, qsizetype maxBytes);

private:
    int maxLines_;
    qsizetype maxBytes_;
    std::deque<QByteArray> lines_;
    qsizetype bytes_ = 0;
};

}  // namespace telv
