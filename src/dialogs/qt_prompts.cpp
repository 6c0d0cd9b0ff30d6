#include "dialogs/qt_prompts.h"

#include <QColorDialog>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>

#include <algorithm>

namespace {
// Texts keep CR line breaks from the old message boxes; a label wants LF.
QString forDisplay(QString text)
{
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}
}

int QtPrompts::notice(const QString &text, const QString &caption)
{
    QMessageBox box(QMessageBox::NoIcon, caption, forDisplay(text), QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText);
    box.exec();
    return 1;
}

int QtPrompts::yesNo(const QString &text, const QString &caption, int defaultChoice)
{
    QMessageBox box(QMessageBox::Question, caption, forDisplay(text), QMessageBox::Yes | QMessageBox::No);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(defaultChoice == 2 ? QMessageBox::No : QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes ? 1 : 2;
}

int QtPrompts::runModal(QDialog &dialog, const QString &) { return dialog.exec(); }

bool QtPrompts::inputQuery(const QString &caption, const QString &prompt, QString &value)
{
    QInputDialog dlg;
    dlg.setInputMode(QInputDialog::TextInput);
    dlg.setWindowTitle(caption);
    dlg.setLabelText(prompt);
    dlg.setTextValue(value);
    if (QLineEdit *edit = dlg.findChild<QLineEdit *>()) {
        // Typing stops at 255 characters; a longer value handed in stays whole.
        edit->setMaxLength(std::max(255, int(value.size())));
        edit->selectAll();
    }
    if (dlg.exec() != QDialog::Accepted)
        return false;
    value = dlg.textValue();
    return true;
}

QString QtPrompts::openFileName(const QString &title, const QString &folder, const QString &filter)
{
    QFileDialog dlg(nullptr, title, folder, filter);
    dlg.setAcceptMode(QFileDialog::AcceptOpen);
    dlg.setFileMode(QFileDialog::ExistingFile);
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
        return {};
    return dlg.selectedFiles().constFirst();
}

QString QtPrompts::saveFileName(const QString &title, const QString &folder, const QString &filter,
                                const QString &defaultSuffix)
{
    QFileDialog dlg(nullptr, title, folder, filter);
    dlg.setAcceptMode(QFileDialog::AcceptSave);
    dlg.setFileMode(QFileDialog::AnyFile);
    dlg.setDefaultSuffix(defaultSuffix);
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
        return {};
    return dlg.selectedFiles().constFirst();
}

bool QtPrompts::chooseColor(QColor &color)
{
    QColorDialog dlg(color);
    if (dlg.exec() != QDialog::Accepted)
        return false;
    color = dlg.selectedColor();
    return true;
}

void InstallQtPrompts()
{
    static QtPrompts real;
    setDefaultPrompts(&real);
}
