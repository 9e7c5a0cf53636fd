// CornerText: outlined corner lines, laid out so that no two run into each other.
#include "platform/corner_text.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <algorithm>
#include <utility>
#include <vector>

namespace velmora {

namespace {

constexpr int MARGIN = 4;
const QColor FILL(255, 255, 220);
const QColor OUTLINE(0, 0, 0);

// The widths two lines facing each other on one row may take within `room`: both whole when they
// fit side by side, else the shorter whole when it needs at most half and the longer the rest,
// else half each.
std::pair<int, int> ShareRow(int left, int right, int room)
{
    if (left + right <= room)
        return { left, right };
    const int half = room / 2;
    if (left <= half)
        return { left, room - left };
    if (right <= half)
        return { room - right, right };
    return { half, room - half };
}

// The edge a pair of corners stands at: the top corners' first lines, the bottom corners' last.
enum class Edge : uint8_t { Top, Bottom };

// Which corner of a pair moves away from the edge when moving either takes as many rows.
enum class Moves : uint8_t { Right, Left };

// The lines of two facing corners, counted from the rectangle's edge (the top corners' first
// line, the bottom corners' last), in rows from that edge: row k holds left line k - leftShift
// and right line k - rightShift, where those exist.
struct Block {
    std::vector<const QString*> left, right;
    std::vector<int> leftWidths, rightWidths;
    int leftShift = 0, rightShift = 0;

    int Rows() const
    {
        return std::max(
            static_cast<int>(left.size()) + leftShift, static_cast<int>(right.size()) + rightShift);
    }
    const QString* LeftAt(int row) const { return At(left, row - leftShift); }
    const QString* RightAt(int row) const { return At(right, row - rightShift); }

    // Whether every row whose two lines both show text holds them side by side within `room`.
    bool Fits(int room) const
    {
        for (int row = 0; row < Rows(); ++row) {
            const int l = row - leftShift, r = row - rightShift;
            if (l >= 0 && l < static_cast<int>(left.size()) && r >= 0 && r < static_cast<int>(right.size())
                && leftWidths[l] > 0 && rightWidths[r] > 0 && leftWidths[l] + rightWidths[r] > room)
                return false;
        }
        return true;
    }

    // Moves one corner's lines away from the edge, by as few rows as keep every row's lines whole
    // within `rows` rows; leaves them as they are when no move does.
    void Arrange(int room, int rows, Moves preferred)
    {
        if (Fits(room))
            return;
        int bestRows = rows + 1, bestLeft = 0, bestRight = 0;
        const auto consider = [&](int leftBy, int rightBy) {
            leftShift = leftBy;
            rightShift = rightBy;
            if (Rows() < bestRows && Fits(room)) {
                bestRows = Rows();
                bestLeft = leftBy;
                bestRight = rightBy;
            }
        };
        // The preferred corner first: the other moves only when that takes fewer rows.
        const int most = static_cast<int>(std::max(left.size(), right.size()));
        for (const Moves moved : { preferred, preferred == Moves::Right ? Moves::Left : Moves::Right })
            for (int by = 1; by <= most; ++by)
                consider(moved == Moves::Left ? by : 0, moved == Moves::Right ? by : 0);
        leftShift = bestRows <= rows ? bestLeft : 0;
        rightShift = bestRows <= rows ? bestRight : 0;
    }

private:
    static const QString* At(const std::vector<const QString*>& lines, int k)
    {
        return k >= 0 && k < static_cast<int>(lines.size()) ? lines[k] : nullptr;
    }
};

class CornerPainter {
public:
    CornerPainter(QImage& target, const QRect& clip)
        : m_painter(&target)
        , m_clip(clip)
        , m_metrics(Font(clip))
    {
        m_painter.setClipRect(clip);
        m_painter.setFont(Font(clip));
    }

    int LineHeight() const { return m_metrics.height(); }
    int Width(const QString& line) const { return m_metrics.horizontalAdvance(line); }
    // The width a row's two lines may take together.
    int PairRoom() const { return std::max(m_clip.width() - 3 * MARGIN, 0); }

    // The pair of `corners` at `edge`, their first `kept` lines, counted from the edge.
    Block MakeBlock(const CornerStrings& corners, Edge edge, int kept) const
    {
        const bool fromLast = edge == Edge::Bottom;
        const size_t first = fromLast ? 2 : 0;
        Block block;
        const auto take
            = [&](const QStringList& lines, std::vector<const QString*>& out, std::vector<int>& widths) {
                  const int count = std::min(static_cast<int>(lines.size()), kept);
                  for (int k = 0; k < count; ++k) {
                      const QString& line = lines[fromLast ? count - 1 - k : k];
                      out.push_back(&line);
                      widths.push_back(Width(line));
                  }
              };
        take(corners[first], block.left, block.leftWidths);
        take(corners[first + 1], block.right, block.rightWidths);
        return block;
    }

