// The help window's RTF reader: formatting, escapes, skipped destinations, hostile input, and
// the help file we ship.
#include <algorithm>
#include <random>
#include <string>

#include <QFile>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QtTest>

#include "app/gui/rich_text.hpp"
#include "app/gui/rtf_reader.hpp"

using namespace qm;

namespace {

std::string textOf(std::string_view input) { return rtf::plainText(rtf::parse(input)); }

// Decoding as UTF-8 and encoding again changes nothing only for valid UTF-8.
bool isValidUtf8(const std::string &text) {
    const QByteArray bytes = QByteArray::fromStdString(text);
    return QString::fromUtf8(bytes).toUtf8() == bytes;
}

} // namespace

class RtfReaderTest : public QObject {
    Q_OBJECT

private slots:
    void formattingRunsAndGroups() {
        const rtf::Document doc =
            rtf::parse(R"({\rtf1\ansi plain \b bold\b0  {\i it}\ul u\ulnone  \fs40 big\par )"
                       R"(\qc\plain centred\par\pard left})");
        QCOMPARE(doc.Paragraphs.size(), std::size_t{3});
        struct Expected {
            const char *Text;
            rtf::CharFormat Format;
        };
        const Expected expected[] = {{"plain ", {}},
                                     {"bold", {.Bold = true}},
                                     {" ", {}},
                                     {"it", {.Italic = true}}, // italic ends with its group
                                     {"u", {.Underline = true}},
                                     {" ", {}},
                                     {"big", {.HalfPoints = 40}}};
        const auto &runs = doc.Paragraphs[0].Runs;
        QCOMPARE(runs.size(), std::size(expected));
        for (std::size_t i = 0; i < runs.size(); ++i) {
            QCOMPARE(runs[i].Text, std::string(expected[i].Text));
            QVERIFY2(runs[i].Format == expected[i].Format, expected[i].Text);
        }
        QVERIFY(doc.Paragraphs[1].Align == rtf::Alignment::Center);
        QVERIFY(doc.Paragraphs[1].Runs[0].Format == rtf::CharFormat{}); // \plain
        QVERIFY(doc.Paragraphs[2].Align == rtf::Alignment::Left);
        QCOMPARE(textOf(R"({\rtf1 a{\b b}c})"), std::string("abc"));
        QVERIFY(!rtf::parse(R"({\rtf1 a{\b b}c})").Paragraphs[0].Runs.back().Format.Bold);
    }

    void fontTableAndIndents() {
        const rtf::Document doc = rtf::parse(
            R"({\rtf1{\fonttbl{\f0\fswiss Arial;}{\f1\fmodern Courier;}}\f1 code\f0  text\par)"
            R"(\li720 indented\par\pard flush\par{\fonttbl\f2\fmodern Mono;}\f2 x\f9 y})");
        QCOMPARE(rtf::plainText(doc), std::string("code text\nindented\nflush\nxy"));
        const auto &first = doc.Paragraphs[0].Runs;
        QCOMPARE(first.size(), std::size_t{2});
        QVERIFY(first[0].Format.FixedPitch);
        QVERIFY(!first[1].Format.FixedPitch);
        QCOMPARE(doc.Paragraphs[0].LeftIndent, 0);
        QCOMPARE(doc.Paragraphs[1].LeftIndent, 720);
        QCOMPARE(doc.Paragraphs[2].LeftIndent, 0); // \pard
        // A table without subgroups works too; an unknown font number is proportional.
        QVERIFY(doc.Paragraphs[3].Runs[0].Format.FixedPitch);
        QVERIFY(!doc.Paragraphs[3].Runs[1].Format.FixedPitch);
    }

