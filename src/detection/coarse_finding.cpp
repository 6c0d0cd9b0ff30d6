#include "detection/gap_watch.h"
#include "detection/item_detection.h"
#include "detection/lid_model.h"
#include "detection/smart_detection.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cmath>

namespace {

constexpr int kOffLid = 10;     // further from the lid than this is card, as in the full analysis
constexpr int kUnderCard = 7;   // under a card, where the lid is interpolated and paper may come close to it

// The picture's pixels against the modelled lid. A cell of the copy gives the
// model's lowest and highest over itself and its neighbours, widened by the
// tolerance: a pixel anywhere in the cell is met wherever the lid may lie
// there, a shadow's slope included.
class LidBands {
public:
    LidBands(const QImage &picture, const QRect &part, int f, const cv::Mat &model)
        : m_bits(picture.constBits()), m_bytesPerLine(size_t(picture.bytesPerLine())), m_part(part), m_f(f),
          m_bytes(picture.depth() / 8), m_model(model)
    {
        cv::erode(model, m_low, Square(3));
        cv::dilate(model, m_high, Square(3));
        cv::subtract(m_low, cv::Scalar::all(kOffLid), m_low);
        cv::add(m_high, cv::Scalar::all(kOffLid), m_high);
        // Each pixel's cell by table: this is asked for every pixel read.
        m_cellX.resize(size_t(part.right()) + 1);
        m_cellY.resize(size_t(part.bottom()) + 1);
        for (int x = part.left(); x <= part.right(); ++x)
            m_cellX[size_t(x)] = 3 * std::min((x - part.left()) / f, m_low.cols - 1);
        for (int y = part.top(); y <= part.bottom(); ++y)
            m_cellY[size_t(y)] = std::min((y - part.top()) / f, m_low.rows - 1);
    }
    const uchar *line(int y) const { return m_bits + size_t(y) * m_bytesPerLine; }
    void prefetch(int y, int x) const { __builtin_prefetch(line(y) + x * m_bytes); }
    bool key(const uchar *line, int x, int y) const
    {
        const int cx = m_cellX[size_t(x)], cy = m_cellY[size_t(y)];
        return inBand(line + x * m_bytes, m_low.ptr<uchar>(cy) + cx, m_high.ptr<uchar>(cy) + cx);
    }
    const uchar *pixel(int x, int y) const { return line(y) + x * m_bytes; }
    // The model's colour at the cell of (x, y), the part's edge cells beyond it.
    const uchar *model(int x, int y) const
    {
        x = std::clamp(x, m_part.left(), m_part.right());
        y = std::clamp(y, m_part.top(), m_part.bottom());
        return m_model.ptr<uchar>(m_cellY[size_t(y)]) + m_cellX[size_t(x)];
    }
    int cellX(int x) const { return m_cellX[size_t(x)] / 3; }
    int cellY(int y) const { return m_cellY[size_t(y)]; }
    // The first pixel of [x0, x1) in row y that is lid (or is not), else x1.
    int find(int y, int x0, int x1, bool lid) const
    {
        const uchar *l = line(y);
        const int cy = m_cellY[size_t(y)];
        const uchar *low = m_low.ptr<uchar>(cy), *high = m_high.ptr<uchar>(cy);
        for (int x = x0; x < x1;) {
            const int cx = m_cellX[size_t(x)];
            const int end = cx / 3 + 1 >= m_low.cols ? x1 : std::min(x1, m_part.x() + (cx / 3 + 1) * m_f);
            for (; x < end; ++x)
                if (inBand(l + x * m_bytes, low + cx, high + cx) == lid)
                    return x;
        }
        return x1;
    }
    // Along a line from (x, y) by (dx, dy), at most length steps: the steps to
    // the last pixel of card before run pixels of lid (-1 when the line starts
    // in lid), or INT_MIN when no such run comes. The part's edge counts as lid.
    // Read every run / 2 pixels, and between the last two samples at the end.
    int lastCard(int x, int y, int dx, int dy, int length, int run) const
    {
        const int stride = std::max(1, run / 2);
        const auto lid = [&](int k) {
            const int px = x + k * dx, py = y + k * dy;
            return !m_part.contains(px, py) || key(line(py), px, py);
        };
        const auto resolve = [&](int card) {
            for (int k = card + stride - 1; card >= 0 && k > card; --k)
                if (!lid(k))
                    return k;
            return card;
        };
        int card = -1, lidSamples = 0;
        for (int k = 0; k < length; k += stride) {
            if (!m_part.contains(x + k * dx, y + k * dy))
                return resolve(card);
            if (lid(k)) {
                if (++lidSamples * stride >= run)
                    return resolve(card);
            } else {
                lidSamples = 0;
                card = k;
            }
        }
        return INT_MIN;
    }

private:
    static bool inBand(const uchar *p, const uchar *low, const uchar *high)
    {
        return p[0] >= low[0] && p[0] <= high[0] && p[1] >= low[1] && p[1] <= high[1] && p[2] >= low[2]
            && p[2] <= high[2];
    }

