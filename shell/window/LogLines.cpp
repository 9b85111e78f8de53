#include "LogLines.h"

#include <algorithm>
#include <iterator>

namespace telv {

LogLines::LogLines(int maxLines, qsizetype maxBytes)
    : maxLines_(std::max(maxLines, 1)), maxBytes_(std::max<qsizetype>(maxBytes, 1)) {}

QByteArray LogLines::CutAtCharacter(const QByteArray& line, qsizetype maxBytes) {
    if (line.size() <= maxBytes) return line;
    qsizetype end = std::max<qsizetype>(maxBytes, 0);
    // The byte at end is the first one left out: when it continues a sequence, the sequence goes too.
    while (end > 0 && (static_cast<unsigned char>(line[end]) & 0xC0) == 0x80) --end;
    return line.left(end);
}

QString LogLines::ShownText(const QByteArray& line, qsizetype maxBytes) {
    if (line.size() <= maxBytes) return QString::fromUtf8(line);
    const QByteArray shown = CutAtCharacter(line, maxBytes);
    return QString::fromUtf8(shown) + QStringLiteral("… (+%1 байт)").arg(line.size() - shown.size());
}

int LogLines::Append(std::vector<QByteArray> lines) {
    for (QByteArray& line : lines)
        if (line.size() > maxBytes_) line = CutAtCharacter(line, maxBytes_);
    // The newest added lines that fit the bounds on their own.
    std::size_t first = lines.size();
    qsizetype addedBytes = 0;
    while (first > 0 && lines.size() - first < static_cast<std::size_t>(maxLines_) &&
           addedBytes + lines[first - 1].size() <= maxBytes_) {
        --first;
        addedBytes += lines[first].size();
    }
    const auto adding = static_cast<int>(lines.size() - first);
    if (adding == 0) return 0;

    // The oldest kept lines that make room for them.
    int dropped = 0;
    while (dropped < Count() && (Count() - dropped + adding > maxLines_ || bytes_ + addedBytes > maxBytes_)) {
        bytes_ -= lines_[static_cast<std::size_t>(dropped)].size();
        ++dropped;
    }
    lines_.erase(lines_.begin(), lines_.begin() + dropped);
    lines_.insert(lines_.end(), std::make_move_iterator(lines.begin() + static_cast<std::ptrdiff_t>(first)),
                  std::make_move_iterator(lines.end()));
    bytes_ += addedBytes;
    return dropped;
}

void LogLines::Clear() {
    lines_.clear();
    bytes_ = 0;
}

QString LogLines::Line(int row) const {
    if (row < 0 || row >= Count()) return {};
    return QString::fromUtf8(lines_[static_cast<std::size_t>(row)]);
}

QStringList LogLines::Lines() const {
    QStringList all;
    all.reserve(Count());
    for (const QByteArray& line : lines_) all.append(QString::fromUtf8(line));
    return all;
}

QString LogLines::Shown(int row) const {
    if (row < 0 || row >= Count()) return {};
    return ShownText(lines_[static_cast<std::size_t>(row)]);
}

}  // namespace telv
