#include "engine/BlankLines.h"

#include <QtTest>

using namespace tessivo;

class TestBlankLines : public QObject {
    Q_OBJECT

private slots:
    void clear_data();
    void clear();
};

void TestBlankLines::clear_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");

    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("leading blank line goes") << "   \r\nab \r\n"
                                             << "ab \r\n";
    QTest::newRow("inner blank line emptied") << "ab\r\n  \r\ncd"
                                              << "ab\r\n\r\ncd";
    QTest::newRow("only blank lines") << "  \r\n\r\n \r\n"
                                      << "";
    QTest::newRow("tab is not blank") << "\t"
                                      << "\t";
    QTest::newRow("single blank line") << "    "
                                       << "";
    QTest::newRow("single line") << " x "
                                 << " x ";
    QTest::newRow("trailing blank lines kept empty") << "a\r\n  \r\n \r\n"
                                                     << "a\r\n\r\n\r\n";
    QTest::newRow("lone CR is a character") << " \r \r\nb"
                                            << " \r \r\nb";
    QTest::newRow("lone LF is a character") << "\n\r\nb"
                                            << "\n\r\nb";
    QTest::newRow("several leading") << "\r\n\r\n  \r\nx\r\n\r\ny"
                                     << "x\r\n\r\ny";
}

void TestBlankLines::clear()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(ClearBlankLines(text), expected);

    // With a colour per character, here each character's place in the text: every character
    // kept, line ends among them, keeps its own colour, in order.
    QList<ColorValue> colours;
    for (qsizetype i = 0; i < text.size(); ++i)
        colours.append(ColorValue(i));
    QList<ColorValue> kept = {7, 7};
    QCOMPARE(ClearBlankLines(text, colours, kept), expected);
    QCOMPARE(kept.size(), expected.size());
    for (qsizetype i = 0; i < kept.size(); ++i) {
        QCOMPARE(text.at(kept[i]), expected.at(i));
        if (i > 0)
            QVERIFY(kept[i] > kept[i - 1]);
    }
}

QTEST_GUILESS_MAIN(TestBlankLines)
#include "tst_blanklines.moc"
