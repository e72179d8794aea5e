#include "app/AboutPage.h"
#include "app/HelpText.h"
#include "app/ResultBox.h"
#include "app/ResultWindow.h"
#include "canvas/Fonts.h"
#include "engine/TableFile.h"

#include <QFontInfo>
#include <QFontMetricsF>
#include <QStringEncoder>
#include <QTextBrowser>
#include <QTextLayout>
#include <QtTest>

using namespace tessivo;

class TestResultViews : public QObject {
    Q_OBJECT

    static QStringList HelpLines()
    {
        QStringList lines = HelpText().split(QStringLiteral("\r\n"));
        lines.removeLast(); // after the final line end
        return lines;
    }

private slots:
    void initTestCase() { RegisterFontSubstitutes(); }

    void helpTextRules_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("expected");
        QTest::newRow("top rule") << 0 << QString(66, u'=');
        QTest::newRow("lower rule") << 25 << QString(65, u'=');
        QTest::newRow("title") << 26 << QStringLiteral("\t\t\tTessivo 1.2");
        QTest::newRow("notice top") << 35 << QString(28, u'*');
        QTest::newRow("notice bottom") << 37 << QString(28, u'*');
        QTest::newRow("file rule") << 41 << QString(37, u'-');
        QTest::newRow("blank row") << 52 << QStringLiteral(" ");
    }
    void helpTextRules()
    {
        QFETCH(int, index);
        QFETCH(QString, expected);
        const QStringList lines = HelpLines();
        QCOMPARE(lines.size(), 53);
        QCOMPARE(lines.at(index), expected);
    }

    void helpTextArtAndLineEnds()
    {
        const QStringList lines = HelpLines();
        for (int i = 1; i <= 23; ++i) {
            QCOMPARE(lines.at(i).size(), i == 23 ? 41 : 56);
            for (QChar c : lines.at(i))
                QVERIFY2(QStringLiteral(" :=?IMXl").contains(c), qPrintable(lines.at(i)));
        }
        QCOMPARE(lines.at(24), QString());
        // Every CR and every LF belongs to a CR LF pair, the last line's too.
        const QString text = HelpText();
        QCOMPARE(text.count(u'\r'), text.count(QStringLiteral("\r\n")));
        QCOMPARE(text.count(u'\n'), text.count(QStringLiteral("\r\n")));
        QVERIFY(text.endsWith(QStringLiteral("\r\n \r\n")));
    }

    void helpTemplateImports()
    {
        const QString text = HelpText();
        const qsizetype start = text.indexOf(QStringLiteral("###Tessivo"));
        QVERIFY(start > 0);
        QStringEncoder toGbk("GBK");
        const QByteArray file = toGbk.encode(text.mid(start));
        QVERIFY(toGbk.isValid() && !toGbk.hasError());
        QCOMPARE(ParseTableFile(file), QStringList({"a", "b", "c", "d", "e", "f", "g", " ", " "}));
    }

    void boxKeepsExactText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");
        QTest::newRow("CR LF") << QStringLiteral("MX\r\nl:\r\n") << QStringLiteral("MX\nl:\n");
        QTest::newRow("lone CR") << QStringLiteral("a\rb") << QStringLiteral("a\nb");
        QTest::newRow("lone LF") << QStringLiteral("a\nb") << QStringLiteral("a\nb");
        QTest::newRow("mixed") << QStringLiteral("a\r\n\rb\n\r\n") << QStringLiteral("a\n\nb\n\n");
        QTest::newRow("blanks") << QStringLiteral("  \t \r\n ") << QStringLiteral("  \t \n ");
        QTest::newRow("empty") << QString() << QString();
    }
    void boxKeepsExactText()
    {
        QFETCH(QString, text);
        QFETCH(QString, shown);
        ResultBox box;
        box.setText(QStringLiteral("old\r\n"));
        box.setText(text);
        QCOMPARE(box.text(), text);
        QCOMPARE(box.toPlainText(), shown);
        // A zoom or a font change is no edit of the text.
        box.setFontSize(20);
        box.setFontFamily(QStringLiteral("新宋体"));
        QCOMPARE(box.text(), text);
    }

    void boxEditReplacesText()
    {
        ResultBox box;
        box.setText(QStringLiteral("ab\rcd\r\n"));
        box.moveCursor(QTextCursor::End);
        QTest::keyClicks(&box, QStringLiteral("xy"));
        QCOMPARE(box.text(), QStringLiteral("ab\r\ncd\r\nxy"));
        box.setText(QStringLiteral("new\rtext"));
        QCOMPARE(box.text(), QStringLiteral("new\rtext"));
    }

    void boxFontSize_data()
    {
        QTest::addColumn<double>("points");
        QTest::addColumn<double>("expected");
        QTest::newRow("zoom") << 12.0 << 12.0;
        QTest::newRow("zero refused") << 0.0 << 9.75;
        QTest::newRow("negative refused") << -3.0 << 9.75;
    }
    void boxFontSize()
    {
        QFETCH(double, points);
        QFETCH(double, expected);
        ResultBox box;
        QCOMPARE(box.fontSize(), 9.75);
        box.setFontSize(points);
        QCOMPARE(box.fontSize(), expected);
        QCOMPARE(box.fontFamily(), QStringLiteral("宋体"));
    }

    void boxFontIsFixedPitch()
    {
        // Fractional advances, as the text layout uses them: at 9.75 points (13 px) a Latin
        // glyph is 6.5 px wide, which integer metrics round to 7 against 13 for a CJK glyph.
        ResultBox box;
        const QFontMetricsF metrics(box.font());
        const qreal width = metrics.horizontalAdvance(u' ');
        QVERIFY(width > 0);
        for (char16_t c = 0x20; c <= 0x7E; ++c)
            QVERIFY2(metrics.horizontalAdvance(QChar(c)) == width,
                     qPrintable(QChar(c) + QFontInfo(box.font()).family()));
        QCOMPARE(metrics.horizontalAdvance(QStringLiteral("中")), 2 * width);
    }

    void artColumnsLineUp_data()
    {
        QTest::addColumn<QString>("family");
        QTest::addColumn<double>("points");
        QTest::newRow("design font") << QString() << 0.0;
        QTest::newRow("zoomed") << QString() << 23.0;
        QTest::newRow("NSimSun, as the footer advises") << QStringLiteral("新宋体") << 9.0;
    }
    void artColumnsLineUp()
    {
        // Pairs that a proportional text layout would kern or join: in character art every
        // character must stand at its column, whatever its neighbours.
        QFETCH(QString, family);
        QFETCH(double, points);
        ResultBox box;
        if (!family.isEmpty())
            box.setFontFamily(family);
        if (points > 0)
            box.setFontSize(points);
        QVERIFY(box.font().styleStrategy() & QFont::PreferNoShaping);

        const QString line = QStringLiteral("AVAWTo.fiffl--==LTYv,;ij'\"M@ ");
        QTextLayout layout(line, box.font());
        QTextOption option;
        option.setWrapMode(QTextOption::NoWrap);
        layout.setTextOption(option);
        layout.beginLayout();
        QTextLine textLine = layout.createLine();
        layout.endLayout();
        const qreal advance = QFontMetricsF(box.font()).horizontalAdvance(u' ');
        QCOMPARE(textLine.textLength(), line.size());
        for (int i = 0; i <= line.size(); ++i)
            QCOMPARE(textLine.cursorToX(i), i * advance);
    }

    void windowLayout_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::newRow("start size") << QSize();
        QTest::newRow("wide") << QSize(900, 300);
        QTest::newRow("narrow and tall") << QSize(120, 700);
        QTest::newRow("very low") << QSize(300, 5);
    }
    void windowLayout()
    {
        QFETCH(QSize, size);
        ResultWindow window;
        QCOMPARE(window.objectName(), QStringLiteral("Form2"));
        QCOMPARE(window.windowTitle(), QStringLiteral("Tessivo"));
        QCOMPARE(window.textBox()->objectName(), QStringLiteral("Text1"));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        if (size.isValid())
            window.resize(size);
        else
            size = QSize(640, 480);
        QTRY_COMPARE(window.size(), size);
        // The outer size, borders included; 400 twips are 27 px.
        const QRect outer = window.frameGeometry();
        QTRY_COMPARE(window.textBox()->geometry(),
                     QRect(0, 0, outer.width(), qMax(0, outer.height() - 27)));
    }

    void aboutPage()
    {
        AboutPage page;
        QCOMPARE(page.objectName(), QStringLiteral("Frame4"));
        QCOMPARE(page.title(), QStringLiteral("关于"));
        QTextBrowser* eb = page.browser();
        QCOMPARE(eb->objectName(), QStringLiteral("eb"));
        QCOMPARE(eb->geometry(), QRect(8, 16, 529, 419));
        QVERIFY(eb->source().isEmpty() && eb->toPlainText().isEmpty());
        QCOMPARE(page.navigations(), 0);

        page.navigate();
        QCOMPARE(page.navigations(), 1);
        QCOMPARE(eb->source(), AboutPage::Address());
        QVERIFY(eb->toPlainText().contains(QStringLiteral("zif.zfh")));

        // Opening the page again loads it again, although it already shows that address.
        QSignalSpy reloaded(eb, &QTextEdit::textChanged);
        page.navigate();
        QCOMPARE(page.navigations(), 2);
        QVERIFY(!reloaded.isEmpty());
        QVERIFY(eb->toPlainText().contains(QStringLiteral("自由复制")));
    }
};

QTEST_MAIN(TestResultViews)
#include "tst_resultviews.moc"
