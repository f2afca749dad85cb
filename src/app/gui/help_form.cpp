#include "app/gui/help_form.hpp"

#include <QFile>
#include <QFont>
#include <QShortcut>
#include <QTextCursor>
#include <QVBoxLayout>

#include "app/gui/rich_text.hpp"
#include "app/gui/rtf_reader.hpp"
#include "app/window/controls.hpp"

namespace qm::gui {
namespace {

// Far above any help text; a larger file is not read at all.
constexpr qint64 MaxHelpFileBytes = 16 * 1024 * 1024;

} // namespace

HelpForm::HelpForm(QWidget *parent) : QWidget(parent), HelpTextBox(new QTextEdit(this)) {
    setWindowTitle(QString::fromUtf8(window::HelpCaption.data(),
                                     static_cast<qsizetype>(window::HelpCaption.size())));
    setObjectName(QStringLiteral("HelpForm"));
    // The box fills the window with an 8-pixel margin and follows it when resized.
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addWidget(HelpTextBox);
    move(194, 253);
    resize(905 + 16, 497 + 16);
    // Closing the main window ends the program even while help is open.
    setAttribute(Qt::WA_QuitOnClose, false);
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this,
            &QWidget::close);

    HelpTextBox->setObjectName(QStringLiteral("HelpTextBox"));
    HelpTextBox->setReadOnly(true);
    HelpTextBox->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QFont font = HelpTextBox->font();
    font.setPixelSize(16);
    HelpTextBox->setFont(font);
    HelpTextBox->setPlainText(QStringLiteral("HelpTextBox"));
}

bool HelpForm::loadFile(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > MaxHelpFileBytes) return false;
    const QByteArray bytes = file.read(MaxHelpFileBytes);
    if (file.error() != QFileDevice::NoError) return false;
    renderRtf(
        rtf::parse(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size()))),
        *HelpTextBox->document());
    HelpTextBox->moveCursor(QTextCursor::Start); // open at the top, not where rendering ended
    return true;
}

} // namespace qm::gui
