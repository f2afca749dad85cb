// The help window: a read-only rich-text box showing the help file.
#pragma once

#include <QString>
#include <QTextEdit>
#include <QWidget>

namespace qm::gui {

class HelpForm : public QWidget {
    Q_OBJECT

public:
    explicit HelpForm(QWidget *parent = nullptr);

    // Replaces the box's contents with the file, read as RTF. False, changing nothing, when the
    // file cannot be read.
    bool loadFile(const QString &path);
    QTextEdit *textBox() const { return HelpTextBox; }

private:
    QTextEdit *HelpTextBox;
};

} // namespace qm::gui
