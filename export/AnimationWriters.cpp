#include "export/ArtAnimation.h"

#include <QString>

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

} // namespace

void ArtAnimation::add(const QByteArray& still, int delay)
{
    Parts parts = split(still);
    if (m_frames.isEmpty()) {
        m_head = std::move(parts.head);
        m_tail = std::move(parts.tail);
    }
    m_frames.append(std::move(parts.art));
    m_starts.append(m_duration);
    m_duration += delay;
}

QByteArrayList ArtAnimation::finish(int plays)
{
    QByteArrayList pieces = join(plays);
    m_frames.clear();
    return pieces;
}

double ArtAnimation::shownAt(int frame) const
{
    return m_duration > 0 ? double(m_starts[frame]) / double(m_duration) : 0;
}

double ArtAnimation::hiddenAt(int frame) const
{
    return frame + 1 < m_starts.size() ? shownAt(frame + 1) : 1;
}

// A page's art is its <pre> element; what comes before holds its style, which the animation's
// joins.
ArtAnimation::Parts HtmlAnimation::split(const QByteArray& still) const
{
    const qsizetype start = still.indexOf("<pre>");
    const qsizetype end = still.lastIndexOf("</pre>") + qsizetype(sizeof("</pre>") - 1);
    return {still.first(start), still.sliced(start, end - start), still.sliced(end)};
}

QByteArrayList HtmlAnimation::join(int plays)
{
    // Each frame's keyframes show it from its start to the next frame's. Visibility steps at
    // each keyframe (step-end holds a keyframe's value up to the next one); the end of the last
    // play leaves the last frame shown, as a browser leaves a GIF.
    QByteArray style = QByteArray(".frames { display: inline-grid; }\n"
                                  ".frames > pre { grid-area: 1 / 1; visibility: hidden; "
                                  "animation-duration: ") +
                       QByteArray::number(duration()) +
                       "ms; animation-timing-function: step-end; animation-iteration-count: " +
                       playCount(plays, "infinite") +
                       "; animation-fill-mode: forwards; }\n"
                       ".frames > pre:first-child { visibility: visible; }\n";
    const int count = int(m_frames.size());
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
    QByteArrayList page{m_head.first(styleEnd) + style + m_head.sliced(styleEnd) +
                        "<div class=\"frames\">\n"};
    for (int i = 0; i < count; ++i) {
        page += "<pre style=\"animation-name: f" + QByteArray::number(i + 1) + "\">";
        // The art after the <pre> it began with.
        page += std::exchange(m_frames[i], {}).sliced(qsizetype(sizeof("<pre>") - 1)) + '\n';
    }
    page += "</div>" + m_tail;
    return page;
}

// An SVG's art is everything inside its root element.
ArtAnimation::Parts SvgAnimation::split(const QByteArray& still) const
{
    const qsizetype root = still.indexOf("<svg");
    const qsizetype start = still.indexOf('\n', still.indexOf('>', root)) + 1;
    const qsizetype end = still.lastIndexOf("</svg>");
    return {still.first(start), still.sliced(start, end - start), still.sliced(end)};
}

QByteArrayList SvgAnimation::join(int plays)
{
    QByteArrayList svg{m_head};
    const QByteArray dur = QByteArray::number(duration()) + "ms";
    const QByteArray repeat = playCount(plays, "indefinite");
    const int count = int(m_frames.size());
    for (int i = 0; i < count; ++i) {
        const bool first = i == 0, last = i + 1 == count;
        // Discrete values hold from their key time to the next; the last holds to the end, and
        // is the one left once the plays are over.
        QByteArray values, times;
        if (!first) {
            values += "hidden;";
            times += "0;";
        }
        values += "visible";
        times += share(shownAt(i), 1);
        if (!last) {
            values += ";hidden";
            times += ";" + share(hiddenAt(i), 1);
        }
        svg += QByteArray("<g visibility=\"") + (first ? "visible" : "hidden") + "\">\n" +
               "<animate attributeName=\"visibility\" calcMode=\"discrete\" dur=\"" + dur +
               "\" repeatCount=\"" + repeat + "\" fill=\"freeze\" values=\"" + values +
               "\" keyTimes=\"" + times + "\"/>\n";
        svg += std::exchange(m_frames[i], {});
        svg += "</g>\n";
    }
    svg += m_tail;
    return svg;
}

} // namespace tessivo
