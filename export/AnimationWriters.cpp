#include "export/ArtAnimation.h"

#include <QTemporaryFile>

#include <utility>

namespace tessivo {

namespace {

// A share of a play as a CSS percentage or a SMIL key time: enough digits that an hour's play
// stays within a millisecond.
QByteArray share(double value, double scale)
{
    return QByteArray::number(value * scale, 'g', 10);
}

QByteArray playCount(int plays, const char* endless)
{
    return plays == 0 ? QByteArray(endless) : QByteArray::number(plays);
}

constexpr char PreStart[] = "<pre>";
constexpr char PreEnd[] = "</pre>";
constexpr qsizetype PreStartBytes = sizeof(PreStart) - 1;

} // namespace

ArtAnimation::ArtAnimation()
    : m_kept(std::make_unique<QTemporaryFile>())
{
    if (!m_kept->open())
        m_kept.reset();
}

ArtAnimation::~ArtAnimation() = default;

void ArtAnimation::add(const QByteArray& still, int delay)
{
    Parts parts = split(still);
    if (m_starts.isEmpty()) {
        m_head = std::move(parts.head);
        m_tail = std::move(parts.tail);
    }
    if (m_kept && m_kept->write(parts.art) != parts.art.size())
        m_kept.reset();
    if (!m_kept)
        m_inMemory.append(parts.art);
    m_lengths.append(parts.art.size());
    m_starts.append(m_duration);
    m_duration += delay;
}

bool ArtAnimation::finish(int plays, const std::function<bool(const QByteArray&)>& write)
{
    // Frames kept in the file until it failed are read from there, the others from memory.
    const qsizetype inFile = frameCount() - m_inMemory.size();
    if (m_kept && !m_kept->seek(0))
        return false;
    if (!write(head(plays)))
        return false;
    for (int i = 0; i < frameCount(); ++i) {
        QByteArray art =
            i < inFile ? m_kept->read(m_lengths[i]) : std::exchange(m_inMemory[i - inFile], {});
        if (art.size() != m_lengths[i] || !write(frameStart(i, plays) + art + frameEnd()))
            return false;
    }
    return write(tail());
}

double ArtAnimation::shownAt(int frame) const
{
    return m_duration > 0 ? double(m_starts[frame]) / double(m_duration) : 0;
}

double ArtAnimation::hiddenAt(int frame) const
{
    return frame + 1 < m_starts.size() ? shownAt(frame + 1) : 1;
}

// A page's art is what its <pre> element holds; what comes before holds its style, which the
// animation's joins.
ArtAnimation::Parts HtmlAnimation::split(const QByteArray& still) const
{
    const qsizetype start = still.indexOf(PreStart);
    const qsizetype end = still.lastIndexOf(PreEnd) + qsizetype(sizeof(PreEnd) - 1);
    return {still.first(start), still.sliced(start + PreStartBytes, end - start - PreStartBytes),
            still.sliced(end)};
}

QByteArray HtmlAnimation::head(int plays) const
{
    // Each frame's keyframes show it from its start to the next frame's. Visibility steps at
    // each keyframe (step-end holds a keyframe's value up to the next one); the end of the last
    // play leaves the last frame shown, as a browser leaves a GIF.
    QByteArray style = ".frames { display: inline-grid; }\n"
                       ".frames > pre { grid-area: 1 / 1; visibility: hidden; "
                       "animation-duration: " +
                       QByteArray::number(duration()) +
                       "ms; animation-timing-function: step-end; animation-iteration-count: " +
                       playCount(plays, "infinite") +
                       "; animation-fill-mode: forwards; }\n"
                       ".frames > pre:first-child { visibility: visible; }\n";
    const int count = frameCount();
    for (int i = 0; i < count; ++i) {
        const bool last = i + 1 == count;
        style += "@keyframes f" + QByteArray::number(i + 1) + " { ";
        if (i > 0)
            style += "0% { visibility: hidden; } ";
        style += share(shownAt(i), 100) + "% { visibility: visible; } ";
        if (!last)
            style += share(hiddenAt(i), 100) + "% { visibility: hidden; } ";
        style += QByteArray("100% { visibility: ") + (last ? "visible" : "hidden") + "; } }\n";
    }
    const qsizetype styleEnd = m_head.lastIndexOf("</style>");
    return m_head.first(styleEnd) + style + m_head.sliced(styleEnd) + "<div class=\"frames\">\n";
}

QByteArray HtmlAnimation::frameStart(int frame, int) const
{
    return "<pre style=\"animation-name: f" + QByteArray::number(frame + 1) + "\">";
}

QByteArray HtmlAnimation::frameEnd() const
{
    return "\n";
}

QByteArray HtmlAnimation::tail() const
{
    return "</div>" + m_tail;
}

// An SVG's art is everything inside its root element.
ArtAnimation::Parts SvgAnimation::split(const QByteArray& still) const
{
    const qsizetype root = still.indexOf("<svg");
    const qsizetype start = still.indexOf('\n', still.indexOf('>', root)) + 1;
    const qsizetype end = still.lastIndexOf("</svg>");
    return {still.first(start), still.sliced(start, end - start), still.sliced(end)};
}

QByteArray SvgAnimation::head(int) const
{
    return m_head;
}

QByteArray SvgAnimation::frameStart(int frame, int plays) const
{
    const bool first = frame == 0, last = frame + 1 == frameCount();
    // Discrete values hold from their key time to the next; the last holds to the end, and is
    // the one left once the plays are over.
    QByteArray values, times;
    if (!first) {
        values += "hidden;";
        times += "0;";
    }
    values += "visible";
    times += share(shownAt(frame), 1);
    if (!last) {
        values += ";hidden";
        times += ";" + share(hiddenAt(frame), 1);
    }
    return QByteArray("<g visibility=\"") + (first ? "visible" : "hidden") + "\">\n" +
           "<animate attributeName=\"visibility\" calcMode=\"discrete\" dur=\"" +
           QByteArray::number(duration()) + "ms\" repeatCount=\"" + playCount(plays, "indefinite") +
           "\" fill=\"freeze\" values=\"" + values + "\" keyTimes=\"" + times + "\"/>\n";
}

QByteArray SvgAnimation::frameEnd() const
{
    return "</g>\n";
}

QByteArray SvgAnimation::tail() const
{
    return m_tail;
}

} // namespace tessivo
