#include "app/gui/rich_text.hpp"

#include <QFont>
#include <QFontDatabase>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>

namespace qm::gui {
namespace {

// A twip is 1/1440 inch; at 96 pixels per inch a pixel is 15 twips.
constexpr double TwipsPerPixel = 15.0;

Qt::Alignment toQt(rtf::Alignment align) {
    switch (align) {
    case rtf::Alignment::Center: return Qt::AlignHCenter;
    case rtf::Alignment::Right: return Qt::AlignRight;
    case rtf::Alignment::Justify: return Qt::AlignJustify;
    case rtf::Alignment::Left: break;
    }
    return Qt::AlignLeft;
}

QTextCharFormat toQt(const rtf::CharFormat &format) {
    QTextCharFormat result;
    result.setFontWeight(format.Bold ? QFont::Bold : QFont::Normal);
    result.setFontItalic(format.Italic);
    result.setFontUnderline(format.Underline);
    result.setFontPointSize(format.HalfPoints / 2.0);
    if (format.FixedPitch) {
        result.setFontFixedPitch(true);
        result.setFontFamilies(QFontDatabase::systemFont(QFontDatabase::FixedFont).families());
    }
    return result;
}

} // namespace

void renderRtf(const rtf::Document &document, QTextDocument &target) {
    target.clear();
    QTextCursor cursor(&target);
    bool first = true;
    for (const rtf::Paragraph &paragraph : document.Paragraphs) {
        QTextBlockFormat block;
        block.setAlignment(toQt(paragraph.Align));
        block.setLeftMargin(paragraph.LeftIndent / TwipsPerPixel);
        if (first) {
            cursor.setBlockFormat(block);
        } else {
            cursor.insertBlock(block);
        }
        first = false;
        for (const rtf::Run &run : paragraph.Runs) {
            cursor.insertText(QString::fromUtf8(run.Text), toQt(run.Format));
        }
    }
}

} // namespace qm::gui
