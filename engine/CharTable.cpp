#include "engine/CharTable.h"

#include "engine/TextCells.h"

#include "engine/Rounding.h"

namespace tessivo {

const QStringList& DefaultCharTable()
{
    static const QStringList table = [] {
        static const char rows[] = "M@%#&NWHKERB$kFXGfPDZQh9sgb5YTIAm64USpL87VOnwleCa*31zxyut0+|?"
                                   "ovrdq2Jji][}{!=c)(\\/<>~;-\"^,':.`_ ";
        QStringList list;
        list.reserve(int(sizeof rows) - 1);
        for (std::size_t i = 0; i + 1 < sizeof rows; ++i)
            list.append(QString(QLatin1Char(rows[i])));
        return list;
    }();
    return table;
}

int ContrastStride(int contrast)
{
    return int(RoundEven(contrast / 100.0));
}

QStringList RebuildActiveTable(const QStringList& loaded, int contrast)
{
    const int k = ContrastStride(contrast);
    QStringList active;
    for (qsizetype i = 0; i < loaded.size(); ++i) {
        if (k <= 0 || i % k == 0)
            active.append(loaded[i]);
    }
    active.append(BlankRowFor(loaded));
    return active;
}

CharTables::CharTables()
    : m_loaded(DefaultCharTable())
{
}

void CharTables::copyLoadedToActive()
{
    m_active = m_loaded;
    m_active.append(BlankRowFor(m_loaded));
}

void CharTables::rebuildActive(int contrast)
{
    m_active = RebuildActiveTable(m_loaded, contrast);
}

} // namespace tessivo
