#include "art/TableMeter.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace tessivo {

TableMeter::TableMeter(const QString& family, double pointSize)
    : m_family(family)
    , m_art(family, pointSize)
    , m_font(m_art.font())
{
    m_font.setPointSizeF(m_art.pointSize());
}

QImage TableMeter::render(QStringView row) const
{
    const int margin = m_art.margin();
    return m_art.drawRow(row).copy(margin, margin, m_art.cellLeft(CellsOf(row)),
                                   int(std::ceil(m_art.lineHeight())));
}

double TableMeter::measure(QStringView row) const
{
    if (row.isEmpty())
        return 0;
    return m_art.inkOf(row).whole;
}

QList<RowTone> TableMeter::measure(const QStringList& rows) const
{
    QList<RowTone> tones;
    tones.reserve(rows.size());
    for (const QString& row : rows)
        tones.append(RowTone{row, measure(row), CellsOf(row)});
    return tones;
}

QList<RowTone> SortDarkestFirst(QList<RowTone> rows)
{
    std::stable_sort(rows.begin(), rows.end(),
                     [](const RowTone& a, const RowTone& b) { return a.tone > b.tone; });
    return rows;
}

namespace {

QList<ToneStep> stepsOf(const QList<RowTone>& sorted)
{
    QList<ToneStep> steps;
    for (int i = 0; i + 1 < int(sorted.size()); ++i)
        steps.append(ToneStep{i, i + 1, std::abs(sorted[i].tone - sorted[i + 1].tone)});
    return steps;
}

} // namespace

QList<ToneStep> CloseTones(const QList<RowTone>& sorted, double threshold)
{
    QList<ToneStep> close;
    for (const ToneStep& step : stepsOf(sorted)) {
        if (step.difference < threshold)
            close.append(step);
    }
    return close;
}

QList<ToneStep> LargestGaps(const QList<RowTone>& sorted, int count)
{
    QList<ToneStep> steps = stepsOf(sorted);
    std::stable_sort(steps.begin(), steps.end(), [](const ToneStep& a, const ToneStep& b) {
        return a.difference > b.difference;
    });
    steps.resize(std::clamp(qsizetype(count), qsizetype(0), steps.size()));
    return steps;
}

