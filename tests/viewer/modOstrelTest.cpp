// Tests of the viewer's module routines: the command line, pages, titles, the page file.
#include "Version.h"
#include "viewer/modOstrel.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using modOstrel::GetCmdOption;

TEST(CmdOptionToNextOption, AValueWithBlanksEndsAtTheNextOption)
{
    using modOstrel::CmdOptionToNextOption;
    EXPECT_EQ(CmdOptionToNextOption("-name my cam -ontop", "-name"), "my cam");
    EXPECT_EQ(CmdOptionToNextOption("-host x -name  front door  -PORT 81", "-name"), "front door");
    EXPECT_EQ(CmdOptionToNextOption("-name my -hidden cam", "-name"), "my -hidden cam");
    EXPECT_EQ(CmdOptionToNextOption("-name", "-name"), "");
    EXPECT_EQ(CmdOptionToNextOption("-host cam1", "-name"), "");
}

TEST(GetCmdOption, ValuesAndFlagsAsTheStartUpReadsThem)
{
    EXPECT_EQ(GetCmdOption("-host cam1 -port 80", "-host", false), "cam1");
    EXPECT_EQ(GetCmdOption("-host cam1 -port 80", "-port", false), "80");
    EXPECT_EQ(GetCmdOption("-HOST Cam1", "-host", false), "Cam1"); // any case; the value keeps its own
    EXPECT_EQ(GetCmdOption("-host=cam1", "-host", false), "cam1"); // one character skipped, whatever it is
    EXPECT_EQ(GetCmdOption("-host  cam1", "-host", false), "");    // two blanks: empty
    EXPECT_EQ(GetCmdOption("-port 80 -host", "-host", false), ""); // last word
    EXPECT_EQ(GetCmdOption("-hostname cam1", "-host", false), "ame");
    EXPECT_EQ(GetCmdOption("-port 1 -port 2", "-port", false), "1");
    EXPECT_EQ(GetCmdOption("-name \"my cam\"", "-name", false), "\"my");
    EXPECT_EQ(GetCmdOption("", "-name", false), "");
    EXPECT_EQ(GetCmdOption("-name home -hidex", "-hide", true), "-1");
    EXPECT_EQ(GetCmdOption("-name home", "-hide", true), "0");
    EXPECT_EQ(GetCmdOption("-OnTop", "-ontop", true), "-1");
    EXPECT_EQ(GetCmdOption("-name x-host", "-host", false), ""); // found inside a value, nothing after it
    // Letters whose capitals are longer ("ß" -> "SS") do not shift what follows.
    EXPECT_EQ(GetCmdOption(QString::fromUtf8("-name Grüße -host cam1 -port 80"), "-host", false), "cam1");
    EXPECT_EQ(GetCmdOption(QString::fromUtf8("-name ßßß -port 80"), "-port", false), "80");
    EXPECT_EQ(GetCmdOption(QString::fromUtf8("-name Straße"), "-name", false), QString::fromUtf8("Straße"));
}

TEST(Pages, ViewerAndIdlePagesByteForByte)
{
    EXPECT_EQ(modOstrel::ViewerPage("cam1", "80", "320", "240"),
              "<html><head><base href='http://cam1:80/'>"
              "<meta http-equiv=Content-Type content='text/html; charset=iso-8859-1'>"
              "</head><body bgcolor='#000000'><APPLET CODE=BrimcastApplet.class WIDTH=320 HEIGHT=240>"
              "<param name=Host value=cam1><param name=Port value=80></APPLET></body></html>");
    EXPECT_EQ(modOstrel::IdlePage("Ostrel v" OSTREL_VERSION),
              "<html><head/><body bgcolor='#000000' style='color: #c0c0c0; font:normal 100% arial,helvetica,sanserif;'>"
              "<table align='center' cellpadding='25'><tr><td align='center'><br></td></tr><tr><td align='center'>"
              "Ostrel v" OSTREL_VERSION "</td></tr></table></body></html>");
    // A note above the title; an IPv6 camera in brackets; beyond Latin-1, references.
    EXPECT_TRUE(modOstrel::IdlePage("Ostrel", QString::fromUtf8("Port 0 (1\u201365535) \U0001F4F7"))
                    .contains("<td align='center'>Port 0 (1&#8211;65535) &#128247;</td></tr><tr><td align='center'>Ostrel<"));
    EXPECT_TRUE(modOstrel::ViewerPage("fd00::5", "80", "320", "240").contains("<base href='http://[fd00::5]:80/'>"));
}

TEST(Pages, TypedTextCannotInjectMarkup)
{
    const QString page = modOstrel::ViewerPage("x'><script>alert(1)</script>", "80\"&", "320", "240");
    EXPECT_FALSE(page.contains("<script>"));
    EXPECT_TRUE(page.contains("http://x&#39;&gt;&lt;script&gt;alert(1)&lt;/script&gt;:80&quot;&amp;/"));
    EXPECT_TRUE(page.contains("value=80&quot;&amp;>"));
    EXPECT_FALSE(modOstrel::IdlePage("<b>me</b> - Ostrel").contains("<b>"));
}

TEST(Pages, TitleText)
{
    const QString program = modOstrel::ApplicationName() + " v" OSTREL_VERSION;
    EXPECT_EQ(modOstrel::TitleText(""), program);
    EXPECT_EQ(modOstrel::TitleText("Garden"), "Garden - " + program);
}

TEST(TextFileWrite, SingleByteTextWithoutLineEnd)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("ostrel.htm");
    QString error;
    ASSERT_TRUE(modOstrel::TextFileWrite(path, QString::fromUtf8("caf\u00e9 \u6771 ok"), &error));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("caf\xe9 ? ok"));
    file.close();
    ASSERT_TRUE(modOstrel::TextFileWrite(path, "x", &error)); // replaced, not appended
    EXPECT_EQ(QFileInfo(path).size(), 1);

    QDir(dir.path()).mkdir("folder.htm");
    EXPECT_FALSE(modOstrel::TextFileWrite(dir.filePath("folder.htm"), "x", &error));
    EXPECT_TRUE(error.contains("folder.htm")) << error.toStdString();
}