    // One row: `left` from the left edge, `right` to the right edge (either may be null), each cut
    // short with an ellipsis where the two would meet or run out of the rectangle.
    void Row(const QString* left, const QString* right, int top)
    {
        const int leftWidth = left ? Width(*left) : 0;
        const int rightWidth = right ? Width(*right) : 0;
        const int room = m_clip.width() - (left && right ? 3 : 2) * MARGIN;
        const auto [leftRoom, rightRoom] = ShareRow(leftWidth, rightWidth, std::max(room, 0));
        const int baseline = top + m_metrics.ascent();
        if (left)
            Draw(Fitted(*left, leftWidth, leftRoom), m_clip.left() + MARGIN, baseline);
        if (right) {
            const QString shown = Fitted(*right, rightWidth, rightRoom);
            Draw(shown, m_clip.right() + 1 - MARGIN - Width(shown), baseline);
        }
    }

private:
    static QFont Font(const QRect& clip)
    {
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPixelSize(CornerTextHeight(clip.height()));
        return font;
    }

    // `line` (`width` pixels wide) cut short to `room`: after its last whole word that fits with
    // the ellipsis, or within its first word when not even that fits. Only a line that does not
    // fit is cut: the advance is rounded, and elidedText would cut a line that fits to the last
    // pixel.
    QString Fitted(const QString& line, int width, int room) const
    {
        if (width <= room)
            return line;
        const QString ellipsis(QChar(0x2026));
        for (qsizetype space = line.lastIndexOf(' '); space > 0; space = line.lastIndexOf(' ', space - 1)) {
            QString words = line.left(space);
            while (!words.isEmpty() && (words.back() == ' ' || words.back() == ','))
                words.chop(1);
            if (!words.isEmpty() && Width(words + ellipsis) <= room)
                return words + ellipsis;
        }
        return m_metrics.elidedText(line, Qt::ElideRight, room);
    }

    void Draw(const QString& line, int x, int baseline)
    {
        if (line.isEmpty())
            return;
        // The outline: the text in the dark colour one pixel off in every direction.
        m_painter.setPen(OUTLINE);
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx)
                if (dx != 0 || dy != 0)
                    m_painter.drawText(x + dx, baseline + dy, line);
        m_painter.setPen(FILL);
        m_painter.drawText(x, baseline, line);
    }

    QPainter m_painter;
    QRect m_clip;
    QFontMetrics m_metrics;
};

} // namespace

int CornerTextHeight(int height)
{
    return std::clamp(height / 40, 11, 16);
}

void DrawCornerText(QImage& target, const QRect& area, const CornerStrings& corners)
{
    const QRect clip = area.intersected(target.rect());
    if (clip.isEmpty())
        return;
    CornerPainter painter(target, clip);
    const int lineHeight = painter.LineHeight();
    // The rows that fit: the top corners keep their first lines, the bottom corners theirs, and
    // neither runs into the other (in a small tile the later lines go).
    const int rows = std::max(0, (clip.height() - 2 * MARGIN) / lineHeight);
    const int topRows = static_cast<int>(std::max(corners[0].size(), corners[1].size()));
    const int bottomRows = static_cast<int>(std::max(corners[2].size(), corners[3].size()));
    int bottomKept = std::min(bottomRows, rows / 2);
    const int topKept = std::min(topRows, rows - bottomKept);
    bottomKept = std::min(bottomRows, rows - topKept);

    // Facing lines too long to share a row take rows of their own rather than being cut short,
    // where the rows to spare allow: each corner pair within its half of the height but two rows,
    // so the middle of the image stays clear. The patient's name keeps the top-left corner, the
    // window the bottom-right.
    const int pairRows = (rows - 2) / 2;
    Block top = painter.MakeBlock(corners, Edge::Top, topKept);
    top.Arrange(painter.PairRoom(), std::min(std::max(topKept, pairRows), rows - bottomKept), Moves::Right);
    Block bottom = painter.MakeBlock(corners, Edge::Bottom, bottomKept);
    bottom.Arrange(
        painter.PairRoom(), std::min(std::max(bottomKept, pairRows), rows - top.Rows()), Moves::Left);

    for (int k = 0; k < top.Rows(); ++k)
        painter.Row(top.LeftAt(k), top.RightAt(k), clip.top() + MARGIN + k * lineHeight);
    for (int k = 0; k < bottom.Rows(); ++k)
        painter.Row(bottom.LeftAt(k), bottom.RightAt(k), clip.bottom() + 1 - MARGIN - (k + 1) * lineHeight);
}

} // namespace velmora