    void escapesAndUnicode_data() {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QString>("expected");
        QTest::newRow("braces and backslash") << QByteArray(R"({\rtf1 \{x\}\\})") << "{x}\\";
        QTest::newRow("hex Latin-1") << QByteArray(R"({\rtf1 caf\'e9})") << "caf\u00e9";
        QTest::newRow("hex Windows-1252")
            << QByteArray(R"({\rtf1 \'93q\'94\'85})") << "\u201cq\u201d\u2026";
        QTest::newRow("hex control byte dropped") << QByteArray(R"({\rtf1 a\'01\'0b})") << "a";
        QTest::newRow("one hex digit") << QByteArray(R"({\rtf1 \'4z})") << "z";
        QTest::newRow("u with fallback") << QByteArray(R"({\rtf1 a\u8212?b})") << "a\u2014b";
        QTest::newRow("u with hex fallback") << QByteArray(R"({\rtf1 \u233\'e9x})") << "\u00e9x";
        QTest::newRow("uc2") << QByteArray(R"({\rtf1 \uc2\u233 abc})") << "\u00e9c";
        QTest::newRow("uc0") << QByteArray(R"({\rtf1 \uc0\u233 abc})") << "\u00e9abc";
        QTest::newRow("negative u") << QByteArray(R"({\rtf1 \u-3?})") << "\ufffd";
        QTest::newRow("surrogate pair")
            << QByteArray(R"({\rtf1 \u-10179?\u-8704?})") << QString::fromUcs4(U"\U0001F600");
        QTest::newRow("lone low surrogate") << QByteArray(R"({\rtf1 \u56832?x})") << "\ufffdx";
        QTest::newRow("lone high surrogate") << QByteArray(R"({\rtf1 \u55357?x})") << "\ufffdx";
        QTest::newRow("fallback ends at group")
            << QByteArray(R"({\rtf1 {\uc3\u233 a}bc})") << "\u00e9bc";
        QTest::newRow("special words") << QByteArray(R"({\rtf1 \ldblquote a\rdblquote\tab\emdash})")
                                       << "\u201ca\u201d\t\u2014";
        QTest::newRow("symbols") << QByteArray(R"({\rtf1 a\~b\-c\_d})") << "a\u00a0bc\u2011d";
        QTest::newRow("newlines in source ignored") << QByteArray("{\\rtf1 a\r\nb}") << "ab";
        QTest::newRow("escaped newline is a paragraph") << QByteArray("{\\rtf1 a\\\nb}") << "a\nb";
    }

    void escapesAndUnicode() {
        QFETCH(QByteArray, input);
        QFETCH(QString, expected);
        QCOMPARE(QString::fromStdString(textOf(input.toStdString())), expected);
    }

    void destinationsAreSkipped() {
        const std::string text = textOf(
            R"({\rtf1{\fonttbl{\f0 Arial;}}{\colortbl;\red0;}{\info{\title T}}{\*\generator W;})"
            R"({\*\unknown hidden\par}{\pict\bin3 }}}}shown{\header h}\par})");
        QCOMPARE(text, std::string("shown"));
        // \bin's bytes are data, never read as RTF.
        QCOMPARE(textOf("{\\rtf1 a\\bin3 {\\}b}"), std::string("ab"));
    }

    void malformedInputEndsWithWhatCanBeRead_data() {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QString>("expected");
        QTest::newRow("unclosed group") << QByteArray(R"({\rtf1 abc)") << "abc";
        QTest::newRow("text after document") << QByteArray(R"({\rtf1 a}}}b)") << "a";
        QTest::newRow("backslash at end") << QByteArray("{\\rtf1 abc\\") << "abc";
        QTest::newRow("hex at end") << QByteArray(R"({\rtf1 a\')") << "a";
        QTest::newRow("u at end") << QByteArray(R"({\rtf1 a\u)") << "a";
        QTest::newRow("huge parameter")
            << QByteArray(R"({\rtf1 \fs99999999999999999999999 x})") << "x";
        QTest::newRow("huge uc") << QByteArray(R"({\rtf1 \uc99999999999\u233 abc})") << "\u00e9";
        QTest::newRow("huge bin") << QByteArray(R"({\rtf1 a\bin99999999999999 bcd})") << "a";
        QTest::newRow("negative bin") << QByteArray(R"({\rtf1 a\bin-5 b})") << "ab";
        QTest::newRow("long control word")
            << QByteArray("{\\rtf1 \\" + QByteArray(5000, 'x') + " y}") << "y";
        QTest::newRow("not rtf") << QByteArray("line one\r\nline\x01 two\n")
                                 << "line one\nline two";
        QTest::newRow("empty") << QByteArray() << "";
    }

    void malformedInputEndsWithWhatCanBeRead() {
        QFETCH(QByteArray, input);
        QFETCH(QString, expected);
        QCOMPARE(QString::fromStdString(textOf(input.toStdString())), expected);
    }

