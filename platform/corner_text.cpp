// CornerText: outlined corner lines.
#include "platform/corner_text.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <algorithm>
#include <utility>

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

    // One row: `left` from the left edge, `right` to the right edge (either may be null), each cut
    // short with "..." where the two would meet or run out of the rectangle.
    void Row(const QString* left, const QString* right, int top)
    {
        const int leftWidth = left ? m_metrics.horizontalAdvance(*left) : 0;
        const int rightWidth = right ? m_metrics.horizontalAdvance(*right) : 0;
        const int room = m_clip.width() - (left && right ? 3 : 2) * MARGIN;
        const auto [leftRoom, rightRoom] = ShareRow(leftWidth, rightWidth, std::max(room, 0));
        const int baseline = top + m_metrics.ascent();
        if (left)
            Draw(Fitted(*left, leftWidth, leftRoom), m_clip.left() + MARGIN, baseline);
        if (right) {
            const QString shown = Fitted(*right, rightWidth, rightRoom);
            Draw(shown, m_clip.right() + 1 - MARGIN - m_metrics.horizontalAdvance(shown), baseline);
        }
    }

private:
    static QFont Font(const QRect& clip)
    {
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPixelSize(CornerTextHeight(clip.height()));
        return font;
    }

    // `line` (`width` pixels wide) cut short with "..." to `room`. Only a line that does not fit is
    // cut: the advance is rounded, and elidedText would cut a line that fits to the last pixel.
    QString Fitted(const QString& line, int width, int room) const
    {
        return width <= room ? line : m_metrics.elidedText(line, Qt::ElideRight, room);
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

// Line `k` of `lines` when it is one of the first `kept`; null otherwise.
const QString* LineAt(const QStringList& lines, int k, int kept)
{
    return k >= 0 && k < std::min(static_cast<int>(lines.size()), kept) ? &lines[k] : nullptr;
}

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

    for (int k = 0; k < topKept; ++k)
        painter.Row(LineAt(corners[0], k, topKept), LineAt(corners[1], k, topKept),
            clip.top() + MARGIN + k * lineHeight);
    // Bottom rows from the bottom up: a corner's last kept line sits on the bottom row.
    const int leftCount = std::min(static_cast<int>(corners[2].size()), bottomKept);
    const int rightCount = std::min(static_cast<int>(corners[3].size()), bottomKept);
    for (int k = 0; k < bottomKept; ++k)
        painter.Row(LineAt(corners[2], leftCount - 1 - k, bottomKept),
            LineAt(corners[3], rightCount - 1 - k, bottomKept),
            clip.bottom() + 1 - MARGIN - (k + 1) * lineHeight);
}

} // namespace velmora