    const uchar *m_bits;
    size_t m_bytesPerLine;
    QRect m_part;
    int m_f, m_bytes;
    cv::Mat m_model, m_low, m_high;
    std::vector<int> m_cellX, m_cellY;   // byte offset of the cell in a row, and its row
};

cv::Scalar BorderMedian(const cv::Mat &work)
{
    std::vector<uchar> ch[3];
    const auto add = [&](int x, int y) {
        const cv::Vec3b p = work.at<cv::Vec3b>(y, x);
        for (int c = 0; c < 3; ++c)
            ch[c].push_back(p[c]);
    };
    for (int x = 0; x < work.cols; ++x) {
        add(x, 0);
        add(x, work.rows - 1);
    }
    for (int y = 0; y < work.rows; ++y) {
        add(0, y);
        add(work.cols - 1, y);
    }
    cv::Scalar m;
    for (int c = 0; c < 3; ++c) {
        std::nth_element(ch[c].begin(), ch[c].begin() + long(ch[c].size() / 2), ch[c].end());
        m[c] = ch[c][ch[c].size() / 2];
    }
    return m;
}

// What reaches the copy's edge from a frame of the lid's usual colour by steps
// no larger than the lid's own from one cell to the next.
cv::Mat SmoothlyReached(const cv::Mat &work)
{
    const cv::Scalar usual = BorderMedian(work);
    cv::Mat framed;
    cv::copyMakeBorder(work, framed, 1, 1, 1, 1, cv::BORDER_CONSTANT, usual);
    // A shadow darkens the lid by a share of its brightness: a white lid's
    // falls by up to 14 a millimetre, a black lid's by 1 or 2, and the noise
    // adds up to 4. Half of the step to a card's edge is more than that.
    const double step = 5 + 0.036 * std::max({usual[0], usual[1], usual[2]});
    cv::Mat mask(framed.rows + 2, framed.cols + 2, CV_8U, cv::Scalar(0));
    cv::floodFill(framed, mask, cv::Point(0, 0), cv::Scalar(), nullptr, cv::Scalar::all(step), cv::Scalar::all(step),
                  4 | cv::FLOODFILL_MASK_ONLY | (255 << 8));
    return mask(cv::Rect(2, 2, work.cols, work.rows)).clone();
}

// A card on the copy: its outermost cell to the left, the right, the top and
// the bottom.
struct CoarseCard {
    cv::Point side[4];
};

// The cards on the copy, the lid's model there, and which card each cell
// belongs to (1 for the first, 0 for none).
std::vector<CoarseCard> CoarseCards(const cv::Mat &work, cv::Mat &model, cv::Mat &labels)
{
    model = LidModel(work, SmoothlyReached(work), 2);
    const cv::Mat distance = DistanceFromLid(work, model);
    cv::Mat card = (ReachableLid(distance <= kOffLid, 8) == 0) | (distance > kOffLid);
    cv::morphologyEx(card, card, cv::MORPH_OPEN, Square(3));
    std::vector<std::vector<cv::Point>> contours;
    cv::findContours(card, contours, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_SIMPLE);
    std::vector<CoarseCard> cards;
    labels = cv::Mat(work.size(), CV_16U, cv::Scalar(0));
    for (size_t i = 0; i < contours.size(); ++i) {
        const auto &c = contours[i];
        if (cv::contourArea(c) < 64)   // 8 x 8 mm
            continue;
        cv::drawContours(labels, contours, int(i), cv::Scalar(double(cards.size() + 1)), cv::FILLED);
        CoarseCard card{{c[0], c[0], c[0], c[0]}};
        for (const cv::Point &p : c) {
            card.side[0] = p.x < card.side[0].x ? p : card.side[0];
            card.side[1] = p.x > card.side[1].x ? p : card.side[1];
            card.side[2] = p.y < card.side[2].y ? p : card.side[2];
            card.side[3] = p.y > card.side[3].y ? p : card.side[3];
        }
        cards.push_back(card);
    }
    return cards;
}

// The card of a coarse outline to the pixel. Its outermost cell at each side
// lies within a cell of the card's outermost pixel there, or along the side
// from it where the copy's opening rounded a corner off: along lines a cell
// apart across the side, from two cells inside outward, the last card pixel
// before lid, lines added towards the corner for as long as they reach
// further. A corner between two lines is missed by a fraction of a pixel.
bool Refine(const LidBands &px, const CoarseCard &card, const cv::Mat &labels, int k, const QRect &part, int f,
            QRect &box)
{
    const int run = std::max(2, f / 3), reach = 4 * f;
    const int dx[4] = {-1, 1, 0, 0}, dy[4] = {0, 0, -1, 1};
    int edge[4];
    for (int side = 0; side < 4; ++side) {
        // The outermost cell's centre, and two cells inward from it.
        const int cx = part.x() + card.side[side].x * f + f / 2, cy = part.y() + card.side[side].y * f + f / 2;
        const int sx = cx - 2 * f * dx[side], sy = cy - 2 * f * dy[side];
        const bool outward = side % 2;   // the right and the bottom grow with x or y
        // How far out line j reaches: false when it starts beyond the part or
        // off this card (past a corner, on a neighbour), or meets no lid
        // within reach (then failed).
        bool failed = false;
        const auto reachOf = [&](int j, int &at) {
            const int x = sx + j * f * std::abs(dy[side]), y = sy + j * f * std::abs(dx[side]);
            if (!part.contains(x, y) || labels.at<ushort>(px.cellY(y), px.cellX(x)) != k + 1)
                return false;
            const int last = px.lastCard(x, y, dx[side], dy[side], reach, run);
            failed = last == INT_MIN;
            at = dx[side] ? x + last * dx[side] : y + last * dy[side];
            return !failed;
        };
        const auto further = [&](int a, int b) { return outward ? a > b : a < b; };
        int best = outward ? INT_MIN : INT_MAX, at = 0;
        for (int j = -2; j <= 2; ++j) {
            if (reachOf(j, at) && further(at, best))
                best = at;
            if (failed)
                return false;
        }
        // Towards a corner the copy rounded off: on a card leaning a little a
        // line reaches a pixel further only every few lines, so a few that do
        // not are passed; one that falls back has turned the corner.
        for (const int step : {-1, 1}) {
            for (int j = 3 * step, flat = 0; std::abs(j) < 40 && flat <= 3 && reachOf(j, at); j += step) {
                if (further(at, best))
                    best = at, flat = 0;
                else if (std::abs(at - best) <= 1)
                    ++flat;
                else
                    break;
            }
        }
        if (best == INT_MIN || best == INT_MAX)
            return false;
        edge[side] = best;
    }
    box = QRect(QPoint(edge[0], edge[2]), QPoint(edge[1], edge[3])).intersected(part);
    return edge[0] < edge[1] && edge[2] < edge[3];
}

// Off-lid pixels x0..x1 in row y that go on up to six millimetres above and
// below within a card's lean: a card's edge, not dust or a hair. Only what
// lies between lo and hi is looked at, the lid between two boxes: a speck
// beside a box must not borrow the box's own edge.
bool EdgeLike(const LidBands &px, const QRect &part, int y, int x0, int x1, int lo, int hi, double mm)
{
    int hits = 0;
    for (const double dmm : {-6.0, -4.0, -2.0, 2.0, 4.0, 6.0}) {
        const int yy = y + int(dmm * mm);
        const int d = int(std::abs(dmm) * mm * 0.22) + 2;   // a lean of up to 12 degrees
        const int from = std::max(lo, x0 - d), to = std::min(hi, x1 + d);
        if (yy >= part.top() && yy <= part.bottom() && px.find(yy, from, to, false) < to)
            ++hits;
    }
    return hits >= 5;
}

// Between x0 and x1 in row y nothing but lid, dust and hairs across it.
bool LidBetween(const LidBands &px, const QRect &part, int y, int x0, int x1, double mm)
{
    for (int x = x0; x < x1;) {
        const int start = px.find(y, x, x1, false);
        if (start == x1)
            return true;
        const int end = px.find(y, start, x1, true);
        if (end - start > 1.5 * mm || EdgeLike(px, part, y, start, end, x0, x1, mm))
            return false;
        x = end;
    }
    return true;
}

// The lid under a card, from the model just beyond the card's box: across
// the box from its left to its right at the pixel's row, and down it from its
// top to its bottom at the pixel's column; a pixel must match both. A shadow
// along one edge of the lid reaches under a card from the side it lies on, so
// only the line along it is fooled, and paper as dark as the shadow beside
// it is not taken for lid.
class UnderCard {
public:
    UnderCard(const LidBands &px, const QRect &box, int f) : m_px(px), m_box(box.adjusted(-f, -f, f, f)) {}
    bool lid(int x, int y) const
    {
        const uchar *p = m_px.pixel(x, y);
        return near(p, m_px.model(m_box.left(), y), m_px.model(m_box.right(), y), x - m_box.left(), m_box.width())
            && near(p, m_px.model(x, m_box.top()), m_px.model(x, m_box.bottom()), y - m_box.top(), m_box.height());
    }

private:
    static bool near(const uchar *p, const uchar *a, const uchar *b, int at, int span)
    {
        for (int c = 0; c < 3; ++c)
            if (std::abs(p[c] * span - (a[c] * (span - at) + b[c] * at)) > kUnderCard * span)
                return false;
        return true;
    }

