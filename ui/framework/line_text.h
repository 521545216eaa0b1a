#pragma once

// A long text kept exactly as it was given, with the place where each of
// its lines begins, so that any line is found in constant time however many
// there are. CR LF, a lone CR and a lone LF each end a line; a text of n
// line ends has n + 1 lines, the last of them possibly empty. Appending
// takes time linear in what is appended, however long the text is already,
// including a CR that ends one piece and an LF that begins the next, which
// are one line end.

#include <QString>
#include <QStringView>

#include <deque>

namespace korvane::ui {

class LineText {
public:
    void clear();
    void append(QStringView piece);
    // Room for `chars` characters in all, so that a text known to grow that
    // far is never moved while it does: moving a large text at once would
    // hold up the thread that appends.
    void reserve(qsizetype chars) { text_.reserve(chars); }

    // The text as given, line ends and all.
    const QString& text() const { return text_; }
    qsizetype size() const { return text_.size(); }

    qsizetype lineCount() const { return static_cast<qsizetype>(starts_.size()); }
    // Where line `line` begins, and where it ends before its line end.
    qsizetype lineStart(qsizetype line) const { return starts_[static_cast<std::size_t>(line)]; }
    qsizetype lineEnd(qsizetype line) const;
    QStringView line(qsizetype line) const;
    // A line as a box draws it: each control character as its picture
    // (U+2400 on; separators and C1 controls as U+FFFD), one for one, so
    // that positions in the line and in the drawing agree and no name can
    // hide what follows it.
    QString shownLine(qsizetype line) const;
    // The line that `position` (0 to size()) lies on; a position within a
    // line end belongs to the line it ends.
    qsizetype lineOf(qsizetype position) const;

    // The line with the most characters, the first of them where several
    // have as many; 0 for an empty text.
    qsizetype longestLine() const { return longest_; }

private:
    // The text grows in place (a large block is moved, not copied); the
    // starts are kept in blocks of their own, so that a million lines more
    // never copy the millions before them.
    QString text_;
    std::deque<qsizetype> starts_{0};
    qsizetype longest_ = 0;
};

} // namespace korvane::ui
