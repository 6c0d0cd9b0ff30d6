#include "dialogs/meldform.h"
#include "dialogs/messages.h"
#include "fakes/scripted_prompts.h"

#include <QFontMetrics>
#include <QPlainTextEdit>
#include <QPushButton>
#include <gtest/gtest.h>

TEST(Messages, AskYesNoSpellsOutTheAnswers)
{
    ScriptedPrompts p;
    p.answerYes();
    p.answerNo();
    p.answerYes();
    EXPECT_EQ(AskYesNo("Bestand bestaat al", "overschrijven", "", ModalResult::Yes, "Opslaan"), ModalResult::Yes);
    EXPECT_EQ(AskYesNo("12 vakken\r\nIn orde ?", "", "", ModalResult::No, "Vakken"), ModalResult::No);
    EXPECT_EQ(AskYesNo("Doorgaan?", "verder scannen", "stoppen", ModalResult::Yes, "Serie"), ModalResult::Yes);
    ASSERT_EQ(p.transcript().size(), 3u);
    EXPECT_EQ(p.transcript()[0].text, "Bestand bestaat al\rJa = Overschrijven");
    EXPECT_EQ(p.transcript()[0].caption, "Opslaan");
    EXPECT_EQ(p.transcript()[1].text, "12 vakken\r\nIn orde ?");
    EXPECT_EQ(p.transcript()[1].defaultChoice, ModalResult::No);
    EXPECT_EQ(p.transcript()[2].text, "Doorgaan?\rJa = Verder scannen\rNee = Stoppen");
}

TEST(Messages, AskYesNoTakesAnythingButYesAsNo)
{
    ScriptedPrompts p;
    p.answer({ModalResult::None, {}, {}, {}});  // closed without an answer
    EXPECT_EQ(AskYesNo("Weet u het zeker?", "", "", ModalResult::Yes, "Vraag"), ModalResult::No);
}

TEST(MessageWindow, EmptyTextShowsNothingAndCountsAsConfirmed)
{
    ScriptedPrompts p;
    EXPECT_TRUE(ShowMessageWindow(""));
    EXPECT_TRUE(p.transcript().empty());
}

TEST(MessageWindow, WidensToTheLongestLineAndNeverShrinks)
{
    ScriptedPrompts p;
    Tmeldform *form = MessageWindow();
    ASSERT_NE(form, nullptr);
    const QFontMetrics fm(form->melding->font());
    const QString longLine(120, 'W');
    const int start = form->width();
    ASSERT_LT(fm.horizontalAdvance(longLine) + 30, 4000);

    p.answerOk();
    EXPECT_TRUE(ShowMessageWindow("kort\r\n" + longLine + "\r\nook kort"));
    EXPECT_EQ(form->melding->toPlainText(), "kort\n" + longLine + "\nook kort");
    const int wide = fm.horizontalAdvance(longLine) + 30;
    EXPECT_EQ(form->width(), qMax(start, wide));
    EXPECT_GT(form->width(), start);

    p.answerCancel();
    EXPECT_FALSE(ShowMessageWindow("klein"));
    EXPECT_EQ(form->width(), qMax(start, wide));
    EXPECT_EQ(form->melding->toPlainText(), "klein");

    ASSERT_EQ(p.transcript().size(), 2u);
    EXPECT_EQ(p.transcript()[0].kind, "modal");
    EXPECT_EQ(p.transcript()[0].text, "meldform");
}

TEST(MessageWindow, ButtonsGiveOkAndCancel)
{
    Tmeldform form;
    EXPECT_EQ(form.windowTitle(), "mededeling");
    EXPECT_FALSE(form.BitBtn1->isVisibleTo(&form));
    EXPECT_FALSE(form.emailnaar->isVisibleTo(&form));
    form.Button1Click();
    EXPECT_EQ(ModalResult(form.result()), ModalResult::Ok);
    form.BitBtn1Click();
    EXPECT_EQ(ModalResult(form.result()), ModalResult::Cancel);
}
