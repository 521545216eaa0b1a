#include "ui/framework/line_text.h"

#include <algorithm>

namespace korvane::ui {

void LineText::clear()
{
    text_.clear();
    starts_.assign(1, 0);
    longest_ = 0;
}

void LineText::append(QStringView piece)
{
    if (piece.isEmpty())
        return;
    const qsizetype from = text_.size();
    const qsizetype firstChanged = lineCount() - 1;
    text_.append(piece);
    const char16_t* chars = piece.utf16();
    for (qsizetype k = 0; k < piece.size(); ++k) {
        const qsizetype next = from + k + 1;
        if (chars[k] == u'\r') {
            starts_.push_back(next);
        } else if (chars[k] == u'\n') {
            // After a CR the line already began here: the two are one line end.
            if (starts_.back() == next - 1 && next >= 2 && text_[next - 2] == u'\r')
                starts_.back() = next;
            else
                starts_.push_back(next);
        }
    }
    const qsizetype longestLength = lineEnd(longest_) - lineStart(longest_);
    qsizetype best = longestLength;
    for (qsizetype line = firstChanged; line < lineCount(); ++line) {
        const qsizetype length = lineEnd(line) - lineStart(line);
        if (length > best) {
            best = length;
            longest_ = line;
        }
    }
}

qsizetype LineText::lineEnd(qsizetype line) const
{
    if (line + 1 >= lineCount())
        return text_.size();
    const qsizetype next = lineStart(line + 1);
    if (text_[next - 1] == u'\n' && next - 2 >= lineStart(line) && text_[next - 2] == u'\r')
        return next - 2;
    return next - 1;
}

QStringView LineText::line(qsizetype line) const
{
    const qsizetype start = lineStart(line);
    return QStringView(text_).mid(start, lineEnd(line) - start);
}

QString LineText::shownLine(qsizetype line) const
{
    QString text = this->line(line).toString();
    for (QChar& c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20)
            c = QChar(static_cast<char16_t>(0x2400 + u));
        else if (u == 0x7F)
            c = QChar(static_cast<char16_t>(0x2421));
        else if ((u >= 0x80 && u < 0xA0) || u == 0x2028 || u == 0x2029)
            c = QChar(QChar::ReplacementCharacter);
    }
    return text;
}

qsizetype LineText::lineOf(qsizetype position) const
{
    const auto after = std::upper_bound(starts_.begin(), starts_.end(), position);
    return std::max<qsizetype>(0, static_cast<qsizetype>(after - starts_.begin()) - 1);
}

} // namespace korvane::ui