    const LidBands &m_px;
    QRect m_box;
};

// Whether the cell lies inside card k of the labels with its four neighbours:
// a neighbour's corner within a box's bounds, or the card's own rim, is not.
bool Interior(const cv::Mat &labels, int k, int cx, int cy)
{
    const auto is = [&](int x, int y) {
        return x >= 0 && y >= 0 && x < labels.cols && y < labels.rows && labels.at<ushort>(y, x) == k + 1;
    };
    return is(cx, cy) && is(cx - 1, cy) && is(cx + 1, cy) && is(cx, cy - 1) && is(cx, cy + 1);
}

// Down columns 24 mm apart (three at least) through each card, read every step
// rows, its own cells only: no gap of up to 2 mm, and more card than lid.
bool ColumnsHold(const LidBands &px, const std::vector<QRect> &boxes, const cv::Mat &labels, int f, double mm,
                 int step)
{
    const int pitch = int(24 * mm), ahead = 16 * step, widest = int(2 * mm / step);
    for (size_t k = 0; k < boxes.size(); ++k) {
        const QRect &r = boxes[k];
        const int n = std::max(3, r.width() / pitch);
        GapWatch all;
        for (int j = 0; j < n; ++j) {
            const int x = r.left() + int((j + 0.5) * r.width() / n), cx = px.cellX(x);
            const UnderCard under(px, r, f);
            GapWatch watch{widest};
            for (int y = r.top(); y <= r.bottom(); y += step) {
                if (y + ahead <= r.bottom())
                    px.prefetch(y + ahead, x);
                if (Interior(labels, int(k), cx, px.cellY(y)))
                    watch.feed(under.lid(x, y));
            }
            if (watch.gap)
                return false;
            all.seen += watch.seen;
            all.cardSeen += watch.cardSeen;
        }
        if (2 * all.cardSeen < all.seen)
            return false;
    }
    return true;
}

// Row y: lid outside the boxes (with a little room for a card's edge between
// two lines of the refinement) and, when inside, no gap within each card.
bool RowHolds(const LidBands &px, const QRect &part, const std::vector<QRect> &boxes, const std::vector<size_t> &byLeft,
              const cv::Mat &labels, int y, bool inside, int f, double mm)
{
    const int step = std::max(1, int(mm / 3)), slack = int(0.3 * mm) + 2;
    const int cy = px.cellY(y);
    int x = part.left();
    for (const size_t k : byLeft) {
        const QRect &box = boxes[k];
        const QRect room = box.adjusted(-slack, -slack, slack, slack);
        if (y < room.top() || y > room.bottom())
            continue;
        if (x < room.left() && !LidBetween(px, part, y, x, room.left(), mm))
            return false;
        GapWatch watch{int(2 * mm / step)};
        const UnderCard under(px, box, f);
        for (int i = box.left(); inside && y >= box.top() && y <= box.bottom() && i <= box.right(); i += step)
            if (Interior(labels, int(k), px.cellX(i), cy))
                watch.feed(under.lid(i, y));
        if (watch.gap)
            return false;
        x = std::max(x, room.right() + 1);
    }
    return x > part.right() || LidBetween(px, part, y, x, part.right() + 1, mm);
}

// Rows every four cells, between the copy's, and columns through every card.
// A gap between two cards taken for one crosses the whole card: every other
// row looks inside the boxes. The rows are shared between the cores.
bool Confirmed(const LidBands &px, const QRect &part, const std::vector<QRect> &boxes, const cv::Mat &labels, int f,
               double mm)
{
    // Samples a third of a millimetre apart meet every gap of half a millimetre.
    if (!ColumnsHold(px, boxes, labels, f, mm, std::max(1, int(mm / 3))))
        return false;
    std::vector<size_t> byLeft(boxes.size());
    for (size_t k = 0; k < boxes.size(); ++k)
        byLeft[k] = k;
    std::sort(byLeft.begin(), byLeft.end(), [&](size_t a, size_t b) { return boxes[a].left() < boxes[b].left(); });
    const int first = part.top() + f + f / 2, rows = (part.bottom() - first) / (4 * f) + 1;
    std::atomic<bool> holds{true};
    cv::parallel_for_(cv::Range(0, rows), [&](const cv::Range &range) {
        for (int r = range.start; r < range.end && holds; ++r)
            if (!RowHolds(px, part, boxes, byLeft, labels, first + r * 4 * f, r % 2 == 0, f, mm))
                holds = false;
    }, 2);
    return holds;
}

} // namespace

