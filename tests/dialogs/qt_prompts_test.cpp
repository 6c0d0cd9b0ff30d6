// The real dialogs, each answered once as a user would.
#include "dialogs/meldform.h"
#include "dialogs/messages.h"
#include "dialogs/qt_prompts.h"
#include "fakes/temp_program.h"
#include "modal_helper.h"

#include <QColorDialog>
#include <QFile>
#include <QFileDialog>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <gtest/gtest.h>

namespace {
void pressEnter(QWidget *w)
{
    QKeyEvent down(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(w, &down);
}

// Installs the real prompts for one test.
struct RealPrompts {
    RealPrompts() { setPrompts(&real); }
    ~RealPrompts() { setPrompts(nullptr); }
    QtPrompts real;
};
}

TEST(QtPrompts, NoticeShowsCaptionAndTextWithLineBreaks)
{
    RealPrompts r;
    QString caption, text;
    WhenModal([&](QWidget *w) {
        auto *box = qobject_cast<QMessageBox *>(w);
        ASSERT_NE(box, nullptr);
        caption = box->windowTitle();
        text = box->text();
        box->button(QMessageBox::Ok)->click();
    });
    EXPECT_EQ(ShowNotice("eerste\rtweede"), 1);
    EXPECT_EQ(caption, "Mededeling");
    EXPECT_EQ(text, "eerste\ntweede");
}

TEST(QtPrompts, YesNoHonoursTheDefaultButton)
{
    RealPrompts r;
    WhenModal([](QWidget *w) { pressEnter(w); });
    EXPECT_EQ(AskYesNo("Overschrijven?", "", "", 2, "Opslaan"), 2);
    WhenModal([](QWidget *w) { pressEnter(w); });
    EXPECT_EQ(AskYesNo("Overschrijven?", "", "", 1, "Opslaan"), 1);
}

TEST(QtPrompts, InputQueryOffersTheValueSelectedAndLimited)
{
    RealPrompts r;
    int maxLength = 0;
    QString selected;
    WhenModal([&](QWidget *w) {
        auto *dlg = qobject_cast<QInputDialog *>(w);
        ASSERT_NE(dlg, nullptr);
        auto *edit = dlg->findChild<QLineEdit *>();
        ASSERT_NE(edit, nullptr);
        maxLength = edit->maxLength();
        selected = edit->selectedText();
        edit->setText("nieuw");
        dlg->accept();
    });
    QString value = "oud";
    EXPECT_TRUE(prompts().inputQuery("Bestandsnaam", "nu:", value));
    EXPECT_EQ(value, "nieuw");
    EXPECT_EQ(maxLength, 255);
    EXPECT_EQ(selected, "oud");

    // A path longer than the limit is offered and returned whole.
    const QString longPath = "/home/" + QString(310, 'a') + "/kaart.jpg";
    WhenModal([&](QWidget *w) { qobject_cast<QDialog *>(w)->accept(); });
    value = longPath;
    EXPECT_TRUE(prompts().inputQuery("Bestandsnaam", "nu:", value));
    EXPECT_EQ(value, longPath);

    WhenModal([](QWidget *w) { qobject_cast<QDialog *>(w)->reject(); });
    value = "blijft";
    EXPECT_FALSE(prompts().inputQuery("Bestandsnaam", "nu:", value));
    EXPECT_EQ(value, "blijft");
}

TEST(QtPrompts, FileDialogsReturnTheChosenPath)
{
    RealPrompts r;
    TempProgram t;
    {
        QFile f(t.path("scan1.jpg"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    WhenModal([&](QWidget *w) {
        auto *dlg = qobject_cast<QFileDialog *>(w);
        ASSERT_NE(dlg, nullptr);
        dlg->selectFile(t.path("scan1.jpg"));
        static_cast<QDialog *>(dlg)->accept();
    });
    EXPECT_EQ(prompts().openFileName("Openen", t.folder(), "Plaatjes (*.jpg)"), t.path("scan1.jpg"));

    WhenModal([&](QWidget *w) {
        auto *dlg = qobject_cast<QFileDialog *>(w);
        ASSERT_NE(dlg, nullptr);
        dlg->selectFile(t.path("log"));
        static_cast<QDialog *>(dlg)->accept();
    });
    EXPECT_EQ(prompts().saveFileName("Opslaan", t.folder(), "Tekstbestanden (*.txt)", "txt"), t.path("log.txt"));

    WhenModal([](QWidget *w) { qobject_cast<QDialog *>(w)->reject(); });
    EXPECT_EQ(prompts().openFileName("Openen", t.folder(), ""), "");
}

TEST(QtPrompts, ColourDialogReturnsTheChosenColour)
{
    RealPrompts r;
    WhenModal([](QWidget *w) {
        auto *dlg = qobject_cast<QColorDialog *>(w);
        ASSERT_NE(dlg, nullptr);
        dlg->setCurrentColor(QColor(10, 20, 30));
        dlg->accept();
    });
    QColor c(Qt::white);
    EXPECT_TRUE(prompts().chooseColor(c));
    EXPECT_EQ(c, QColor(10, 20, 30));
}

TEST(QtPrompts, MessageWindowRunsModallyUntilOkOrClosed)
{
    RealPrompts r;
    WhenModal([](QWidget *w) {
        auto *form = qobject_cast<Tmeldform *>(w);
        ASSERT_NE(form, nullptr);
        form->Button1->click();
    });
    EXPECT_TRUE(ShowMessageWindow("Alles goed"));

    WhenModal([](QWidget *w) { w->close(); });
    EXPECT_FALSE(ShowMessageWindow("Weggeklikt"));
}