namespace {

// The cheapest walk from the first tone to the last of a strictly darkest-first list, at a price
// of lambda for every step on top of the squared steps: the Lagrangian relaxation of asking for a
// number of steps. The higher the price, the fewer the steps.
struct Walk {
    std::vector<int> from; // the tone each tone is reached from on its cheapest walk
    int steps = 0;         // on the walk to the last tone
};

// The squared steps make later tones take over from earlier ones as the way to a tone further
// on, never back (the costs satisfy the quadrangle inequality because the tones are sorted), so
// the candidates are kept as a queue of spans, each the tones one candidate is best for, and a
// new candidate's span is found by bisection: n log n for one price.
Walk cheapestWalk(const std::vector<double>& tones, double lambda)
{
    const int n = int(tones.size());
    std::vector<double> cost(std::size_t(n), 0);
    std::vector<int> steps(std::size_t(n), 0);
    Walk walk;
    walk.from.assign(std::size_t(n), 0);
    const auto total = [&](int j, int i) {
        const double d = tones[std::size_t(j)] - tones[std::size_t(i)];
        return cost[std::size_t(j)] + d * d;
    };
    // Whether the later candidate reaches i cheaper than the earlier one, or as cheaply in fewer
    // steps. On a full tie the earlier row stays.
    const auto better = [&](int later, int earlier, int i) {
        const double a = total(later, i), b = total(earlier, i);
        return a < b || (a == b && steps[std::size_t(later)] < steps[std::size_t(earlier)]);
    };
    struct Span {
        int candidate;
        int start; // the first tone it is the best way to
    };
    std::vector<Span> spans{{0, 1}};
    std::size_t head = 0;
    for (int i = 1; i < n; ++i) {
        while (head + 1 < spans.size() && spans[head + 1].start <= i)
            ++head;
        const int j = spans[head].candidate;
        cost[std::size_t(i)] = total(j, i) + lambda;
        steps[std::size_t(i)] = steps[std::size_t(j)] + 1;
        walk.from[std::size_t(i)] = j;
        if (i + 1 == n)
            break;
        // i as a candidate for the tones after it.
        int start = i + 1;
        while (spans.size() > head) {
            const Span& last = spans.back();
            const int at = std::max(last.start, i + 1);
            if (better(i, last.candidate, at)) {
                spans.pop_back();
                continue;
            }
            if (!better(i, last.candidate, n - 1)) {
                start = n; // never the best
                break;
            }
            int lo = at, hi = n - 1; // i loses at lo and wins at hi
            while (hi - lo > 1) {
                const int mid = lo + (hi - lo) / 2;
                (better(i, last.candidate, mid) ? hi : lo) = mid;
            }
            start = hi;
            break;
        }
        if (start < n)
            spans.push_back(Span{i, start});
    }
    walk.steps = steps[std::size_t(n - 1)];
    return walk;
}

std::vector<int> walkedTones(const Walk& walk)
{
    std::vector<int> path;
    for (int i = int(walk.from.size()) - 1; i > 0; i = walk.from[std::size_t(i)])
        path.push_back(i);
    path.push_back(0);
    std::reverse(path.begin(), path.end());
    return path;
}

// A walk of exactly target steps from one of fewer and one of more, both from the first tone to
// the last: fewer[s] <= more[s + d] and more[s + d + 1] <= fewer[s + 1] for some s, where
// d = more's steps - target, and the first part of fewer joined to the last part of more at such
// an s has target steps. When both walks are cheapest at one price, so is the joined one (the
// quadrangle inequality, applied to the two steps that cross), which makes it the cheapest walk
// of target steps.
std::vector<int> joinedWalk(const std::vector<int>& fewer, const std::vector<int>& more, int target)
{
    const std::size_t a = fewer.size() - 1, d = more.size() - 1 - std::size_t(target);
    std::size_t s = 0;
    while (s + 1 < a && more[s + d + 1] > fewer[s + 1])
        ++s;
    std::vector<int> joined(fewer.begin(), fewer.begin() + std::ptrdiff_t(s) + 1);
    joined.insert(joined.end(), more.begin() + std::ptrdiff_t(s + d) + 1, more.end());
    return joined;
}

// The keep of the strictly darkest-first tones (2 <= keep < their count) whose sum of squared
// steps is least, the first and the last among them. The least sum is convex in the number of
// steps, so the price per step at which the cheapest walk has keep - 1 steps is found by
// bisection; where several counts are cheapest at that price (the sums fall on one line), the
// walks just either side of it are joined.
std::vector<int> evenestTones(const std::vector<double>& tones, int keep)
{
    const int target = keep - 1;
    const int n = int(tones.size());
    const double range = tones.front() - tones.back();
    // At this price one step over the whole range is cheaper than any two; at none, every tone
    // is on the cheapest walk.
    double lo = 0, hi = 2 * range * range + 1;
    Walk more{std::vector<int>(std::size_t(n)), n - 1}; // every tone
    for (int i = 1; i < n; ++i)
        more.from[std::size_t(i)] = i - 1;
    Walk fewer{std::vector<int>(std::size_t(n), 0), 1}; // the first and the last
    // A hundred halvings leave the two prices far closer than two different slopes of the least
    // sum can be for tones measured in pixels, so both walks are cheapest at one price, but for
    // rounding.
    for (int round = 0; round < 100; ++round) {
        const double mid = lo + (hi - lo) / 2;
        if (!(mid > lo && mid < hi))
            break;
        Walk walk = cheapestWalk(tones, mid);
        if (walk.steps == target)
            return walkedTones(walk);
        if (walk.steps > target) {
            lo = mid;
            more = std::move(walk);
        } else {
            hi = mid;
            fewer = std::move(walk);
        }
    }
    return joinedWalk(walkedTones(fewer), walkedTones(more), target);
}

} // namespace

QList<int> SuggestDrops(const QList<RowTone>& sorted, int keep)
{
    const int n = int(sorted.size());
    if (keep >= n || n == 0)
        return {};
    keep = std::max(keep, 1);
    std::vector<char> kept(std::size_t(n), 0);
    kept[0] = 1;
    if (keep >= 2) {
        // Of rows of one tone, only the first is worth keeping (the last row for the lightest
        // tone, which always stays): a second adds nothing to the spread.
        std::vector<int> firsts;
        for (int i = 0; i < n; ++i) {
            if (i == 0 || !(sorted[i].tone == sorted[i - 1].tone))
                firsts.push_back(i);
        }
        if (firsts.size() == 1)
            firsts.push_back(n - 1);
        else
            firsts.back() = n - 1;
        if (keep >= int(firsts.size())) {
            // Every tone is kept; the rows left to keep are the earliest others.
            for (const int i : firsts)
                kept[std::size_t(i)] = 1;
            int more = keep - int(firsts.size());
            for (int i = 0; i < n && more > 0; ++i) {
                if (!kept[std::size_t(i)]) {
                    kept[std::size_t(i)] = 1;
                    --more;
                }
            }
        } else {
            std::vector<double> tones;
            tones.reserve(firsts.size());
            for (const int i : firsts)
                tones.push_back(sorted[i].tone);
            for (const int t : evenestTones(tones, keep))
                kept[std::size_t(firsts[std::size_t(t)])] = 1;
        }
    }
    QList<int> drops;
    drops.reserve(n - keep);
    for (int i = 0; i < n; ++i) {
        if (!kept[std::size_t(i)])
            drops.append(i);
    }
    return drops;
}

} // namespace tessivo
