#include "dialogs/qt_prompts.h"

#include "common/override_cursor.h"

#include <QApplication>
#include <QColorDialog>
#include <QFileDialog>
#include <QGridLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QProgressDialog>
#include <QScreen>
#include <QTreeView>

namespace {
// Texts keep CR line breaks from the old message boxes; a label wants LF.
QString forDisplay(QString text)
{
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

// A question asked while the busy cursor shows gets the normal cursor.
auto normalCursor() { return OverrideCursor(Qt::ArrowCursor, QApplication::overrideCursor() != nullptr); }

QRect availableScreen()
{
    const QScreen *s = QGuiApplication::primaryScreen();
    return s ? s->availableGeometry() : QRect(0, 0, 1024, 768);
}

// Width a window needs for its caption in the title bar, with room for the
// window manager's icon and buttons; at most the screen's width.
int captionWidth(const QWidget &window, const QString &caption)
{
    QFont f = window.font();
    f.setBold(true);
    const int w = QFontMetrics(f).horizontalAdvance(caption) + 140;
    return std::min(w, availableScreen().width() - 20);
}

// A message box sizes itself to its text; a spacer holds it as wide as its caption.
void holdCaption(QMessageBox &box, const QString &caption)
{
    if (auto *grid = qobject_cast<QGridLayout *>(box.layout())) {
        grid->addItem(new QSpacerItem(captionWidth(box, caption), 0, QSizePolicy::Minimum, QSizePolicy::Minimum),
                      grid->rowCount(), 0, 1, grid->columnCount());
    }
}

// Qt's own file dialog (Dutch, whatever the desktop), large enough for its
// columns and on the screen.
void dressFileDialog(QFileDialog &dlg)
{
    dlg.setOption(QFileDialog::DontUseNativeDialog);
    const QRect screen = availableScreen();
    dlg.resize(std::min(900, screen.width() - 40), std::min(560, screen.height() - 60));
    // The name takes what the size, type and date columns leave.
    if (auto *tree = dlg.findChild<QTreeView *>(QStringLiteral("treeView"))) {
        QHeaderView *header = tree->header();
        header->setStretchLastSection(false);
        header->setSectionResizeMode(0, QHeaderView::Stretch);
        for (int column = 1; column < header->count(); ++column)
            header->setSectionResizeMode(column, QHeaderView::ResizeToContents);
    }
}
}

ModalResult QtPrompts::notice(const QString &text, const QString &caption)
{
    const auto normal = normalCursor();
    QMessageBox box(QMessageBox::NoIcon, caption, forDisplay(text), QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText);
    holdCaption(box, caption);
    box.exec();
    return ModalResult::Ok;
}

ModalResult QtPrompts::yesNo(const QString &text, const QString &caption, ModalResult defaultChoice)
{
    const auto normal = normalCursor();
    QMessageBox box(QMessageBox::Question, caption, forDisplay(text), QMessageBox::Yes | QMessageBox::No);
    box.setTextFormat(Qt::PlainText);
    holdCaption(box, caption);
    box.setDefaultButton(defaultChoice == ModalResult::No ? QMessageBox::No : QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes ? ModalResult::Yes : ModalResult::No;
}

ModalResult QtPrompts::runModal(QDialog &dialog, const QString &)
{
    const auto normal = normalCursor();
    return ModalResult(dialog.exec());
}

bool QtPrompts::inputQuery(const QString &caption, const QString &prompt, QString &value)
{
    const auto normal = normalCursor();
    QInputDialog dlg;
    dlg.setInputMode(QInputDialog::TextInput);
    dlg.setWindowTitle(caption);
    dlg.setLabelText(prompt);
    dlg.setTextValue(value);
    if (QLineEdit *edit = dlg.findChild<QLineEdit *>()) {
        // Typing stops at 255 characters; a longer value handed in stays whole.
        edit->setMaxLength(std::max(255, int(value.size())));
        edit->selectAll();
        // The dialog sizes itself to its controls: an edit wide enough for the
        // whole value (a path) and the caption, as the screen allows.
        const int valueWidth = edit->fontMetrics().horizontalAdvance(value) + 20;
        edit->setMinimumWidth(
            std::min(std::max(valueWidth, captionWidth(dlg, caption) - 40), availableScreen().width() - 80));
    }
    if (dlg.exec() != QDialog::Accepted)
        return false;
    value = dlg.textValue();
    return true;
}

QString QtPrompts::openFileName(const QString &title, const QString &folder, const QString &filter)
{
    const auto normal = normalCursor();
    QFileDialog dlg(nullptr, title, folder, filter);
    dressFileDialog(dlg);
    dlg.setAcceptMode(QFileDialog::AcceptOpen);
    dlg.setFileMode(QFileDialog::ExistingFile);
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
        return {};
    return dlg.selectedFiles().constFirst();
}

QString QtPrompts::saveFileName(const QString &title, const QString &folder, const QString &filter,
                                const QString &defaultSuffix)
{
    const auto normal = normalCursor();
    QFileDialog dlg(nullptr, title, folder, filter);
    dressFileDialog(dlg);
    dlg.setAcceptMode(QFileDialog::AcceptSave);
    dlg.setFileMode(QFileDialog::AnyFile);
    dlg.setDefaultSuffix(defaultSuffix);
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
        return {};
    return dlg.selectedFiles().constFirst();
}

bool QtPrompts::chooseColor(QColor &color)
{
    const auto normal = normalCursor();
    QColorDialog dlg(color);
    dlg.setOption(QColorDialog::DontUseNativeDialog);
    if (dlg.exec() != QDialog::Accepted)
        return false;
    color = dlg.selectedColor();
    return true;
}

namespace {
// A progress dialog that stays until it goes with its owner; its button,
// Escape and closing call cancelled.
void dressProgress(QProgressDialog &dialog, const QString &caption, const QString &button,
                   const std::function<void()> &cancelled)
{
    dialog.setWindowTitle(caption);
    dialog.setCancelButtonText(button);
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.setAutoClose(false);
    dialog.setAutoReset(false);
    dialog.setMinimumDuration(0);
    dialog.setMinimumWidth(std::max(dialog.sizeHint().width(), captionWidth(dialog, caption)));
    QObject::connect(&dialog, &QProgressDialog::canceled, &dialog, cancelled);
    QObject::connect(&dialog, &QDialog::rejected, &dialog, cancelled);
    dialog.show();
    dialog.raise();
    dialog.activateWindow();   // Escape reaches it at once
}

class ProgressDialog : public QProgressDialog, public ProgressShown {
public:
    ProgressDialog(const QString &label, int total) : m_label(label), m_bar(new QProgressBar)
    {
        // The bar is set directly: the dialog's own setValue would handle events of the window.
        setBar(m_bar);
        m_bar->setRange(0, std::max(total, 0));
        setDone(0);
    }
    void setDone(int done) override
    {
        m_bar->setValue(std::clamp(done, m_bar->minimum(), m_bar->maximum()));
        setLabelText(m_label.contains(QLatin1String("%1")) ? m_label.arg(done).arg(m_bar->maximum()) : m_label);
    }

private:
    QString m_label;
    QProgressBar *m_bar;   // owned by the dialog
};
}

std::unique_ptr<QObject> QtPrompts::busyWindow(const QString &caption, const QString &text,
                                               std::function<void()> cancelled)
{
    auto dialog = std::make_unique<QProgressDialog>(text, QString(), 0, 0);
    dressProgress(*dialog, caption, QStringLiteral("Annuleren"), cancelled);
    return dialog;
}

std::unique_ptr<ProgressShown> QtPrompts::progressWindow(const QString &caption, const QString &label, int total,
                                                         std::function<void()> stopped)
{
    auto dialog = std::make_unique<ProgressDialog>(label, total);
    dressProgress(*dialog, caption, QStringLiteral("Stoppen"), stopped);
    return dialog;
}

void InstallQtPrompts()
{
    static QtPrompts real;
    setDefaultPrompts(&real);
}
