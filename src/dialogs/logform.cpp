#include "dialogs/logform.h"

#include "ui_logform.h"

#include "common/filez.h"
#include "common/prompts.h"
#include "dialogs/fixed_pitch_font.h"
#include "dialogs/messages.h"

#include <QDir>
#include <QKeyEvent>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTextCursor>

Tlogform::Tlogform(QWidget *parent)
    : QMainWindow(parent), ui(new Ui::logform)
{
    ui->setupUi(this);
    logmem = ui->logmem;
    setWindowFlag(Qt::WindowStaysOnTopHint);
    move(6, 834);  // the layout's place; FitFormOnScreen pulls it onto smaller screens
    logmem->setFont(FixedPitchFont(logmem->font(), 11));
    // Escape is released over the edit most of the time; the window handles it.
    logmem->installEventFilter(this);
    connect(ui->Opslaan2, &QAction::triggered, this, &Tlogform::Opslaan1Click);
    connect(ui->Afdrukken1, &QAction::triggered, this, &Tlogform::Afdrukken1Click);
    connect(ui->Schermwissen1, &QAction::triggered, this, &Tlogform::Schermwissen1Click);
}

Tlogform::~Tlogform() { delete ui; }

void Tlogform::append(const QString &text)
{
    QString lines = text;
    lines.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    lines.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QTextCursor c(logmem->document());
    c.movePosition(QTextCursor::End);
    c.insertText(lines + QLatin1Char('\n'));
    logmem->setTextCursor(c);
}

QString Tlogform::logText() const
{
    QString text = logmem->toPlainText();
    text.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    return text;
}

void Tlogform::Opslaan1Click()
{
    const QString folder = QDir::cleanPath(ProgramFolder());
    const QString file = prompts().saveFileName(QStringLiteral("Opslaan"), folder,
                                                QStringLiteral("Tekstbestanden (*.txt *.TXT)"), QStringLiteral("txt"));
    if (file.isEmpty())
        return;
    WriteTextFile(logText(), file);
}

void Tlogform::Afdrukken1Click()
{
    const QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull()) {
        ShowNotice(QStringLiteral("Er is geen printer ingesteld; het log kan niet worden afgedrukt."));
        return;
    }
    QPrinter printer(info);
    printer.setDocName(QStringLiteral("Vexlo Log"));
    if (!printer.isValid()) {
        ShowNotice(QStringLiteral("De printer ") + info.printerName() + QStringLiteral(" is niet bruikbaar; het log is niet afgedrukt."));
        return;
    }
    logmem->print(&printer);
}

void Tlogform::Schermwissen1Click() { logmem->clear(); }

void Tlogform::keyReleaseEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && isVisible()) {
        hide();
        return;
    }
    QMainWindow::keyReleaseEvent(event);
}

bool Tlogform::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyRelease && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape
        && isVisible()) {
        hide();
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}
