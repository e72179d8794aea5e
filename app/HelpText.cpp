#include "app/HelpText.h"

#include "engine/Version.h"

#include <QStringList>

namespace tessivo {

namespace {

// A lit ball and its shadow. Raw strings, because "??=" in an ordinary literal reads as a
// trigraph to older compilers.
const char* const SampleArt[] = {
    R"(                                                        )",
    R"(                ::::::::====???l                        )",
    R"(            :::::::::::::====???llIX                    )",
    R"(          :::::::::::::::====???lllIIX                  )",
    R"(         ::::::::::::::::====???lllIIXX                 )",
    R"(       :::::::::::::::::=====???lllIIXXMM               )",
    R"(      =::::::::::::::::=====???llllIIXXMMM              )",
    R"(      =::::::::::::::=====?????lllIIIXXMMM              )",
    R"(     =:::::::::::::======????llllIIIXXMMMMM             )",
    R"(     ===::::::::=======?????llllIIIXXXMMMMM             )",
    R"(     ?==============??????llllIIIIXXMMMMMMM             )",
    R"(     ??==========???????llllIIIIXXXMMMMMMMM             )",
    R"(      ???????????????lllllIIIIXXXXMMMMMMMM              )",
    R"(      lll???????lllllllIIIIIXXXXMMMMMMMMMM              )",
    R"(       IlllllllllllIIIIIIXXXXMMMMMMMMMMMM               )",
    R"(         IIIIIIIIIIIIXXXXXXMMMMMMMMMMMM                 )",
    R"(          XXXXXXXXXXXXXMMMMMMMMMMMMMMM                  )",
    R"(            MMMMMMMMMMMMMMMMMMMMMMMM                    )",
    R"(                MMMMMMMMMMMMMMMM                        )",
    R"(                 ::::::::::::::::::::::                 )",
    R"(           ::::===???llllllllllllll???===::::           )",
    R"(           ::::===???llllllllllllll???===::::           )",
    R"(                 ::::::::::::::::::::::  )",
};

QString BuildHelpText()
{
    QStringList lines;
    lines << QString(66, u'=');
    for (const char* art : SampleArt)
        lines << QString::fromLatin1(art);
    lines << QString() << QString(65, u'=');
    lines << QStringLiteral("\t\t\tTessivo " TESSIVO_VERSION);
    lines << QStringLiteral("软件拥有把图片、字体、图画等转变为字符拼成的图像。")
          << QStringLiteral("本软件完全免费，不捆绑任何插件，无需安装，直接运行即可。")
          << QStringLiteral("欢迎随意转发，可以自由复制传播。");
    lines << QStringLiteral("使用步骤...")
          << QStringLiteral("1.选择载入按钮 (可以在浏览框中写入文字、或载入图像)")
          << QStringLiteral("2.选择设置按钮 (对浏览框里的内容进行修改)")
          << QStringLiteral("3.选择生成按钮 (点击生成)");
    lines << QString();
    lines << QString(28, u'*')
          << QStringLiteral("注意：个别杀毒软件可能把本程序误报为病毒，属于误判，请放心使用。")
          << QString(28, u'*');
    lines << QStringLiteral("自定义数据源---能够对颜色自定义字符表达出来")
          << QStringLiteral(
                 "格式需要新建文本文档名字改为 zif.zfh 的文件(放在Tessivo程序同一目录下)")
          << QStringLiteral("zif.zfh 文档内容如下:") << QString(37, u'-');
    // The template is a valid table file: "###" lines are comments, "a" is the darkest row and
    // the row of one blank the lightest.
    lines << QStringLiteral("###Tessivo-字符数据表")
          << QStringLiteral("###(如下这样排下去，首行为深色，末行为浅色)")
          << QStringLiteral("###(一行一字符或多字符，但每行字符数需相等)");
    for (char row = 'a'; row <= 'g'; ++row)
        lines << QString(QChar(row));
    lines << QStringLiteral(" ");

    QString text;
    for (const QString& line : lines)
        text += line + QStringLiteral("\r\n");
    return text;
}

} // namespace

QString HelpText()
{
    static const QString text = BuildHelpText();
    return text;
}

} // namespace tessivo
