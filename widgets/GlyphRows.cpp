#include "widgets/GlyphRows.h"

#include <QAbstractItemDelegate>
#include <QAbstractItemView>
#include <QFontMetrics>
#include <QPointer>

#include <algorithm>

namespace tessivo {

namespace {

// Glyphs that reach furthest above and below the line in the fonts the program uses.
const QString ReachingGlyphs = QStringLiteral("_gjpqy|()[]ÅÉ国");

// Passes everything to the view's own delegate, and makes the rows it sizes tall enough for the
// ink of their font: rows are painted with the text centred, so each pixel missing above or
// below takes two more rows of pixels.
class GlyphRowDelegate : public QAbstractItemDelegate {
public:
    GlyphRowDelegate(QAbstractItemDelegate* inner, QObject* parent)
        : QAbstractItemDelegate(parent)
        , m_inner(inner)
    {
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override
    {
        if (m_inner)
            m_inner->paint(painter, option, index);
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        if (!m_inner)
            return {};
        QSize size = m_inner->sizeHint(option, index);
        QFont font = option.font;
        const QVariant itemFont = index.data(Qt::FontRole);
        if (itemFont.canConvert<QFont>())
            font = qvariant_cast<QFont>(itemFont).resolve(option.font);
        const QFontMetrics metrics(font);
        const QRect ink = metrics.boundingRect(ReachingGlyphs);
        // The ink rectangle is relative to the baseline: its top is above it (negative), and
        // its bottom row lies bottom() rows below the row under the baseline.
        const int above = -ink.top() - metrics.ascent();
        const int below = ink.bottom() + 1 - metrics.descent();
        const int missing = std::max({0, above, below});
        size.setHeight(std::max(size.height(), metrics.height() + 2 * missing));
        return size;
    }

    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override
    {
        return m_inner && m_inner->editorEvent(event, model, option, index);
    }

    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override
    {
        return m_inner && m_inner->helpEvent(event, view, option, index);
    }

private:
    QPointer<QAbstractItemDelegate> m_inner;
};

} // namespace

void MakeRowsFitGlyphs(QAbstractItemView& view)
{
    view.setItemDelegate(new GlyphRowDelegate(view.itemDelegate(), &view));
}

} // namespace tessivo
