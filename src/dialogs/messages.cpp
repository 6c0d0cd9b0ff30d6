#include "dialogs/messages.h"

#include "common/filez.h"
#include "common/prompts.h"
#include "dialogs/meldform.h"

#include <QCoreApplication>

QString YesWord = QStringLiteral("Ja");
QString NoWord = QStringLiteral("Nee");

namespace {
// Lets the screen repaint before a modal box covers it.
void processPending()
{
    if (QCoreApplication::instance())
        QCoreApplication::processEvents();
}
}

ModalResult AskYesNo(const QString &text, const QString &yesLabel, const QString &noLabel,
                     ModalResult defaultChoice, const QString &caption)
{
    processPending();
    QString message = text;
    if (!yesLabel.isEmpty())
        message += QLatin1Char('\r') + CapitaliseName(YesWord) + QStringLiteral(" = ") + CapitaliseName(yesLabel);
    if (!noLabel.isEmpty())
        message += QLatin1Char('\r') + CapitaliseName(NoWord) + QStringLiteral(" = ") + CapitaliseName(noLabel);
    return prompts().yesNo(message, caption, defaultChoice) == ModalResult::Yes ? ModalResult::Yes : ModalResult::No;
}

bool ShowMessageWindow(const QString &text)
{
    Tmeldform *form = MessageWindow();
    if (!form || text.isEmpty())
        return true;
    form->setMessage(text);
    return prompts().runModal(*form, QStringLiteral("meldform")) == ModalResult::Ok;
}
