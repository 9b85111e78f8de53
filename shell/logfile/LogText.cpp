#include "LogText.h"

namespace telv {

void AppendTextLine(QByteArray& text, QByteArrayView line) {
    if (!line.contains('\n') && !line.contains('\r')) {
        text.append(line).append('\n');
        return;
    }
    for (const char c : line) {
        if (c == '\n')
            text.append("\u2424");
        else if (c == '\r')
            text.append("\u240D");
        else
            text.append(c);
    }
    text.append('\n');
}

QByteArray LogText(const QStringList& lines) {
    QByteArray text;
    for (const QString& line : lines) AppendTextLine(text, line.toUtf8());
    return text;
}

}  // namespace telv
