#include "dialogs/meldform.h"

#include "common/prompts.h"
#include "ui_meldform.h"

#include "dialogs/fixed_pitch_font.h"

#include <QApplication>
#include <QFontMetrics>
#include <QPointer>
#include <QScreen>

namespace {
QPointer<Tmeldform> g_meldform;
}

Tmeldform::Tmeldform(QWidget *parent)
    : QDialog(parent), ui(new Ui::meldform)
{
    ui->setupUi(this);
    melding = ui->melding;
    ememo = ui->ememo;
    resmemo = ui->resmemo;
    Panel1 = ui->Panel1;
    Button1 = ui->Button1;
    BitBtn1 = ui->BitBtn1;
    emailnaar = ui->emailnaar;
    setObjectName(QStringLiteral("meldform"));
    setWindowFlag(Qt::WindowStaysOnTopHint);
    // Courier New at 13 pixels.
    setFont(FixedPitchFont(font(), 13));
    melding->setFont(font());
    connect(Button1, &QPushButton::clicked, this, &Tmeldform::Button1Click);
    connect(BitBtn1, &QPushButton::clicked, this, &Tmeldform::BitBtn1Click);
}

Tmeldform::~Tmeldform() { delete ui; }

void Tmeldform::Button1Click() { done(int(ModalResult::Ok)); }
void Tmeldform::BitBtn1Click() { done(int(ModalResult::Cancel)); }

int Tmeldform::widestLine() const
{
    const QFontMetrics fm(melding->font());
    int widest = 0;
    const QStringList lines = melding->toPlainText().split(QLatin1Char('\n'));
    for (const QString &line : lines)
        widest = qMax(widest, fm.horizontalAdvance(line));
    return widest;
}

void Tmeldform::setMessage(const QString &text)
{
    QString shown = text;
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    melding->setPlainText(shown);
    // Only ever wider: a later, narrower message keeps the width.
    const int widest = widestLine();
    if (widest + 30 > width())
        resize(widest + 30, height());
}

void Tmeldform::showEvent(QShowEvent *event)
{
    if (const QScreen *s = screen())
        move(s->availableGeometry().center() - rect().center());
    QDialog::showEvent(event);
}

Tmeldform *MessageWindow()
{
    if (!g_meldform && qobject_cast<QApplication *>(QCoreApplication::instance()))
        g_meldform = new Tmeldform;
    return g_meldform;
}

void CreateMessageWindow() { MessageWindow(); }