struct CoarseFinding::Data {
    QRect part;
    double mm = 0;
    int f = 0;
    cv::Mat model, labels;
    std::vector<CoarseCard> cards;
};

CoarseFinding::CoarseFinding(const QImage &picture, const PixelSelection &selection, const std::atomic<bool> *stop)
    : m_picture(picture)
{
    const QRect part = QRect(QPoint(selection.left, selection.top), QPoint(selection.right - 1, selection.bottom - 1))
                           .intersected(picture.rect());
    const double mm = Dpi(picture) / 25.4;
    const int f = int(std::lround(mm));
    const QImage::Format format = picture.format();
    const bool readable = format == QImage::Format_BGR888 || format == QImage::Format_RGB888
        || format == QImage::Format_RGB32 || format == QImage::Format_ARGB32;
    // Below four pixels a millimetre the full analysis is as quick.
    if (!readable || f < 4 || part.width() < 30 * f || part.height() < 30 * f)
        return;
    const cv::Mat work = WorkingCopy(picture, part, f);
    if (stop && *stop)
        return;
    d = std::make_unique<Data>();
    d->part = part;
    d->mm = mm;
    d->f = f;
    d->cards = CoarseCards(work, d->model, d->labels);
}

CoarseFinding::~CoarseFinding() = default;

std::optional<std::vector<QRect>> CoarseFinding::confirmed() const
{
    if (!d)
        return std::nullopt;
    const LidBands px(m_picture, d->part, d->f, d->model);
    std::vector<QRect> boxes;
    for (size_t k = 0; k < d->cards.size(); ++k) {
        QRect box;
        if (!Refine(px, d->cards[k], d->labels, int(k), d->part, d->f, box))
            return std::nullopt;
        boxes.push_back(box);
    }
    if (!Confirmed(px, d->part, boxes, d->labels, d->f, d->mm))
        return std::nullopt;
    std::sort(boxes.begin(), boxes.end(), [](const QRect &a, const QRect &b) {
        return a.top() != b.top() ? a.top() < b.top() : a.left() < b.left();
    });
    return boxes;
}

std::optional<std::vector<QRect>> CoarseCardRects(const QImage &picture, const PixelSelection &selection)
{
    return CoarseFinding(picture, selection).confirmed();
}
