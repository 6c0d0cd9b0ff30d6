// The real dialogs, each answered once as a user would.
#include "common/filez.h"
#include "dialogs/dutch_translations.h"
#include "dialogs/meldform.h"
#include "dialogs/messages.h"
#include "dialogs/qt_prompts.h"
#include "fakes/file_bytes.h"
#include "fakes/temp_program.h"
#include "modal_helper.h"

#include <QApplication>
#include <QColorDialog>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QProgressDialog>
#include <QPushButton>
#include <gtest/gtest.h>

namespace {
void pressEnter(QWidget *w)
{
    QKeyEvent down(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(w, &down);
}

// Picks `path` in the file dialog about to be shown and confirms it.
void chooseInFileDialog(const QString &path)
{
    WhenModal([path](QWidget *w) {
        auto *dlg = qobject_cast<QFileDialog *>(w);
        ASSERT_NE(dlg, nullptr);
        dlg->selectFile(path);
        static_cast<QDialog *>(dlg)->accept();
    });
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
    EXPECT_EQ(ShowNotice("eerste\rtweede"), ModalResult::Ok);
    EXPECT_EQ(caption, "Mededeling");
    EXPECT_EQ(text, "eerste\ntweede");
}

TEST(QtPrompts, YesNoHonoursTheDefaultButton)
{
    RealPrompts r;
    WhenModal([](QWidget *w) { pressEnter(w); });
    EXPECT_EQ(AskYesNo("Overschrijven?", "", "", ModalResult::No, "Opslaan"), ModalResult::No);
    WhenModal([](QWidget *w) { pressEnter(w); });
    EXPECT_EQ(AskYesNo("Overschrijven?", "", "", ModalResult::Yes, "Opslaan"), ModalResult::Yes);
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
    writeAll(t.path("scan1.jpg"), "");
    chooseInFileDialog(t.path("scan1.jpg"));
    EXPECT_EQ(prompts().openFileName("Openen", t.folder(), "Plaatjes (*.jpg)"), t.path("scan1.jpg"));

    chooseInFileDialog(t.path("log"));
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

TEST(QtPrompts, BusyAndProgressWindowsStopTheWorkByButtonOrEscapeAndGoWithTheirObject)
{
    RealPrompts r;
    int stops = 0;
    std::unique_ptr<QObject> busy = prompts().busyWindow("Bestand openen", "Bezig met lezen van a.xbm…", [&] { ++stops; });
    std::unique_ptr<ProgressShown> progress =
        prompts().progressWindow("Tekst achterkant lezen", "Kaart %1 van %2 gelezen", 8, [&] { ++stops; });
    ASSERT_NE(progress, nullptr);
    progress->setDone(3);
    struct Case {
        QProgressDialog *dialog;
        const char *caption, *label, *button;
    } cases[] = {
        {qobject_cast<QProgressDialog *>(busy.get()), "Bestand openen", "Bezig met lezen van a.xbm…", "Annuleren"},
        {dynamic_cast<QProgressDialog *>(progress.get()), "Tekst achterkant lezen", "Kaart 3 van 8 gelezen", "Stoppen"},
    };
    ASSERT_NE(cases[1].dialog, nullptr);
    EXPECT_EQ(cases[1].dialog->findChild<QProgressBar *>()->value(), 3);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.caption);
        QProgressDialog *dialog = c.dialog;
        ASSERT_NE(dialog, nullptr);
        EXPECT_TRUE(dialog->isVisible());
        EXPECT_EQ(dialog->windowTitle(), c.caption);
        EXPECT_EQ(dialog->labelText(), c.label);
        EXPECT_EQ(dialog->windowModality(), Qt::ApplicationModal);
        QPushButton *button = dialog->findChild<QPushButton *>();
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->text(), c.button);
        stops = 0;
        button->click();
        EXPECT_GE(stops, 1);
        stops = 0;
        dialog->show();
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(dialog, &escape);
        EXPECT_GE(stops, 1);
    }
    busy.reset();
    progress.reset();
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
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

TEST(QtPrompts, DialogsSpeakDutchAndShowCaptionsAndPathsWhole)
{
    ASSERT_TRUE(InstallDutchTranslations());
    RealPrompts r;
    const QString caption = "Vakken bepaald, een lange titel die de vraag zelf ver te boven gaat";
    QStringList buttons;
    int boxWidth = 0;
    WhenModal([&](QWidget *w) {
        auto *box = qobject_cast<QMessageBox *>(w);
        ASSERT_NE(box, nullptr);
        for (QAbstractButton *b : box->buttons())
            buttons << b->text().remove('&');
        boxWidth = box->width();
        box->button(QMessageBox::No)->click();
    });
    EXPECT_EQ(AskYesNo("3 vakken\r\nIn orde ?", "", "", ModalResult::Yes, caption), ModalResult::No);
    buttons.sort();
    EXPECT_EQ(buttons, QStringList({"Ja", "Nee"}));
    EXPECT_GT(boxWidth, QFontMetrics(QApplication::font()).horizontalAdvance(caption));

    const QString path = "/home/gebruiker/Genealogie/Bidprentjes/Familie van der Heijden/grootvader001.JPG";
    int dialogWidth = 0;
    WhenModal([&](QWidget *w) {
        dialogWidth = w->width();
        qobject_cast<QDialog *>(w)->reject();
    });
    QString value = path;
    prompts().inputQuery("veranderen bestandsnaam ?", "nu:", value);
    EXPECT_GT(dialogWidth, QFontMetrics(QApplication::font()).horizontalAdvance(path));

    QString lookIn;
    WhenModal([&](QWidget *w) {
        if (auto *label = w->findChild<QLabel *>("lookInLabel"))
            lookIn = label->text();
        qobject_cast<QDialog *>(w)->reject();
    });
    prompts().openFileName("Open een afbeelding", QDir::tempPath(), "");
    EXPECT_EQ(lookIn, "Zoeken in:");

    // A system reason passed on in Dutch, from Qt's catalogue or our own.
    TempProgram t;
    QString why;
    EXPECT_FALSE(WriteFileAtomically(t.temp(), "x", &why));
    EXPECT_EQ(why, "aanmaken mislukt: Is een map");
    EXPECT_EQ(DutchReason("Permission denied"), "Toegang geweigerd");
    EXPECT_EQ(DutchReason("Iets onbekends"), "Iets onbekends");
}