    void deepNestingStaysBounded() {
        constexpr int depth = 200000;
        const std::string input =
            "{\\rtf1 a" + std::string(depth, '{') + "\\b x" + std::string(depth, '}') + "b}";
        const rtf::Document doc = rtf::parse(input);
        QCOMPARE(rtf::plainText(doc), std::string("ab"));
        QVERIFY(!doc.Paragraphs[0].Runs.back().Format.Bold);
        // Moderate nesting keeps its text and restores formats on the way out.
        QCOMPARE(textOf("{\\rtf1 {{{{\\b x}}}}y}"), std::string("xy"));
    }

    void randomInputNeverBreaksTheReader() {
        const std::string pieces[] = {
            "{",      "}",    "\\",        "\\b",       "\\b0 ", "\\u",
            "\\u-",   "\\'",  "\\'f",      "\\'9c",     "\\par", "\\*",
            "\\bin",  "\\uc", "65535",     "-",         " ",     "x",
            "\xff",   "\x80", "\n",        "\\fs",      "99",    "\\fonttbl",
            "\\pard", "\\qc", "\\u55357?", "\\u56832?", "\\~",   std::string(1, '\0')};
        std::mt19937 random(20240501);
        std::uniform_int_distribution<std::size_t> pick(0, std::size(pieces) - 1);
        std::uniform_int_distribution<int> length(0, 200);
        for (int round = 0; round < 3000; ++round) {
            std::string input = "{\\rtf1 ";
            for (int i = length(random); i > 0; --i)
                input += pieces[pick(random)];
            const std::string text = textOf(input);
            QVERIFY2(isValidUtf8(text), input.c_str());
            QVERIFY2(text.size() <= input.size() * 4, input.c_str());
        }
    }

    void shippedHelpFileRenders() {
        QFile file(QStringLiteral(QUILLMARK_README_RTF));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        const rtf::Document doc = rtf::parse(bytes.toStdString());
        const QString text = QString::fromStdString(rtf::plainText(doc));

        for (const char *expected :
             {"Quillmark 75 Converter",
              "quillmark convert SOURCE [--log-dir DIR] [--jobs N] [--quiet]", "Quillmark_0.log",
              "[--format nwc|musicxml|nwc,musicxml] [--report FILE|-]",
              "3 when the run completed but some files could not be converted",
              "130 or 143 when the run was interrupted", "Quit pending", "Quillmark.cfg",
              "#Files Created:", "Go!", "*** Finished Updates with 3 errors and 0 warnings ***",
              "(extension \u201c.nw\u201d)", "Quillmark_1.log, \u2026",
              "Quillmark \u2014 converts"}) {
            QVERIFY2(text.contains(QString::fromUtf8(expected)), expected);
        }
        // Nothing of the markup or the skipped tables leaks into the text.
        for (const char *leak : {"\\", "{", "}", "Arial", "Courier", "Quillmark Help"}) {
            QVERIFY2(!text.contains(QString::fromUtf8(leak)), leak);
        }
        // The command line example is set apart: fixed pitch, indented.
        const auto example =
            std::find_if(doc.Paragraphs.begin(), doc.Paragraphs.end(), [](auto &p) {
                return !p.Runs.empty() && p.Runs[0].Text.starts_with("quillmark convert");
            });
        QVERIFY(example != doc.Paragraphs.end());
        QVERIFY(example->Runs[0].Format.FixedPitch);
        QVERIFY(example->LeftIndent > 0);
        QVERIFY(doc.Paragraphs[0].Align == rtf::Alignment::Center);
        QVERIFY(doc.Paragraphs[0].Runs[0].Format.Bold);
        QCOMPARE(doc.Paragraphs[0].Runs[0].Format.HalfPoints, 36);

        QTextDocument rendered;
        gui::renderRtf(doc, rendered);
        QCOMPARE(rendered.blockCount(), static_cast<int>(doc.Paragraphs.size()));
        const QTextBlock title = rendered.firstBlock();
        QCOMPARE(title.text(), QStringLiteral("Quillmark 75 Converter"));
        QVERIFY(title.blockFormat().alignment() & Qt::AlignHCenter);
        QTextCursor cursor(title);
        cursor.movePosition(QTextCursor::NextCharacter);
        QCOMPARE(cursor.charFormat().fontWeight(), static_cast<int>(QFont::Bold));
        QCOMPARE(cursor.charFormat().fontPointSize(), 18.0);
    }
};

QTEST_MAIN(RtfReaderTest)
#include "rtf_reader_test.moc"
