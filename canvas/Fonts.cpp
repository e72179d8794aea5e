#include "canvas/Fonts.h"

#include <QStringList>

#include <algorithm>

namespace tessivo {

void RegisterFontSubstitutes()
{
    // A Song-style font with fixed-width Latin glyphs first, a monospaced one as fallback.
    const QStringList substitutes = {QStringLiteral("AR PL UMing CN"),
                                     QStringLiteral("WenQuanYi Zen Hei Mono")};
    for (const char* family : {"宋体", "新宋体", "SimSun", "NSimSun"})
        QFont::insertSubstitutions(QString::fromUtf8(family), substitutes);
}

QFont CanvasFont::toQFont() const
{
    QFont font(family);
    if (pointSize > 0)
        font.setPointSizeF(pointSize);
    // Weights are on the 1..1000 scale of font files, where 400 is normal.
    font.setWeight(QFont::Weight(std::clamp(weight, 1, 1000)));
    return font;
}

} // namespace tessivo
